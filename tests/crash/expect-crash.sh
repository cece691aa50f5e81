#!/usr/bin/env bash
# A Windows program that crashes must fail at once with Wine's account of the
# fault, not start Wine's debugger (which waits for a display that tests lack).
# Usage: expect-crash.sh WINE_RUN ARCH PREFIX PROGRAM SECONDS
set -uo pipefail
wine_run=$1 arch=$2 prefix=$3 program=$4 limit=$5
tools=$(dirname "$wine_run")
# Prefix creation is slow and is not what is measured here.
"$tools/make-prefix" --arch "$arch" --prefix "$prefix" || exit 1
output=$(timeout -k 5 "$limit" "$wine_run" --arch "$arch" --prefix "$prefix" "$program" 2>&1 </dev/null)
status=$?
echo "$output"
failed=0
fail() { echo "FAIL: $1"; failed=1; }
[ $status -ne 124 ] && [ $status -ne 137 ] || fail "the crashing program was still running after $limit s"
# The process ends with the exception's code (its low byte reaches the shell).
[ $status -ne 0 ] || fail "the crashed program reported success"
grep -qF "writing through a null pointer" <<<"$output" || fail "the program did not start"
grep -qF "still running" <<<"$output" && fail "the write through a null pointer did not fault"
# 64-bit Wine reports the page fault; 32-bit Wine under qemu's emulator
# reports the same write as an illegal instruction at the faulting address.
grep -qE "^wine: Unhandled (page fault on write access to 0+|illegal instruction) at address " <<<"$output" ||
  fail "no account of the fault from Wine"
# winedbg's crash report: the debugger was started after all.
grep -qE "^(Backtrace|System information):" <<<"$output" && fail "Wine's debugger was started"
exit $failed
