#!/usr/bin/env bash
# Runs the sample page (or another) on the shipped control the way a browser
# does: the main job's setup (tools/main-job-setup.sh: 32-bit Wine on an
# emulated Pentium II, the control installed and registered, the probe drivers,
# the machine profile), then the page host with the page served from an
# allowed address, printing what the page shows.
#
# Usage: tools/page.sh [--arch i686|x86_64] [--page FILE] [--out-html FILE] [--profile PROFILE]
#                      [-- PAGE_HOST_OPTIONS...]
#   --page      the HTML page (default: samples/sysinfo.html)
#   --out-html  also write the page as it is after its scripts ran
#   after --     options for the page host (--url, --user-agent, --repeat, ...;
#               see tools/page_host/README.md)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=i686
profile=$root/profiles/typical98.reg
page=$root/samples/sysinfo.html
html_out=
host_options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch=$2; shift 2 ;;
    --page) page=$(realpath "$2"); shift 2 ;;
    --out-html) html_out=$(realpath -m "$2"); shift 2 ;;
    --profile) profile=$(realpath "$2"); shift 2 ;;
    --) shift; host_options=("$@"); break ;;
    *) echo "page.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

. "$root/tools/main-job-setup.sh"

cp "$page" "$drive_c/Devlore/page.html"
rm -f "$drive_c/Devlore/page-out.html"
"$WINELOADER" 'C:\Program Files\Devlore\page_host.exe' --html 'C:\Devlore\page.html' \
  --out-html 'C:\Devlore\page-out.html' "${host_options[@]}"
[ -z "$html_out" ] || cp "$drive_c/Devlore/page-out.html" "$html_out"
