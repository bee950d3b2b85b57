#!/usr/bin/env bash
# Times whole quorlin-cli commands side by side with a baseline: copying the
# textures archive, which is what rewriting the whole archive would cost at the
# least. The insert command overwrites about 1 MB in place instead.
#
# Usage:
#   bench/compare.sh [BUILD_DIR] [RUNS]
#
#   BUILD_DIR  a build holding src/cli/quorlin-cli and tools/make-sample-game
#              (default: build/bench, the "bench" preset; any optimised build will do)
#   RUNS       timed runs per command (default 20), after 3 warm-up runs
#
# Environment:
#   QUORLIN_COMPARE_FILLERS  filler entries per archive for the sample game
#                            (default 300: a textures archive of about 39 MB)
#   QUORLIN_COMPARE_NO_HYPERFINE=1  use the plain bash timing loop even when
#                            hyperfine is installed
#
# What it does: writes a sample game into a scratch folder under ${TMPDIR:-/tmp}
# (removed at the end), inserts the sample picture into slot 12 once (so the
# backups and the index exist and no timed run copies an archive), then times
#   start-up        quorlin-cli --version (loading the program and Qt: the floor
#                   under every command)
#   status          quorlin-cli --game G status
#   insert          quorlin-cli --game G insert --slot 12 G/sample-skin.bmp
#   extract         quorlin-cli --game G extract --slot 12 --out X
#   cp (baseline)   cp G/resource/textures.mw4 COPY
#   insert + sync   the insert, then both archives flushed to disk (sync -d)
#   cp + sync       the copy, then the copy flushed to disk
# (every one must succeed) with hyperfine when it is installed (its table is printed, then the markdown
# export), otherwise with a bash loop that reports mean, standard deviation, min
# and max in milliseconds. The inputs stay in the page cache; without "+ sync"
# the written bytes are only handed to the page cache, as both programs leave
# them; the "+ sync" rows add the cost of getting them to the disk.
set -euo pipefail

build="${1:-build/bench}"
runs="${2:-20}"
fillers="${QUORLIN_COMPARE_FILLERS:-300}"
cli="$build/src/cli/quorlin-cli"
maker="$build/tools/make-sample-game"
for tool in "$cli" "$maker"; do
  if [ ! -x "$tool" ]; then
    echo "compare.sh: $tool not found; build first (cmake --preset bench && cmake --build --preset bench)" >&2
    exit 2
  fi
done
cli="$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")"
maker="$(cd "$(dirname "$maker")" && pwd)/$(basename "$maker")"

work="$(mktemp -d "${TMPDIR:-/tmp}/quorlin-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT
game="$work/game"
out="$work/extracted"
copy="$work/textures-copy.mw4"

"$maker" "$game" --fillers "$fillers" >/dev/null
export QT_QPA_PLATFORM=offscreen
# The first insert makes the backups and the index; every timed insert after it
# is the in-place write alone.
if ! "$cli" --game "$game" insert --slot 12 "$game/sample-skin.bmp" >"$work/setup.log" 2>&1; then
  cat "$work/setup.log" >&2
  echo "compare.sh: the first insert failed" >&2
  exit 1
fi
mkdir -p "$out"

archive_bytes=$(stat -c %s "$game/resource/textures.mw4")
echo "machine: $(nproc) cores, $(uname -sr); $(date -u +%Y-%m-%d)"
echo "sample game: $fillers fillers per archive, textures archive $((archive_bytes / 1000000)) MB ($archive_bytes bytes)"
echo

q() { printf '%q' "$1"; }
textures="$game/resource/textures.mw4"
props="$game/resource/props.mw4"
insert="$(q "$cli") --game $(q "$game") insert --slot 12 $(q "$game/sample-skin.bmp")"
copy_cmd="cp $(q "$textures") $(q "$copy")"
names=(start-up status insert extract "cp (baseline)" "insert + sync" "cp + sync")
commands=(
  "$(q "$cli") --version"
  "$(q "$cli") --game $(q "$game") status"
  "$insert"
  "$(q "$cli") --game $(q "$game") extract --slot 12 --out $(q "$out")"
  "$copy_cmd"
  "$insert && sync -d $(q "$textures") $(q "$props")"
  "$copy_cmd && sync -d $(q "$copy")"
)

if command -v hyperfine >/dev/null 2>&1 && [ "${QUORLIN_COMPARE_NO_HYPERFINE:-0}" != 1 ]; then
  args=()
  for i in "${!names[@]}"; do args+=(--command-name "${names[$i]}" "${commands[$i]}"); done
  hyperfine --shell=bash --warmup 3 --runs "$runs" --style basic \
    --export-markdown "$work/results.md" "${args[@]}"
  echo
  cat "$work/results.md"
  exit 0
fi

echo "hyperfine not used: plain bash timing loop ($runs runs after 3 warm-up runs)"
printf '%-16s %10s %10s %10s %10s %9s\n' command mean_ms stddev_ms min_ms max_ms relative
declare -a means
results=()
for i in "${!names[@]}"; do
  for _ in 1 2 3; do
    if ! eval "${commands[$i]}" >/dev/null 2>&1; then
      echo "compare.sh: command failed: ${commands[$i]}" >&2
      exit 1
    fi
  done
  times=()
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    eval "${commands[$i]}" >/dev/null 2>&1
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))  # microseconds
  done
  results[$i]="${times[*]}"
  means[$i]=$(printf '%s\n' "${times[@]}" | awk '{ s += $1 } END { printf "%.0f", s / NR }')
done
fastest=${means[0]}
for m in "${means[@]}"; do
  if [ "$m" -lt "$fastest" ]; then fastest=$m; fi
done
for i in "${!names[@]}"; do
  # shellcheck disable=SC2086
  printf '%s\n' ${results[$i]} | awk -v name="${names[$i]}" -v fastest="$fastest" '
    { v[NR] = $1; s += $1; if (NR == 1 || $1 < lo) lo = $1; if ($1 > hi) hi = $1 }
    END {
      mean = s / NR; for (k = 1; k <= NR; k++) d += (v[k] - mean) ^ 2
      sd = NR > 1 ? sqrt(d / (NR - 1)) : 0
      printf "%-16s %10.1f %10.1f %10.1f %10.1f %8.2fx\n", name, mean / 1000, sd / 1000, lo / 1000, hi / 1000, mean / fastest
    }'
done
