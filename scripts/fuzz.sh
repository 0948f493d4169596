#!/usr/bin/env bash
# A fuzzing campaign: builds the fuzz preset (clang 14), runs every libFuzzer target (or the
# ones named) for SECONDS each over its own persistent corpus, then prints one line per target:
# executions, executions per second, coverage (libFuzzer's "cov", at the end of the run),
# corpus size and findings (inputs that crashed, leaked, timed out, ran out of memory or took
# over 10 s, written in this run).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 60 seconds, every target
#
# Corpora live in $FUZZ_DIR/corpus/<target> (default build-fuzz/campaign) and grow from one
# campaign to the next; findings go to $FUZZ_DIR/findings/<target>, logs to $FUZZ_DIR/logs.
# FUZZ_JOBS targets run at once (default 1). Exit status 1 when anything was found.
set -euo pipefail
cd "$(dirname "$0")/.."

per_target=${1:-60}
[[ $# -gt 0 ]] && shift
if ! [[ $per_target =~ ^[0-9]+$ ]] || (( per_target < 1 )); then
  echo "usage: scripts/fuzz.sh [SECONDS] [TARGET...]" >&2
  exit 2
fi
fuzz_dir=${FUZZ_DIR:-build-fuzz/campaign}
jobs=${FUZZ_JOBS:-1}

mkdir -p "$fuzz_dir/logs" "$fuzz_dir/results"
# Build only the named targets (each target is the binary of the same name), or all of them.
targets=("$@")
build_targets=("${targets[@]}")
(( ${#build_targets[@]} > 0 )) || build_targets=(all_fuzzers)
if ! { cmake --preset fuzz && cmake --build --preset fuzz -j"$(nproc)" --target "${build_targets[@]}"; } \
    >"$fuzz_dir/logs/build.log" 2>&1; then
  tail -30 "$fuzz_dir/logs/build.log" >&2
  exit 2
fi

if (( ${#targets[@]} == 0 )); then
  for m in build-fuzz/fuzz/*.target; do targets+=("$(basename "$m" .target)"); done
fi

# Runs one target until its time is used up, starting it again after each finding (at most
# 20 times, so that a seed that fails at once does not spin).
run_target() {
  local name=$1 manifest=build-fuzz/fuzz/$1.target
  if [[ ! -f $manifest ]]; then
    echo "no fuzz target $name" >&2
    return 1
  fi
  local binary="" max_len="" seeds=() key value
  while IFS=$'\t' read -r key value; do
    case $key in
      binary) binary=$value ;;
      max_len) max_len=$value ;;
      seeds) seeds+=("$value") ;;
    esac
  done <"$manifest"
  local corpus=$fuzz_dir/corpus/$name findings=$fuzz_dir/findings/$name log=$fuzz_dir/logs/$name.log
  mkdir -p "$corpus" "$findings"
  local options=(-rss_limit_mb=2048 -timeout=25 -print_final_stats=1 "-artifact_prefix=$findings/")
  [[ -n $max_len ]] && options+=("-max_len=$max_len")
  local marker=$fuzz_dir/results/$name.start
  : >"$log"
  touch "$marker"
  local start end left restarts=0
  start=$(date +%s)
  end=$((start + per_target))
  while left=$((end - $(date +%s))); (( left > 0 && restarts <= 20 )); do
    ASAN_OPTIONS=detect_leaks=1 "$binary" "${options[@]}" -max_total_time="$left" \
      "$corpus" "${seeds[@]}" >>"$log" 2>&1 || true
    restarts=$((restarts + 1))
  done
  local elapsed=$(( $(date +%s) - start ))
  (( elapsed > 0 )) || elapsed=1
  local execs cov files found
  execs=$(awk '/^stat::number_of_executed_units/ {n += $NF} END {print n + 0}' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  files=$(find "$corpus" -type f | wc -l)
  found=$(find "$findings" -type f -newer "$marker" \
            \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$elapsed" "$execs" "$((execs / elapsed))" "${cov:--}" \
    "$files" "$found" >"$fuzz_dir/results/$name.tsv"
}

echo "Fuzzing ${#targets[@]} targets for ${per_target} s each, $jobs at a time (logs: $fuzz_dir/logs)" >&2
running=0
for t in "${targets[@]}"; do
  if (( running >= jobs )); then
    wait -n || true
    running=$((running - 1))
  fi
  rm -f "$fuzz_dir/results/$t.tsv"
  run_target "$t" &
  running=$((running + 1))
done
wait || true

total_found=0
printf '%-22s %7s %12s %9s %7s %8s %9s\n' target seconds execs execs/s cov corpus findings
for t in "${targets[@]}"; do
  result=$fuzz_dir/results/$t.tsv
  [[ -f $result ]] || continue
  IFS=$'\t' read -r name elapsed execs rate cov files found <"$result"
  printf '%-22s %7s %12s %9s %7s %8s %9s\n' "$name" "$elapsed" "$execs" "$rate" "$cov" "$files" "$found"
  total_found=$((total_found + found))
done
if (( total_found > 0 )); then
  echo "Findings (reproduce: <target binary> FILE):"
  for t in "${targets[@]}"; do
    find "$fuzz_dir/findings/$t" -type f -newer "$fuzz_dir/results/$t.start" \
      \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'slow-unit-*' \) 2>/dev/null
  done
  exit 1
fi
