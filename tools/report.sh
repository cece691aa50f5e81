#!/usr/bin/env bash
# The main job: builds Devlore, prepares a Wine prefix in Windows 98 mode that
# looks like the bundled machine profile, installs the control the way the
# browser's code download does (system folder, registered with regsvr32), installs
# the probe drivers PROCID.VXD and VOLQ.VXD into "\Qarbin\Si" below the Windows
# directory, and runs the report host on it.
#
# Usage: tools/report.sh [--arch i686|x86_64] [--json FILE] [--html FILE] [PROFILE]
#   --arch   i686 (default): the shipped 32-bit DLL under 32-bit Wine, whose own
#            Windows 9x loader serves the probe drivers, on an emulated Pentium II.
#            x86_64: the same sources under 64-bit Wine (no VxD loader there, so
#            the disks and the clock show as unavailable).
#   PROFILE  a REGEDIT4 machine profile (default: profiles/typical98.reg)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=i686
profile=$root/profiles/typical98.reg
json_out= html_out=
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2; shift 2 ;;
    --json) json_out=$(realpath -m "$2"); shift 2 ;;
    --html) html_out=$(realpath -m "$2"); shift 2 ;;
    -*) echo "report.sh: unknown option $1" >&2; exit 2 ;;
    *) profile=$(realpath "$1"); shift ;;
  esac
done
build=$root/build/$arch
prefix=$build/report-prefix

"$root/tools/install-deps.sh" "$arch" >&2
"$root/tools/build.sh" "$arch" "$build" >/dev/null
"$root/tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$root/tools/wine-env.sh" "$arch" "$prefix"
if [ "$arch" = i686 ]; then
  # A processor of the control's era: qemu's Pentium II says GenuineIntel and
  # has MMX. Every Wine process of the session must run on the same model.
  export QEMU_CPU=${QEMU_CPU:-pentium2}
fi

drive_c=$WINEPREFIX/drive_c
windows=$drive_c/windows
system=$windows/system32
[ -d "$system" ] || system=$windows/system

# The probe drivers, where the control looks for them.
mkdir -p "$windows/Qarbin/Si"
cp "$build/vxd/PROCID.VXD" "$build/vxd/VOLQ.VXD" "$windows/Qarbin/Si/"

# Windows 9x keeps the kernel in its system folder "SYSTEM"; the disk devices
# load it from there to find GetDiskFreeSpaceExA.
mkdir -p "$windows/system"
[ -e "$windows/system/kernel32.dll" ] || cp "$system/kernel32.dll" "$windows/system/kernel32.dll"

# Drive C: gets a raw FAT volume (the boot sector the VOLQ driver reads), like a
# Windows 98 machine's FAT32 system disk. The files stay in drive_c.
image=$build/report-c-drive.img
if [ ! -f "$image" ]; then
  rm -f "$image"
  mkfs.fat -C -F 32 -s 8 -n DEVLORE98 -i 19980625 "$image" $((300 * 1024)) >/dev/null
fi
ln -sfn "$image" "$WINEPREFIX/dosdevices/c::"

# Only the machine's own drives: no Z: mapping of the host's file system.
rm -f "$WINEPREFIX/dosdevices/z:"

# The control and the report host, installed as on the target machine.
cp "$build/bin/Devlore.DLL" "$system/Devlore.DLL"
mkdir -p "$drive_c/Program Files/Devlore"
cp "$build/bin/report_host.exe" "$drive_c/Program Files/Devlore/"

# HKEY_DYN_DATA lives in the Wine server's memory only, as on Windows 9x: keep
# one server alive while the profile is imported, the control registered and
# the report made.
"$devlore_wineserver" -k 2>/dev/null || true
"$devlore_wineserver" -w 2>/dev/null || true
"$devlore_wineserver" -p60
trap '"$devlore_wineserver" -k 2>/dev/null || true' EXIT
cd "$drive_c"
mkdir -p "$drive_c/Devlore"
cp "$root/profiles/reset-hardware.reg" "$drive_c/Devlore/reset-hardware.reg"
cp "$profile" "$drive_c/Devlore/profile.reg"
"$WINELOADER" regedit /S 'C:\Devlore\reset-hardware.reg'
"$WINELOADER" regedit /S 'C:\Devlore\profile.reg'
"$WINELOADER" regsvr32 /s 'C:\windows\system32\Devlore.DLL' || "$WINELOADER" regsvr32 /s Devlore.DLL

rm -f "$drive_c/Devlore/report.json" "$drive_c/Devlore/report.html"
"$WINELOADER" 'C:\Program Files\Devlore\report_host.exe' \
  --json 'C:\Devlore\report.json' --html 'C:\Devlore\report.html'
[ -z "$json_out" ] || cp "$drive_c/Devlore/report.json" "$json_out"
[ -z "$html_out" ] || cp "$drive_c/Devlore/report.html" "$html_out"
