#!/usr/bin/env bash
# Builds the benchmark, prepares a Wine prefix in Windows 98 mode with a machine
# profile and the probe drivers, and times the in-process device report against
# WMI's in-process queries on that Wine (see tools/benchmark/README.md).
# Usage: tools/benchmark.sh [--build-dir DIR] [--profile FILE] [ARCH] [-- BENCHMARK ARGS...]
#   ARCH         x86_64 (default) or i686 (32-bit Wine; under qemu here)
#   --build-dir  default build/ARCH; the prefix is DIR/bench-prefix
#   --profile    default profiles/typical98.reg
#   after --, arguments for the program, e.g. -- --runs 200 --warmup 3
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=x86_64
build=
profile=$root/profiles/typical98.reg
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build=$2; shift 2 ;;
    --profile) profile=$2; shift 2 ;;
    x86_64|i686) arch=$1; shift ;;
    --) shift; args=("$@"); break ;;
    *) echo "benchmark.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
build=${build:-$root/build/$arch}
case "$build" in /*) ;; *) build=$PWD/$build ;; esac
prefix=$build/bench-prefix

"$root/tools/install-deps.sh" "$arch"
# Only what the benchmark needs: the program and the probe drivers.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" >/dev/null
cmake --build "$build" --target devlore_benchmark devlore_drivers >/dev/null

"$root/tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$root/tools/wine-env.sh" "$arch" "$prefix"
# The drivers live in "\Qarbin\Si" below the Windows directory, where the
# control looks for them (the program makes that folder current).
install -m 644 "$build/vxd/PROCID.VXD" "$build/vxd/VOLQ.VXD" "$prefix/drive_c/windows/Qarbin/Si/"

# HKEY_DYN_DATA lives in the Wine server's memory only, as on Windows 9x: keep
# one server alive while the profile is imported and the benchmark runs.
server=${devlore_wineserver:-wineserver}
"$server" -k 2>/dev/null || true
"$server" -p 120
trap '"$server" -k 2>/dev/null || true' EXIT
"$WINELOADER" regedit /S "$root/profiles/reset-hardware.reg"
"$WINELOADER" regedit /S "$profile"
# The Wine server and this prefix's system processes (services, device hosts
# with the mount manager, ...) do part of the work of every run: the program
# counts their processor time too.
wine_pids=()
for environ in /proc/[0-9]*/environ; do
  if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
    pid=${environ#/proc/}
    wine_pids+=("${pid%/environ}")
  fi
done
pid_list=$(IFS=,; echo "${wine_pids[*]}")
# The figures depend on how busy the machine is: show its load around the run.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
# WMI's logical disk query makes Wine print one line per volume it cannot read
# (the Z: drive on the root file system): dropped here, everything else shown.
status=0
"$WINELOADER" "$build/bin/devlore_benchmark.exe" --wine-pids "$pid_list" "${args[@]}" \
  2> >(grep -v 'FS volume label and serial are not available' >&2) || status=$?
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
