#!/usr/bin/env bash
# Plays the self-play games of the test data again: two Zelk processes with
# the hand-crafted evaluation and a fixed node count a move.
#   tests/tools/make_selfplay_pgn.sh OUT.pgn           20 games, 20000 nodes, openings
#                                                      from the shared suite (selfplay-20.pgn)
#   tests/tools/make_selfplay_pgn.sh OUT.pgn chess960  12 Chess960 games, 5000 nodes, from
#                                                      the Chess960 perft positions (selfplay-chess960.pgn)
set -euo pipefail
cd "$(dirname "$0")/../.."
out=${1:?output file}
make zelk >/dev/null
if [ "${2:-}" = chess960 ]; then
  openings=$(mktemp)
  awk '{print $1" "$2" "$3" "$4}' tests/data/perft-chess960.epd > "$openings"
  extra=(-variant fischerandom -openings file="$openings" format=epd order=sequential -rounds 6)
  nodes=5000
else
  extra=(-openings file=../shared/data/openings.epd format=epd order=random -rounds 10)
  nodes=20000
fi
../shared/tools/fastchess/fastchess \
  -engine cmd=build/zelk name=zelk-a args="-use_hce" -engine cmd=build/zelk name=zelk-b args="-use_hce" \
  -each tc=10+0.1 nodes=$nodes option.Hash=16 option.Threads=1 \
  "${extra[@]}" -repeat -concurrency 2 -recover -pgnout file="$out"
