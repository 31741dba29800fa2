#!/usr/bin/env bash
# CI stage: builds the libFuzzer targets (tests/fuzz) with clang in build-fuzz/ and runs each for SECONDS
# (default 60) from its seeds: the reference data in tests/data, the demo's own assets and the inputs kept
# under tests/data/fuzz.
# Fails on any finding; the input that caused it is left in build-fuzz/findings/<target>/. Prints runs,
# executions per second and coverage (libFuzzer's cov and ft) per target.
#   tools/scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
dir=build-fuzz
root=$(pwd)
bash tools/scripts/install-deps.sh fuzz

config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DSHORELINE_FUZZ=ON)
cmake -S . -B "$dir" "${config[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" --target fuzz_module fuzz_scene fuzz_options >/dev/null
testdata=$root/tests/data

# Seeds of each target: folders and single files, copied into one folder that libFuzzer only reads.
declare -A seeds=(
  [module]="$testdata/mod/compliance $testdata/mod/songs $testdata/mod/malformed $root/data/moddi.mod"
  [scene]="$testdata/3ds/valid $testdata/3ds/malformed $root/data/pallo.3ds"
  [options]="$root/tests/fuzz/seeds/options"
)

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
summary=()
for target in module scene options; do
  seed_dir=$dir/seeds/$target
  corpus=$dir/corpus/$target
  findings=$dir/findings/$target
  rm -rf "$seed_dir"
  mkdir -p "$seed_dir" "$corpus" "$findings"
  for s in ${seeds[$target]} "$root/tests/data/fuzz/$target"; do
    if [ -d "$s" ]; then
      find "$s" -maxdepth 1 -type f ! -name '*.txt' -exec cp {} "$seed_dir/" \;
    elif [ -f "$s" ]; then
      cp "$s" "$seed_dir/"
    elif [ "$s" != "$root/tests/data/fuzz/$target" ]; then
      echo "fuzz.sh: missing seeds $s" >&2
      exit 1
    fi
  done
  log=$dir/fuzz-$target.log
  status=0
  "$dir/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" "$seed_dir" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
  line="fuzz_$target: ${runs:-?} runs in ${seconds} s, ${speed:-?} exec/s, cov ${cov:-?}, ft ${ft:-?}, corpus $(find "$corpus" -type f | wc -l) files, status $status"
  summary+=("$line")
  echo "$line"
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -n 5 || true
    echo "  finding kept in $findings/, whole log in $log"
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz.sh: findings in: ${failed[*]}" >&2; exit 1; }
