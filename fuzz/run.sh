#!/bin/sh
# Runs the fuzz targets of a ZELK_FUZZ build for a number of seconds each:
# fuzz/run.sh <build folder> <seconds> [<shared data folder>]
# FUZZ_TARGETS names a subset (default all); FUZZ_JOBS runs that many at once.
# The seed corpora are made afresh in <build>/fuzz-seeds; what a target finds
# grows <build>/fuzz-corpus/<target>, which later runs start from. Prints
# per target the executions and libFuzzer's last coverage (cov), features
# (ft) and corpus size; fails when a target found a fault, whose input is
# left in <build>/fuzz-crashes/<target>/ and whose log is named. The targets
# run with their output closed: rerun one on the input to see what it says.
set -u
build=$(cd "$1" && pwd) || exit 1
seconds=$2
shared=${3:-}
root=$(cd "$(dirname "$0")/.." && pwd)
"$build/fuzz/fuzz_seeds" "$shared" "$root" "$build/fuzz-seeds" >/dev/null || exit 1

# target:max_len:dictionary
targets="uci:4096:uci console:4096:uci fen:256:fen move:512:fen pgn:16384:pgn pgn_jobs:16384:pgn
epd:4096:fen book:4096:- network:65536:- tablebase:32768:- params:8192:params config:2048:uci"

jobs=${FUZZ_JOBS:-1}
if [ -n "${FUZZ_TARGETS:-}" ]; then
    chosen=
    for name in $FUZZ_TARGETS; do
        found=
        for entry in $targets; do
            [ "${entry%%:*}" = "$name" ] && found=$entry
        done
        [ -n "$found" ] || { echo "unknown fuzz target: $name" >&2; exit 1; }
        chosen="$chosen $found"
    done
    targets=$chosen
fi

# Stack traces for undefined behaviour too.
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
export UBSAN_OPTIONS
# One target: runs it, writes its summary to <log>.sum, fails on a fault.
run_target() {
    entry=$1
    name=${entry%%:*}
    rest=${entry#*:}
    max=${rest%%:*}
    dict=${rest#*:}
    corpus=$build/fuzz-corpus/$name
    crashes=$build/fuzz-crashes/$name
    log=$build/fuzz-logs/$name.log
    # The files the engine writes go to a folder of the target's own.
    work=$build/fuzz-work/$name
    mkdir -p "$corpus" "$crashes" "$build/fuzz-logs" "$work"
    set -- "$corpus"
    for dir in "$build/fuzz-seeds/$name" "$root/fuzz/seeds/$name" "$root/tests/data/fuzz/$name"; do
        [ -d "$dir" ] && set -- "$@" "$dir"
    done
    [ "$dict" != - ] && set -- -dict="$root/fuzz/$dict.dict" "$@"
    (cd "$work" && "$build/fuzz/fuzz_$name" -max_len="$max" -max_total_time="$seconds" -timeout=60 \
        -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$crashes/" "$@") >"$log" 2>&1
    rc=$?
    execs=$(grep -a '^stat::number_of_executed_units:' "$log" | tail -n 1 | tr -cd '0-9')
    last=$(grep -a -E '^#[0-9]+.* cov: ' "$log" | tail -n 1)
    cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\) .*/\1/p')
    ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\) .*/\1/p')
    corp=$(echo "$last" | sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\) .*/\1/p')
    {
    printf '%-10s execs %-9s cov %-6s ft %-7s corpus %s\n' "$name" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}"
    if [ $rc -ne 0 ]; then
        echo "  FAULT in $name (status $rc): log $log"
        grep -a 'Test unit written to' "$log" | sed 's/.*Test unit written to /  input: /'
        echo "  rerun it with its messages: (cd $work && $build/fuzz/fuzz_$name <input>)"
        grep -a -m 1 -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error' "$log" | sed 's/^/  /'
    fi
    } >"$log.sum"
    return $rc
}

# Batches of FUZZ_JOBS targets; summaries print in the order of the list.
status=0
set -- $targets
while [ $# -gt 0 ]; do
    batch=
    pids=
    n=0
    while [ $# -gt 0 ] && [ $n -lt "$jobs" ]; do
        run_target "$1" &
        pids="$pids $!"
        batch="$batch ${1%%:*}"
        n=$((n + 1))
        shift
    done
    for pid in $pids; do
        wait "$pid" || status=1
    done
    for name in $batch; do
        cat "$build/fuzz-logs/$name.log.sum"
    done
done
exit $status
