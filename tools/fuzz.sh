#!/usr/bin/env bash
# Builds the fuzz targets of the pure logic (fuzz/: clang, libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer) and runs them: first every
# input of fuzz/regressions/TARGET, then the fuzzer from the committed seeds
# for SECONDS (default 30). Any sanitizer report or broken invariant fails.
# Usage: tools/fuzz.sh [TARGET] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/fuzz
seconds=${2:-30}

"$root/tools/install-deps.sh" x86_64
CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$dir" -G Ninja >/dev/null
cmake --build "$dir"

if [ -n "${1:-}" ]; then
  targets=("$1")
else
  mapfile -t targets < <(cd "$root/fuzz/targets" && ls *.cpp | sed 's/\.cpp$//')
fi

status=0
for target in "${targets[@]}"; do
  echo "=== fuzz: $target"
  if [ -d "$root/fuzz/regressions/$target" ]; then
    "$dir/$target" "$root/fuzz/regressions/$target"/* 2>&1 | tail -1 || { echo "FAIL: $target regression"; status=1; continue; }
  fi
  # The corpus grows in the build tree; the committed seeds stay as they are.
  corpus=$dir/corpus/$target
  mkdir -p "$corpus"
  dict=()
  [ -f "$root/fuzz/dictionaries/$target.dict" ] && dict=(-dict="$root/fuzz/dictionaries/$target.dict")
  if ! "$dir/$target" -max_total_time="$seconds" -print_final_stats=1 "${dict[@]}" \
       -artifact_prefix="$dir/$target-" "$corpus" "$root/fuzz/seeds/$target" >"$dir/$target.log" 2>&1; then
    tail -40 "$dir/$target.log"
    echo "FAIL: $target (input saved under $dir/$target-*)"
    status=1
    continue
  fi
  grep -E "^stat::number_of_executed_units|DONE" "$dir/$target.log" | tail -2
done
exit $status
