#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each of them for SECONDS (default 60), side by side, from
# the seed corpus in fuzz/corpus/ (made by fuzz/make_seeds.sh), the inputs a longer campaign
# added to it in fuzz/grown/ (minimised with -merge=1), and the inputs kept in fuzz/regressions/.
#   fuzz/run.sh [SECONDS]
# Exits non-zero when a target crashes, leaks, runs out of memory or times out; the input that
# did it is kept in build-fuzz/artifacts/ and its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
targets=(jpeg_reader command_line)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARNEL_FUZZ=ON -DQUARNEL_BUILD_TESTS=OFF
cmake --build build-fuzz -j"$(nproc)"

work="$(mktemp -d "${TMPDIR:-/tmp}/quarnel-fuzz-XXXXXX")"
trap 'rm -rf "$work"' EXIT
artifacts="$PWD/build-fuzz/artifacts"
mkdir -p "$artifacts"
for target in "${targets[@]}"; do mkdir -p "$work/corpus-$target"; done

# Limits: one input may take at most 60 s and the process 2 GiB (libFuzzer's default, which
# is also its default cap on a single allocation). Inputs stay small: the largest seed is about
# 1 KB, and a small file must never cost much.
# Inputs that run fast are mutated more often (-entropic_scale_per_exec_time): a header that
# declares a large progressive image costs the reader megabytes of fresh, zeroed coefficient
# memory (AddressSanitizer maps every large block anew), and weighting by time made the reader
# run five times as many inputs a second, reaching at least the same coverage.
run_target() {
  local target="$1"
  local corpora=("$work/corpus-$target" "fuzz/corpus/$target" "fuzz/grown/$target")
  if [[ -d "fuzz/regressions/$target" ]]; then corpora+=("fuzz/regressions/$target"); fi
  "build-fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
    -max_len=8192 -dict="fuzz/$target.dict" -print_final_stats=1 -entropic_scale_per_exec_time=1 \
    -artifact_prefix="$artifacts/$target-" "${corpora[@]}" >"$work/$target.log" 2>&1
}

declare -A pids
for target in "${targets[@]}"; do
  run_target "$target" &
  pids[$target]=$!
done

failed=0
for target in "${targets[@]}"; do
  if wait "${pids[$target]}"; then
    echo "== $target: no crash in ${seconds} s"
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::' "$work/$target.log" || true
  else
    failed=1
    echo "== $target: FAILED"
    # The progress lines are many and say nothing about the failure.
    grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|RELOAD)' "$work/$target.log" || true
  fi
done
if [[ "$failed" != 0 ]]; then
  echo "fuzzing found a failure; the inputs are in $artifacts (see 'Test unit written to' above)"
fi
exit "$failed"
