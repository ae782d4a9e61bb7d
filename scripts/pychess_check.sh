#!/bin/bash
# Drive the PyChess GUI (Debian package) with a Zelk binary, the way a GUI user would,
# and record what the GUI sends and shows.
#
# Usage:   scripts/pychess_check.sh /path/to/zelk [output-dir]
#          DOCS_DIR=docs scripts/pychess_check.sh build/zelk   # also copies the two PNGs
# Needs (Debian, as root):  apt-get install pychess xvfb xdotool imagemagick
#          Exit code 0 means the GUI steps ran; read summary.txt ("Problems:") for findings.
#          (x11-utils is optional; nothing here needs numpy/torch/matplotlib)
# Takes about 4-5 minutes and one core (two while both engines think).  Nothing outside the
# output dir (default /tmp/zelk-pychess-<time>) is touched: PyChess runs with HOME set to
# <output-dir>/home, so its config and engines.json start fresh on every run.
#
# Steps (all through the GUI, clicked with xdotool on an Xvfb display, no window manager):
#   1. start PyChess, dismiss the tips and "externals" dialogs;
#   2. Edit > Engines > New: choose <output-dir>/bin/Zelk, a wrapper that logs both directions
#      of the UCI talk to <output-dir>/zelk-gui-<pid>.log and runs the engine; Save;
#   3. New game: Zelk (level 20) vs PyChess.py (level 5), blitz 1 min + 0, played to its end;
#      screenshot game.png;
#   4. Preferences > Hints: infinite analysis; new game from a PGN on the clipboard; Hints
#      panel with the PV spin raised to 3 (MultiPV 3); screenshot analysis.png;
#   5. Human (xdotool clicks) vs Zelk (level 20, so PyChess turns pondering on), 3 min / 40
#      moves: the human plays the move Zelk ponders on when it has one
#      (else a knight move), until two ponderhits;
#   6. close PyChess, then check the logs: command shapes sent, one bestmove per go, every bestmove
#      legal in the position it answers (using PyChess's own move generator), stderr lines.
# Screen coordinates assume the 1600x1000 screen below and PyChess 1.0.3 (Debian bookworm);
# the step-*.png screenshots in the output dir show each step if a click goes astray.
set -u
ENGINE=$(readlink -f "${1:?usage: $0 /path/to/zelk [output-dir]}")
[ -x "$ENGINE" ] || { echo "not executable: $ENGINE" >&2; exit 2; }
OUT=$(readlink -m "${2:-/tmp/zelk-pychess-$(date +%Y%m%d-%H%M%S)}")
DISP=${ZELK_GUI_DISPLAY:-:99}
for t in /usr/games/pychess Xvfb xdotool import convert; do
    command -v "$t" >/dev/null || { echo "missing $t: apt-get install pychess xvfb xdotool imagemagick" >&2; exit 2; }
done
mkdir -p "$OUT/bin" "$OUT/home"
export DISPLAY=$DISP HOME=$OUT/home LANG=C.UTF-8
PY=/usr/bin/python3   # Debian's python, which has gi and pychess (not a pyenv one)
T0=$(date +%s)
say() { printf '[%4ds] %s\n' $(( $(date +%s) - T0 )) "$*" | tee -a "$OUT/steps.txt"; }

# --- the logging wrapper PyChess is pointed at -------------------------------------------
cat > "$OUT/bin/Zelk" <<EOF
#!$PY
# Runs $ENGINE, copying each line both ways to a log: '>>' GUI to engine, '<<' engine to GUI,
# '!!' engine stderr.  Signals sent to the wrapper are passed on to the engine.
import os, signal, subprocess, sys, threading, time
log = open("$OUT/zelk-gui-%d.log" % os.getpid(), "a", buffering=1)
lock = threading.Lock()
def note(tag, data):
    with lock:
        log.write("%.6f %s %s\n" % (time.time(), tag, data.decode("utf-8", "replace").rstrip("\r\n")))
note("##", b"start $ENGINE cwd " + os.getcwd().encode())
p = subprocess.Popen(["$ENGINE"] + sys.argv[1:], stdin=subprocess.PIPE,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    signal.signal(s, lambda n, f: (note("##", b"signal %d" % n), p.send_signal(n)))
def gui_to_engine():
    for line in sys.stdin.buffer:
        note(">>", line)
        try:
            p.stdin.write(line); p.stdin.flush()
        except BrokenPipeError:
            break
    note("##", b"EOF from GUI")
    try:
        p.stdin.close()
    except BrokenPipeError:
        pass
def engine_to_gui():
    for line in p.stdout:
        note("<<", line)
        try:
            sys.stdout.buffer.write(line); sys.stdout.buffer.flush()
        except BrokenPipeError:
            pass
def engine_err():
    for line in p.stderr:
        note("!!", line)
threading.Thread(target=gui_to_engine, daemon=True).start()
out = threading.Thread(target=engine_to_gui); out.start()
threading.Thread(target=engine_err, daemon=True).start()
rc = p.wait(); out.join()
note("##", b"engine exit code %d" % rc)
sys.exit(rc if rc >= 0 else 128 - rc)
EOF
chmod +x "$OUT/bin/Zelk"

# --- helpers -----------------------------------------------------------------------------
n=0
shot() { n=$((n+1)); import -window root "$OUT/step-$(printf %02d $n)-$1.png"; }
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.8}"; }
clip() { # put text on the CLIPBOARD for a few seconds (GTK file chooser / PyChess paste)
    "$PY" - "$1" <<'EOF' &
import sys, gi
gi.require_version("Gtk", "3.0"); gi.require_version("Gdk", "3.0")
from gi.repository import Gtk, Gdk, GLib
Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).set_text(sys.argv[1], -1)
GLib.timeout_add_seconds(8, Gtk.main_quit); Gtk.main()
EOF
    sleep 1.5
}
drag_slider() { # drag the level slider at height $1 of the new-game dialog to its right end
    xdotool mousemove 864 "$1" mousedown 1 sleep 0.3 mousemove 900 "$1" sleep 0.2 mousemove 945 "$1" sleep 0.3 mouseup 1
    sleep 0.5; xdotool mousemove 640 330; sleep 0.5
}
newest_log() { ls -t "$OUT"/zelk-gui-*.log 2>/dev/null | head -1; }
bestmoves() { grep -c '<< bestmove' "$1" 2>/dev/null || true; }
wait_idle() { # wait until file $1 is unchanged for $2 s, at most $3 s
    local start=$(date +%s) last=0 cur
    while :; do
        cur=$(stat -c %Y "$1" 2>/dev/null || echo 0)
        [ $(( $(date +%s) - cur )) -ge "$2" ] && [ "$cur" != 0 ] && return 0
        [ $(( $(date +%s) - start )) -ge "$3" ] && return 1
        sleep 2
    done
}
cleanup() {
    [ -n "${PYCHESS_PID:-}" ] && kill "$PYCHESS_PID" 2>/dev/null
    sleep 2
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- 1. start ----------------------------------------------------------------------------
Xvfb "$DISP" -screen 0 1600x1000x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 & XVFB_PID=$!
sleep 2
kill -0 "$XVFB_PID" 2>/dev/null || { echo "Xvfb could not start on $DISP (in use? set ZELK_GUI_DISPLAY)" >&2; exit 2; }
say "pychess $(dpkg-query -W -f='${Version}' pychess), engine $ENGINE"
( cd "$OUT" && exec /usr/games/pychess --no-version-check >"$OUT/pychess.out" 2>&1 ) & PYCHESS_PID=$!
sleep 15
geo=$(xdotool search --name 'Welcome - PyChess' getwindowgeometry 2>/dev/null | grep Position)
say "main window: $geo (coordinates below assume Position: 400,6)"
shot start
click 904 590            # Tip of the day: Close
click 660 551 0.3        # "Don't show this dialog on startup"
click 951 593            # externals dialog: OK
shot welcome

# --- 2. add the engine with Edit > Engines > New -------------------------------------------
say "adding engine through Edit > Engines > New"
click 475 18; click 510 94 1.5          # Edit > Engines
click 582 556 1.5                        # New: file chooser opens
click 806 518 0.5                        # focus the file list
clip "$OUT/bin/Zelk"
xdotool key ctrl+l; sleep 0.5; xdotool key ctrl+a BackSpace ctrl+v; sleep 0.8
shot chooser
xdotool key Return; sleep 6             # PyChess runs the engine to check uci, then discovers it
click 843 194 1                          # Options tab
shot engine-options
click 1015 556 1.5                       # Save
"$PY" - "$HOME/.config/pychess/engines.json" <<'EOF' | tee -a "$OUT/steps.txt"
import json, sys
for e in json.load(open(sys.argv[1])):
    if e["name"] == "Zelk":
        print("engines.json: Zelk protocol=%s level=%s options=%d: %s" % (e["protocol"], e.get("level"),
              len(e.get("options", [])), " ".join(o["name"] + ":" + o["type"] for o in e.get("options", []))))
        break
else:
    print("engines.json: Zelk NOT added")
EOF

# --- 3. Zelk vs PyChess.py, blitz 1 min --------------------------------------------------
newgame() { # Game > New Game > From Default Start Position
    click 427 18 0.7; click 467 44 0.7; xdotool key Right; sleep 0.7; click 812 44 1.5
}
say "game: Zelk (white, level 20) vs PyChess.py (level 5), 1 min"
newgame
click 963 340 1                          # edit Blitz
for i in 1 2 3 4; do click 1119 350 0.3; done   # minutes 5 -> 1
click 668 288 0.5; click 693 340 0.5     # close popover, pick Blitz
click 870 212 1; click 819 278 1         # white: Zelk (a level slider appears below it)
click 870 286 1; click 842 319 1         # black: PyChess.py (its slider appears too)
drag_slider 248                          # Zelk's level: 20
shot newgame-dialog
before=$(ls "$OUT"/zelk-gui-*.log | wc -l)
click 915 642 5                          # Start Game
GAMELOG=$(newest_log)
shot game-start
wait_idle "$GAMELOG" 25 300 || say "game did not go quiet within 300 s"
sleep 2; shot game-end
convert "$(ls "$OUT"/step-*-game-end.png)" -crop 800x750+400+6 +repage "$OUT/game.png"
say "game log $GAMELOG: $(grep -c '>> go' "$GAMELOG") go, $(bestmoves "$GAMELOG") bestmove; last: $(grep '<< bestmove' "$GAMELOG" | tail -1 | cut -d' ' -f3-)"

# --- 4. analysis with MultiPV 3 ------------------------------------------------------------
say "analysis: Preferences > Hints > infinite analysis; position from clipboard PGN; PV spin to 3"
click 475 18; click 524 144 1.5          # Edit > Preferences (opens at the screen's top left)
click 127 25 1                           # Hints tab
shot prefs-hints
click 415 564 0.5                        # Infinite analysis
xdotool key Escape; sleep 1
grep -E '^(ana_combobox|analyzer_check|infinite_analysis)' "$HOME/.config/pychess/config" | tr '\n' ' ' | sed 's/^/config: /' | tee -a "$OUT/steps.txt"; echo
clip '[Event "Zelk analysis"]
[SetUp "1"]
[FEN "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 3 7"]

*'
click 427 18 0.7; click 467 44 0.7; xdotool key Right; sleep 0.7; click 774 119 3   # From Clipboard
click 460 496 3                          # Hints panel
click 559 529 1; click 639 529 0.4; click 639 529 0.4; xdotool key Return
xdotool mousemove 1500 950; sleep 30
shot analysis
convert "$(ls "$OUT"/step-*-analysis.png)" -crop 800x750+400+6 +repage "$OUT/analysis.png"
ANALOG=$(newest_log)
click 418 529 3                          # pause button of the Hints panel
shot analysis-paused
if [ "$(tail -c 2000 "$ANALOG" | grep -c '<< bestmove')" = 0 ]; then
    # PyChess 1.0.3 on Python 3.11 stops nothing when a game ends or its tab closes
    # (TypeError in UCIEngine.end), so the analyzer would search on: end it here.
    w=$(basename "$ANALOG" .log); w=${w#zelk-gui-}
    say "analyzer still searching after pause; SIGTERM to its wrapper $w"; kill "$w"
fi
click 706 96 2                           # close the analysis tab (x on the second tab)
shot analysis-closed

# --- 5. human vs Zelk: pondering ---------------------------------------------------------
say "human (white) vs Zelk (black, level 20), 3 min / 40 moves; the human plays Zelk's ponder move when it has one"
newgame                                  # the dialog remembers Zelk / PyChess.py from the last game
click 870 176 1; click 849 114 1         # white: Human Being (list opens with Zelk under the pointer)
click 870 214 1; click 819 246 1         # black: Zelk
drag_slider 250                          # level 20 (PyChess turns Ponder on only at 19-20)
click 693 423 0.5                        # Classical 3 min / 40 moves
shot human-dialog
click 915 606 5                          # Start Game
HUMLOG=$(grep -l 'Ponder value true' $(ls -t "$OUT"/zelk-gui-*.log | head -3) 2>/dev/null | head -1)
say "opponent log: ${HUMLOG:-not found}"
shot human-start
sq() { # centre of square $1 (e.g. b1) on the board of a timed game, white at the bottom
    local f=$(( $(printf %d "'${1:0:1}") - 97 )) r=$(( ${1:1:1} - 1 ))
    echo $(( 516 + f * 38 )) $(( 447 - r * 38 ))
}
gos() { grep -c '>> go' "$HUMLOG"; }
lastgo() { grep '>> go' "$HUMLOG" | tail -1 | cut -d' ' -f3-4; }
knight=b1c3
for i in 1 2 3 4 5 6; do
    [ -n "$HUMLOG" ] || break
    if [ "$(lastgo)" = "go ponder" ]; then   # play the move Zelk is pondering on
        mv=$(grep '>> position' "$HUMLOG" | tail -1 | awk '{print $NF}')
    else
        mv=$knight; knight=${knight:2:2}${knight:0:2}
    fi
    g0=$(gos)
    say "human move $i: $mv"
    click $(sq ${mv:0:2}) 0.5; click $(sq ${mv:2:2}) 0.5
    for t in $(seq 40); do   # until Zelk ponders on its next reply, or the reply came from the book
        sleep 1
        if [ "$(gos)" -gt "$g0" ] && [ "$(lastgo)" = "go ponder" ]; then break; fi
        if [ "$t" -ge 4 ] && [ "$(gos)" = "$(bestmoves "$HUMLOG")" ]; then break; fi
    done
    [ "$(grep -c '>> ponderhit' "$HUMLOG")" -ge 2 ] && break
done
shot human-moves

# --- 6. quit and check the logs ------------------------------------------------------------
kill "$PYCHESS_PID"; sleep 3; PYCHESS_PID=
say "pychess closed; checking logs"
for f in "$OUT"/zelk-gui-*.log; do grep -q '>> ' "$f" || continue; echo "== $(basename "$f"): $(head -c 300 "$f" | sed -n 1p | cut -c1-80) ... $(tail -1 "$f" | cut -d' ' -f2-)"; done | tee -a "$OUT/steps.txt"
"$PY" - "$OUT"/zelk-gui-*.log <<'EOF' | tee "$OUT/summary.txt"
# Command shapes sent by the GUI, and whether each bestmove is legal in the position it answers.
import re, sys, collections
from pychess.Utils.Board import Board
from pychess.Utils.Move import parseAny
from pychess.Utils.logic import legalMoveCount
shapes = collections.Counter(); problems = []; notes = []
def shape(cmd):
    cmd = re.sub(r"(moves)( \S+)+", r"\1 <moves>", cmd)
    cmd = re.sub(r"fen \S+ [wb] \S+ \S+ \d+ \d+", "fen <fen>", cmd)
    if cmd.startswith("setoption"):
        return cmd
    return re.sub(r"\b\d+\b", "N", cmd)
def board_of(cmd):
    t = cmd.split()
    if t[1] == "startpos":
        b, rest = Board(setup=True), t[2:]
    else:
        b, rest = Board(setup=" ".join(t[2:8])), t[8:]
    for m in rest[1:] if rest[:1] == ["moves"] else []:
        b = b.move(parseAny(b, m))
    return b
for path in sys.argv[1:]:
    name = path.rsplit("/", 1)[-1]
    pos = None; pending = collections.deque(); gos = bms = 0
    for line in open(path, errors="replace"):
        parts = line.rstrip("\n").split(" ", 2)
        if len(parts) < 3:
            continue
        tag, text = parts[1], parts[2]
        if tag == ">>":
            shapes[shape(text)] += 1
            if text.startswith("position"):
                pos = text
            elif text.startswith("go"):
                gos += 1; pending.append(pos)   # a bestmove answers the position of its go
        elif tag == "!!":
            problems.append("%s: stderr: %s" % (name, text))
        elif tag == "<<" and text.startswith("bestmove"):
            bms += 1
            if not pending:
                problems.append("%s: bestmove without a pending go: %s" % (name, text))
                continue
            mv = text.split()[1]
            answered = pending.popleft()
            try:
                b = board_of(answered)
                legal = legalMoveCount(b)
                if mv in ("0000", "(none)", "null"):
                    # UCI's null move is the answer when there is no move; anything else is wrong.
                    if legal or mv != "0000":
                        problems.append("%s: '%s' with %d legal moves (fen %s)" % (name, text, legal, b.asFen()))
                else:
                    b.move(parseAny(b, mv))
            except Exception as e:
                problems.append("%s: '%s' not legal after '%s' (%s)" % (name, text, answered, e))
    if gos - bms == 1 and len(pending) == 1:
        notes.append("%s: ended while its last search was running (GUI closed its pipe)" % name)
    elif gos != bms:
        problems.append("%s: %d go but %d bestmove" % (name, gos, bms))
print("Commands sent by the GUI (shape: count):")
for s, c in sorted(shapes.items()):
    print("  %4d  %s" % (c, s))
for n in notes:
    print("Note: " + n)
print("Problems:" if problems else "Problems: none")
for p in problems:
    print("  " + p)
EOF
if [ -n "${DOCS_DIR:-}" ]; then
    cp "$OUT/game.png" "$DOCS_DIR/gui-pychess-game.png"
    cp "$OUT/analysis.png" "$DOCS_DIR/gui-pychess-analysis.png"
    say "copied game.png and analysis.png to $DOCS_DIR"
fi
say "done; screenshots, logs and summary.txt in $OUT"
