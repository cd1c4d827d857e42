#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) into
# build-fuzz/ and runs each one for a bounded time, starting from its seeds in fuzz/seeds/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60); TARGET names such as base64 or request_cycle (default all).
# New inputs go to fuzz/out/corpus/<target>/, the log to fuzz/out/<target>.log and a failing
# input to fuzz/out/<target>-crash-... (fuzz/out/ is not part of the repository). Fails on any
# crash, broken invariant, leak, time-out or sanitizer report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=$root/build-fuzz
out=$root/fuzz/out

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DXG_FUZZ=ON -DXG_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*_fuzzer.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_fuzzer}")
  done
fi

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

failed=()
for target in "${targets[@]}"; do
  corpus=$out/corpus/$target
  mkdir -p "$corpus"
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
        -artifact_prefix="$out/$target-")
  [ -f "$root/fuzz/$target.dict" ] && args+=(-dict="$root/fuzz/$target.dict")
  # Bodies and whole requests: longer inputs reach nothing new, they only cost time.
  case $target in form_fields | request_cycle) args+=(-max_len=1024) ;; esac
  echo "== $target: $seconds s"
  if "$build/fuzz/${target}_fuzzer" "${args[@]}" "$corpus" "$root/fuzz/seeds/$target" \
      >"$out/$target.log" 2>&1 && ! grep -q "runtime error:" "$out/$target.log"; then
    grep -E "^stat::number_of_executed_units" "$out/$target.log" | sed 's/^/   /'
  else
    echo "   FAILED, see $out/$target.log"
    grep -E "ERROR|invariant broken|runtime error|SUMMARY|Test unit written" "$out/$target.log" \
      | head -20 | sed 's/^/   /'
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}"
  exit 1
fi
echo "fuzzing passed: ${targets[*]}"
