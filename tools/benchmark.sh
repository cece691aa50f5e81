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
if [ "$arch" = i686 ]; then
  # The processor of the main job (tools/report.sh).
  export QEMU_CPU=${QEMU_CPU:-pentium2}
fi
# The main job's machine layout (tools/report.sh): the drivers in "\Qarbin\Si"
# below the Windows directory (the program makes that folder current), the
# kernel in the Windows 98 system folder, C: on a raw FAT32 volume, and no Z:
# drive for the host's file system.
windows=$prefix/drive_c/windows
system=$windows/system32
[ -d "$system" ] || system=$windows/system
mkdir -p "$windows/Qarbin/Si" "$windows/system"
install -m 644 "$build/vxd/PROCID.VXD" "$build/vxd/VOLQ.VXD" "$windows/Qarbin/Si/"
[ -e "$windows/system/kernel32.dll" ] || cp "$system/kernel32.dll" "$windows/system/kernel32.dll"
image=$build/bench-c-drive.img
[ -f "$image" ] || mkfs.fat -C -F 32 -s 8 -n DEVLORE98 -i 19980625 "$image" $((300 * 1024)) >/dev/null
ln -sfn "$image" "$prefix/dosdevices/c::"
rm -f "$prefix/dosdevices/z:"
mkdir -p "$prefix/drive_c/Devlore"
cp "$build/bin/devlore_benchmark.exe" "$prefix/drive_c/Devlore/"
host_mhz=$(awk -F': *' '/^cpu MHz/ { print $2; exit }' /proc/cpuinfo)

# HKEY_DYN_DATA lives in the Wine server's memory only, as on Windows 9x: keep
# one server alive while the profile is imported and the benchmark runs.
server=${devlore_wineserver:-wineserver}
"$server" -k 2>/dev/null || true
"$server" -p 120
trap '"$server" -k 2>/dev/null || true' EXIT
cp "$root/profiles/reset-hardware.reg" "$prefix/drive_c/Devlore/reset-hardware.reg"
cp "$profile" "$prefix/drive_c/Devlore/profile.reg"
cd "$prefix/drive_c"
"$WINELOADER" regedit /S 'C:\Devlore\reset-hardware.reg'
"$WINELOADER" regedit /S 'C:\Devlore\profile.reg'
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
# WMI's logical disk query makes Wine print one line per volume it cannot read:
# dropped here, everything else shown.
status=0
"$WINELOADER" 'C:\Devlore\devlore_benchmark.exe' --wine-pids "$pid_list" --host-mhz "${host_mhz:-0}" \
  "${args[@]}" 2> >(grep -v 'FS volume label and serial are not available' >&2) || status=$?
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
