#!/usr/bin/env bash
# The main job: builds Devlore, prepares a Wine prefix in Windows 98 mode with
# the bundled machine profile, and prints the device report of that machine.
# Usage: tools/report.sh [PROFILE]   (default: profiles/typical98.reg)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
profile=${1:-$root/profiles/typical98.reg}
arch=x86_64
build=$root/build/$arch
prefix=$build/report-prefix

"$root/tools/install-deps.sh"
"$root/tools/build.sh" "$arch" >/dev/null
"$root/tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$root/tools/wine-env.sh" "$arch" "$prefix"

# HKEY_DYN_DATA lives in the Wine server's memory only, as on Windows 9x: keep
# one server alive while the profile is imported and the report runs.
wineserver -p 60
trap 'wineserver -k 2>/dev/null || true' EXIT
"$WINELOADER" regedit /S "$root/profiles/reset-hardware.reg"
"$WINELOADER" regedit /S "$profile"
"$WINELOADER" "$build/bin/device_report.exe"
