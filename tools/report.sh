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
# The main job's prefix, with the control installed and the profile imported;
# it keeps one Wine server alive until this script ends.
. "$root/tools/main-job-setup.sh"

rm -f "$drive_c/Devlore/report.json" "$drive_c/Devlore/report.html"
"$WINELOADER" 'C:\Program Files\Devlore\report_host.exe' \
  --json 'C:\Devlore\report.json' --html 'C:\Devlore\report.html'
[ -z "$json_out" ] || cp "$drive_c/Devlore/report.json" "$json_out"
[ -z "$html_out" ] || cp "$drive_c/Devlore/report.html" "$html_out"
