#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz/) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each target for a bounded time over
# its corpus: seeds made from generated tables and the register's own texts, the
# real-world tables of ../shared/fixtures/real when that folder is present (copied into
# the corpus, never into the repository), and the inputs kept in tests/fuzz/regressions/.
#
# An input that crashes, hangs (10 s) or breaks a property fails the run; libFuzzer leaves
# it in build-fuzz/fuzz-artifacts/<target>/: keep it in tests/fuzz/regressions/<target>/,
# where make test runs it from then on. Prints the executions per target and in total.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]      default 60; CI runs a short smoke run
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD:-build-fuzz}
targets=(dbf dbt mdx filter_parser filter_tree key_expression)
# The longest input each target is given: files a little larger than their seeds, filter
# texts and trees well beyond what the program composes, and the 440 characters a tag
# header holds for its key expression and FOR condition. Longer kept inputs still run
# whole under make test.
declare -A max_len=([dbf]=65536 [dbt]=32768 [mdx]=65536 [filter_parser]=4096
                    [filter_tree]=8192 [key_expression]=512)
start=$(date +%s)

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DSNYLTDYR_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target fuzz_targets

seeds="$build/fuzz-seeds"
rm -rf "$seeds"
"$build/tests/fuzz/fuzz_make_seeds" "$seeds" ../shared/fixtures/real

# One target: its libFuzzer run, its log, and a line of results in its .result file.
run_target() {
  local t=$1 corpus="$build/fuzz-corpus/$1" artifacts="$build/fuzz-artifacts/$1/"
  local log="$build/fuzz-logs/$1.log" result=clean dirs=("$corpus" "$seeds/$1")
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  [ -d "tests/fuzz/regressions/$t" ] && dirs+=("tests/fuzz/regressions/$t")
  if ! "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len="${max_len[$t]}" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts" \
      "${dirs[@]}" >"$log" 2>&1; then
    result="FAILED (see $log and $artifacts)"
  fi
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "${runs:-0} $result" >"$build/fuzz-logs/$t.result"
}

# As many targets at a time as there are processors, each for the whole time given.
parallel=${JOBS:-$(nproc)}
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || true; done
  run_target "$t" &
done
wait

total=0
failed=()
printf '\n%-15s %12s %8s  %s\n' target executions per_s result
for t in "${targets[@]}"; do
  read -r runs result <"$build/fuzz-logs/$t.result"
  total=$((total + runs))
  [ "$result" = clean ] || failed+=("$t")
  printf '%-15s %12d %8d  %s\n' "$t" "$runs" $((runs / seconds)) "$result"
done
printf '%-15s %12d\n' total "$total"
echo "fuzzing took $(( $(date +%s) - start )) s in all, $parallel targets at a time"
if [ ${#failed[@]} -ne 0 ]; then
  for t in "${failed[@]}"; do tail -40 "$build/fuzz-logs/$t.log"; done
  exit 1
fi
