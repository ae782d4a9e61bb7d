#!/bin/sh
# A mixed soak: many short matches of Zelk against itself, every feature on in
# turn, played by fastchess (and, for pondering, by zelk-referee), then one
# table of games and faults per configuration.
#
#   soak/soak.sh <zelk> <zelk-referee> <shared data folder>
#
# SOAK_GAMES   games in total (default 800, about an hour on two cores)
# SOAK_DIR     output folder (default build-soak): <config>.pgn holds every
#              game; faults/ keeps the PGN, the fastchess output and the
#              engines' logs (gzipped) of every chunk with a fault
# SOAK_CHUNK   games per match (default 10); the configurations take turns
# SOAK_SEED    seed of the opening order (default: the time)
# FASTCHESS    the match runner (default ../shared/tools/fastchess/fastchess)
#
# Exits 1 when any game ended by a crash (the engine exited abnormally), an
# illegal move, a time forfeit, a disconnect or a stall (no answer in time, or
# a match past its watchdog), or when the runner warned about anything or
# failed to play a game (the "warnings" column).
set -u
zelk=$(readlink -f "$1") || exit 2
referee=$(readlink -f "$2") || exit 2
shared=$(readlink -f "$3") || exit 2
root=$(cd "$(dirname "$0")/.." && pwd)
total=${SOAK_GAMES:-800}
out=${SOAK_DIR:-build-soak}
chunk=${SOAK_CHUNK:-10}
seed=${SOAK_SEED:-$(date +%s)}
fastchess=${FASTCHESS:-$root/../shared/tools/fastchess/fastchess}
[ -x "$fastchess" ] || fastchess=$shared/../tools/fastchess/fastchess
for f in "$zelk" "$referee" "$fastchess" "$shared/openings.epd" "$shared/perft-chess960.epd" \
         "$shared/books/gnuchess-public-domain.bin" "$shared/syzygy"; do
    [ -e "$f" ] || { echo "soak: missing $f" >&2; exit 2; }
done
mkdir -p "$out/faults" "$out/work"
out=$(cd "$out" && pwd)
# The runner writes its own files (config.json) where it runs.
cd "$out/work" || exit 2
# The engine runs from a copy with its network beside it, so that a rebuild
# during the soak changes nothing, through a wrapper that records abnormal exits.
cp "$zelk" "$out/work/zelk"
cp "$(dirname "$zelk")/nn.bin" "$out/work/nn.bin" 2>/dev/null
engine=$out/work/zelk-recorded
cat >"$engine" <<EOF
#!/bin/sh
exec 3<&0
"$out/work/zelk" "\$@" <&3 3<&- &
pid=\$!
trap 'kill \$pid 2>/dev/null; exit 143' TERM INT HUP
wait \$pid
rc=\$?
[ \$rc -ne 0 ] && echo "exit status \$rc" >>"$out/work/exits"
exit \$rc
EOF
chmod +x "$engine"
# Chess960 starts: the first four fields of the Chess960 perft positions.
cut -d ' ' -f 1-4 "$shared/perft-chess960.epd" >"$out/work/chess960.epd"
openings=$shared/openings.epd
elos="1500 2000 2500 3000"

# name  share-of-games(%)  concurrency  seconds-a-game(watchdog)
configs="bullet-1+0.01 22 2 6
bullet-0.5+0.005 14 2 4
blitz-10+0.1 4 2 45
40-moves-in-2s 8 2 15
chess960-2+0.02 8 2 10
threads-2-vs-1 6 1 20
ponder-2+0.02 8 1 12
multipv-3 6 2 10
book-and-tables 8 2 10
limit-strength 8 2 10
hce-vs-network 8 2 10"

# Arguments of one configuration's match, after the engines' common part.
# $1 name, $2 chunk number (strength levels take turns by chunk).
match_args() {
    fc="-engine cmd=$engine name=a -engine cmd=$engine name=b"
    base="option.Hash=8 option.Threads=1"
    case $1 in
    bullet-1+0.01) echo "$fc -each tc=1+0.01 $base" ;;
    bullet-0.5+0.005) echo "$fc -each tc=0.5+0.005 $base" ;;
    blitz-10+0.1) echo "$fc -each tc=10+0.1 $base" ;;
    40-moves-in-2s) echo "$fc -each tc=40/2 $base" ;;
    chess960-2+0.02) echo "$fc -each tc=2+0.02 $base option.UCI_Chess960=true -variant fischerandom" ;;
    threads-2-vs-1) echo "-engine cmd=$engine name=a option.Threads=2 -engine cmd=$engine name=b option.Threads=1 -each tc=4+0.04 option.Hash=8" ;;
    multipv-3) echo "$fc -each tc=2+0.02 $base option.MultiPV=3" ;;
    book-and-tables) echo "$fc -each tc=2+0.02 $base option.OwnBook=true option.OwnBook_File=$shared/books/gnuchess-public-domain.bin option.SyzygyPath=$shared/syzygy" ;;
    limit-strength)
        kk=$2
        set -- $elos
        n=$(( kk % $# + 1 )); shift $(( n - 1 )); ea=$1
        set -- $elos
        n=$(( (kk + 1) % $# + 1 )); shift $(( n - 1 )); eb=$1
        echo "-engine cmd=$engine name=a option.UCI_LimitStrength=true option.UCI_Elo=$ea -engine cmd=$engine name=b option.UCI_LimitStrength=true option.UCI_Elo=$eb -each tc=2+0.02 $base" ;;
    hce-vs-network) echo "-engine cmd=$engine name=hce option.Use_NN_eval=false -engine cmd=$engine name=network -each tc=2+0.02 $base" ;;
    esac
}

# Counters per configuration, kept in files: games crashes illegal forfeits
# disconnects stalls warnings.
for name in $(echo "$configs" | cut -d ' ' -f 1); do
    echo "0 0 0 0 0 0 0" >"$out/work/$name.count"
done

cleanup() {
    pkill -f "$out/work/zelk" 2>/dev/null
}
trap 'cleanup; exit 130' INT TERM

# Plays one chunk of a configuration; adds to its counters.
play_chunk() {
    name=$1; games=$2; conc=$3; secs=$4; k=$5
    tag=$name-$k
    pgn=$out/work/$tag.pgn
    log=$out/work/$tag.log
    res=$out/work/$tag.out
    rm -f "$pgn" "$log" "$res" "$out/work/exits"
    limit=$(( games * secs * 3 / conc + 120 ))
    if [ "$name" = ponder-2+0.02 ]; then
        timeout -k 10 "$limit" "$referee" -engine "$engine" -name a -engine "$engine" -name b \
            -option Hash=8 -option Threads=1 -tc 2+0.02 -games "$games" -openings "$openings" \
            -seed $((seed + k)) -pgn "$pgn" -log "$log" </dev/null >"$res" 2>&1
        rc=$?
    else
        open=$openings
        [ "$name" = chess960-2+0.02 ] && open=$out/work/chess960.epd
        # shellcheck disable=SC2046
        timeout -k 10 "$limit" "$fastchess" $(match_args "$name" "$k") \
            -openings file="$open" format=epd order=random -srand $((seed + k)) \
            -rounds $((games / 2)) -repeat -concurrency "$conc" -recover \
            -pgnout file="$pgn" -log file="$log" level=warn engine=true </dev/null >"$res" 2>&1
        rc=$?
    fi
    played=$(grep -c '^\[Termination ' "$pgn" 2>/dev/null)
    forfeits=$(grep -c '^\[Termination "time forfeit"\]' "$pgn" 2>/dev/null)
    illegal=$(grep -c '^\[Termination "illegal move"\]' "$pgn" 2>/dev/null)
    # fastchess ends a game "abandoned" for both: its output says which.
    stalls=$(grep -c -E '^\[Termination "stall"\]' "$pgn" 2>/dev/null)
    stalls=$((stalls + $(grep -c -E '^Finished game .*connection stalls' "$res" 2>/dev/null)))
    abandoned=$(grep -c '^\[Termination "abandoned"\]' "$pgn" 2>/dev/null)
    other=$(grep '^\[Termination ' "$pgn" 2>/dev/null |
        grep -c -v -E '"(normal|adjudication|time forfeit|illegal move|abandoned|stall)"')
    crashes=$(grep -c . "$out/work/exits" 2>/dev/null)
    lost=$((abandoned - stalls))
    [ $lost -lt 0 ] && lost=0
    disconnects=$((lost > crashes ? lost - crashes : 0))
    # Warnings beyond those that tell of the faults counted above.
    warnings=$(grep '^\[WARN' "$log" 2>/dev/null | grep -c -v -E \
        'loses on time|disconnects|stalls|stalled|not responsive|Illegal move|Failed to send')
    # A match that overran its watchdog or failed to finish is a stall.
    if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
        stalls=$((stalls + 1))
        cleanup
    elif [ "$name" != ponder-2+0.02 ] && [ $rc -ne 0 ]; then
        warnings=$((warnings + 1))
    fi
    disconnects=$((disconnects + other))
    # Games the runner did not play count with its warnings.
    [ "${played:-0}" -lt "$games" ] && warnings=$((warnings + games - ${played:-0}))
    faults=$((crashes + illegal + forfeits + disconnects + stalls + warnings))
    set -- $(cat "$out/work/$name.count")
    echo "$(($1 + played)) $(($2 + crashes)) $(($3 + illegal)) $(($4 + forfeits))" \
         "$(($5 + disconnects)) $(($6 + stalls)) $(($7 + warnings))" >"$out/work/$name.count"
    [ -f "$pgn" ] && cat "$pgn" >>"$out/$name.pgn"
    if [ $faults -gt 0 ]; then
        [ -f "$pgn" ] && cp "$pgn" "$out/faults/$tag.pgn"
        cp "$res" "$out/faults/$tag.out"
        [ -f "$log" ] && gzip -c "$log" >"$out/faults/$tag.log.gz"
        [ -f "$out/work/exits" ] && cp "$out/work/exits" "$out/faults/$tag.exits"
        echo "soak: $tag: $faults fault(s), kept in $out/faults/$tag.*" >&2
    fi
    rm -f "$pgn" "$log" "$res"
}

# Each configuration's share of the total, in whole pairs of games.
plan=$(echo "$configs" | while read -r name share conc secs; do
    g=$(( (total * share + 50) / 100 / 2 * 2 ))
    [ $g -lt 2 ] && g=2
    echo "$name $g $conc $secs"
done)
echo "soak: $(echo "$plan" | awk '{ s += $2 } END { print s }') games, seed $seed, output $out"

# The configurations take turns, a chunk each, until all are played.
k=0
left=$plan
while [ -n "$left" ]; do
    next=
    k=$((k + 1))
    while read -r name g conc secs; do
        [ -n "$name" ] || continue
        n=$((g < chunk ? g : chunk))
        play_chunk "$name" "$n" "$conc" "$secs" "$k"
        [ $((g - n)) -gt 0 ] && next="$next$name $((g - n)) $conc $secs
"
    done <<EOF
$left
EOF
    left=$next
done
cleanup

# The table.
{
printf '%-18s %6s %8s %8s %9s %12s %7s %9s\n' configuration games crashes illegal forfeits disconnects stalls warnings
sum="0 0 0 0 0 0 0"
for name in $(echo "$configs" | cut -d ' ' -f 1); do
    c=$(cat "$out/work/$name.count")
    # shellcheck disable=SC2086
    printf '%-18s %6s %8s %8s %9s %12s %7s %9s\n' "$name" $c
    sum=$(echo "$sum $c" | awk '{ for (i = 1; i <= 7; i++) printf "%d ", $i + $(i + 7) }')
done
# shellcheck disable=SC2086
printf '%-18s %6s %8s %8s %9s %12s %7s %9s\n' total $sum
} | tee "$out/summary.txt"
# Any fault in the total line fails the soak.
tail -n 1 "$out/summary.txt" | awk '{ exit ($3 + $4 + $5 + $6 + $7 + $8 > 0) }'
