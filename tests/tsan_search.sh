#!/usr/bin/env bash
# Runs searches on two threads (and a clear of the table on two workers)
# in a ThreadSanitizer build; fails on any report or a missing answer.
set -euo pipefail
engine=${1:?usage: tsan_search.sh <engine built with -fsanitize=thread>}
log=$(mktemp)
{
  echo "setoption name Threads value 2"
  echo "setoption name Clear_Hash"
  echo "position startpos moves e2e4 e7e5 g1f3"
  echo "go depth 9"
  sleep 20
  echo "position fen r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"
  echo "go wtime 3000 btime 3000 winc 100 binc 100"
  sleep 10
  echo "go infinite"
  sleep 2
  echo "stop"
  sleep 1
  echo "quit"
} | TSAN_OPTIONS="halt_on_error=0 exitcode=66" "$engine" -use_hce >"$log" 2>&1 || true
answers=$(grep -c '^bestmove' "$log" || true)
reports=$(grep -c 'WARNING: ThreadSanitizer' "$log" || true)
echo "tsan: $answers bestmove lines, $reports ThreadSanitizer reports"
if [ "$reports" -ne 0 ] || [ "$answers" -ne 3 ]; then
  grep -A20 'WARNING: ThreadSanitizer' "$log" | head -60
  exit 1
fi
