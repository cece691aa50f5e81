#!/usr/bin/env bash
# The import check must be able to fail: run it on a DLL that imports a Vista
# kernel function and MSVCRT.DLL, and expect exactly those two offences, while
# the kernel functions that Windows 95 does have pass.
# Usage: expect-rejection.sh CHECK OBJDUMP PROBE_DLL LISTS_DIR
set -uo pipefail
check=$1 objdump=$2 probe=$3 lists=$4
output=$(bash "$check" "$objdump" "$probe" "$lists")
status=$?
echo "$output"
failed=0
expect() { grep -qF -- "$1" <<<"$output" || { echo "MISSING: $1"; failed=1; }; }
[ $status -eq 1 ] || { echo "MISSING: exit status 1 (got $status)"; failed=1; }
expect "imports KERNEL32.dll!GetTickCount64, which Windows 95 does not export"
expect "imports from msvcrt.dll"
[ "$(grep -c '^FAIL:' <<<"$output")" -eq 2 ] || { echo "UNEXPECTED: other offences reported"; failed=1; }
exit $failed
