#!/usr/bin/env bash
# Runs one fuzz target for a bounded time from its seed corpus (read only) and the corpus it has
# grown in the build folder, and prints what the run did.
#   run-fuzzer.sh TARGET SEEDS WORK SECONDS [LIBFUZZER-OPTION...]
set -euo pipefail
target="$1" seeds="$2" work="$3" seconds="$4"
shift 4
mkdir -p "$work/corpus"
# One process, at most 2 GB; an input that runs 10 s is a hang. A crash, a leak or a failed
# check stops the run with the input saved as WORK/crash-*, leak-* or timeout-*.
set +e
"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/" "$@" "$work/corpus" "$seeds" 2>"$work/log.txt"
status=$?
set -e
grep -E '^(INFO: seed corpus|#[0-9]+ *DONE|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb|new_units_added))' "$work/log.txt" || true
echo "seed corpus: $(find "$seeds" -type f | wc -l) inputs; corpus now: $(find "$work/corpus" -type f | wc -l) inputs"
if [ "$status" -ne 0 ]; then
  tail -n 60 "$work/log.txt"
  ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null || true
fi
exit "$status"
