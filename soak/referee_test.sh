#!/bin/sh
# Two pondering games between two zelk processes at a fast control: both
# must end without a fault, and the PGN must hold both games.
# Usage: referee_test.sh REFEREE ZELK WORKDIR
set -u
referee=$1
zelk=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# A loaded machine (or a sanitizer build) can hold an engine up for a few
# hundred milliseconds: the wide margin keeps those from reading as faults.
"$referee" -engine "$zelk" -engine "$zelk" -tc 1+0.02 -margin 1000 -option Hash=8 -option Threads=1 \
    -games 2 -maxplies 120 -pgn games.pgn -log engines.log >summary.txt 2>errors.txt
rc=$?
cat summary.txt errors.txt
fail() {
    echo "FAIL: $1"
    exit 1
}
[ "$rc" -eq 0 ] || fail "referee exit status $rc"
grep -q '^games 2 normal 2 ' summary.txt || fail "summary line"
[ "$(grep -c '^\[Result ' games.pgn)" -eq 2 ] || fail "not two games in the PGN"
terminations=$(grep '^\[Termination ' games.pgn | grep -cv -e '"normal"' -e '"adjudication"')
[ "$terminations" -eq 0 ] || fail "a game ended by a fault"
grep -q ' >> ponderhit$' engines.log || fail "no ponderhit in the log"
grep -q ' >> go ponder ' engines.log || fail "no go ponder in the log"
echo "referee test passed"
