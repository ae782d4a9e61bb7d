#!/bin/sh
# The testing framework's contract, run here the way its workers run it:
# build with EXE= and take the binary alone, two benches at once (the same
# nodes), a genfens batch, a short match from those openings with fastchess
# (PGN with the engines' scores), and the PGN job turning the games into
# training lines. Ends with one line of figures.
#
#   scripts/openbench_contract.sh [games]      (default 8 games at 2+0.02)
set -eu
cd "$(dirname "$0")/.."
GAMES=${1:-8}
FASTCHESS=${FASTCHESS:-$(ls ../shared/tools/fastchess/fastchess /work/shared/tools/fastchess/fastchess 2>/dev/null | head -1)}
[ -x "$FASTCHESS" ] || { echo "no fastchess (set FASTCHESS)" >&2; exit 1; }
FASTCHESS=$(readlink -f "$FASTCHESS")
WORK=$(mktemp -d)
start=$(date +%s)

make -j EXE=zelk-contract >/dev/null
mv zelk-contract "$WORK/zelk"
cd "$WORK"

./zelk bench > bench1.txt & ./zelk bench > bench2.txt; wait
figures() { tail -1 "$1" | tr -c 'A-Za-z0-9 \n' ' ' | awk '{for (i = 1; i < NF; i++) if ($(i+1) == "nodes" || $(i+1) == "nps") print $i}' | tr '\n' ' '; }
set -- $(figures bench1.txt) $(figures bench2.txt)
[ "$1" = "$3" ] || { echo "bench nodes differ: $1 and $3" >&2; exit 1; }
nodes=$1 nps="$2/$4"

./zelk "genfens $GAMES seed 1 book None" quit | sed -n 's/^info string genfens //p' > openings.epd
fens=$(wc -l < openings.epd)

"$FASTCHESS" -engine cmd=./zelk name=zelk-a -engine cmd=./zelk name=zelk-b \
    -each tc=2+0.02 option.Hash=8 option.Threads=1 \
    -openings file=openings.epd format=epd order=sequential \
    -rounds $(( (GAMES + 1) / 2 )) -repeat -concurrency 2 -recover \
    -pgnout file=games.pgn -log file=fastchess.log level=warn > match.txt 2>&1
games=$(grep -c '^\[Result ' games.pgn || true)
faults=$(grep -c -E 'Termination "(time forfeit|illegal move|abandoned)"' games.pgn || true)

./zelk -scan_pgn2 games.pgn -o training.epd > scan.txt
lines=$(wc -l < training.epd)

echo "contract: bench $nodes nodes twice, nps $nps; genfens $fens; games $games ($faults faults); training lines $lines; $(( $(date +%s) - start )) s; files in $WORK"
