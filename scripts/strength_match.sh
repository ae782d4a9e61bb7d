#!/bin/sh
# A calibration match of the strength limit: zelk and Debian's Stockfish,
# both with UCI_LimitStrength at the same UCI_Elo, one thread and Hash 16
# each, from the shared openings (each opening with both colours).
#   scripts/strength_match.sh <zelk binary> <UCI_Elo> <games> [tc] [shared data folder]
# The PGN and the match log go to strength-<elo>-<tc>.pgn / .log in the
# current folder (appended to by later runs).
set -eu
zelk=$1
elo=$2
games=$3
tc=${4:-10+0.1}
shared=${5:-$(dirname "$0")/../../shared}
runner=$shared/tools/fastchess/fastchess
reference=${STRENGTH_REFERENCE:-/usr/games/stockfish}
[ -x "$reference" ] || sh "$(dirname "$0")/need.sh" stockfish
name=strength-$elo-$tc
"$runner" -engine cmd="$zelk" name=zelk -engine cmd="$reference" name=stockfish \
    -each tc="$tc" option.Hash=16 option.Threads=1 option.UCI_LimitStrength=true option.UCI_Elo="$elo" \
    -openings file="$shared/data/openings.epd" format=epd order=random \
    -rounds $(( (games + 1) / 2 )) -games 2 -repeat -concurrency 2 -recover \
    -pgnout file="$name.pgn" -log file="$name.log" level=warn
