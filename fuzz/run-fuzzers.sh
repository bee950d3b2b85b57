#!/usr/bin/env bash
# Runs every fuzz target for a while, two at a time (one per core).
#
#   fuzz/run-fuzzers.sh [BUILD_DIR] [SECONDS] [TARGET...]
#
#   BUILD_DIR  the fuzz build (default build/fuzz), configured with QUORLIN_FUZZ=ON
#   SECONDS    time per target (default 120)
#   TARGET     archive_directory skin_index targa registry journal vdf history settings picture
#              (default: all built)
#
# Each target starts from its committed seeds in fuzz/corpus/<target> (read only)
# and keeps what it finds in $FUZZ_WORK/<target> (default: a folder under
# ${TMPDIR:-/tmp}), so the committed corpus only changes by hand. Crash, leak and
# timeout inputs land in $FUZZ_WORK/<target>/artifacts/; copy a real one to
# fuzz/regressions/<target>/ so that the replay tests keep running it.
# A summary line per target is printed at the end; logs are in $FUZZ_WORK.
# $FUZZ_FLAGS adds libFuzzer flags to every run, e.g. FUZZ_FLAGS="-fork=1
# -ignore_crashes=1" to keep fuzzing past a known crash (fork mode).
set -u

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build/fuzz}"
seconds="${2:-120}"
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in archive_directory skin_index targa registry journal vdf history settings picture; do
    [ -x "$build/fuzz/quorlin_fuzz_$t" ] && targets+=("$t")
  done
fi
work="${FUZZ_WORK:-$(mktemp -d "${TMPDIR:-/tmp}/quorlin-fuzz-XXXXXX")}"
export QT_QPA_PLATFORM=offscreen

run_one() {
  local t="$1"
  mkdir -p "$work/$t/corpus" "$work/$t/artifacts"
  "$build/fuzz/quorlin_fuzz_$t" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$work/$t/artifacts/" ${FUZZ_FLAGS:-} \
    "$work/$t/corpus" "$here/corpus/$t" >"$work/$t/log.txt" 2>&1
  echo $? >"$work/$t/exit"
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge 2 ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

status=0
printf '%-18s %6s %10s %6s %6s %9s  %s\n' target exit runs cov ft corpus artifacts
for t in "${targets[@]}"; do
  log="$work/$t/log.txt"
  code="$(cat "$work/$t/exit" 2>/dev/null || echo '?')"
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')"
  last="$(grep -E '^#[0-9]+' "$log" | tail -1)"
  [ -n "$runs" ] || runs="$(sed -n 's/^#\([0-9]*\).*/\1/p' <<<"$last")"
  cov="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")"
  ft="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")"
  corp="$(sed -n 's/.* corp: \([0-9]*\/[0-9a-zA-Z]*\).*/\1/p' <<<"$last")"
  found="$(ls "$work/$t/artifacts" | wc -l)"
  printf '%-18s %6s %10s %6s %6s %9s  %s\n' "$t" "$code" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$found"
  [ "$code" = 0 ] || status=1
done
echo "logs and found inputs: $work"
exit "$status"
