#!/usr/bin/env bash
# Runs one program in its own Wine prefix after importing a machine profile;
# HKEY_DYN_DATA lives only as long as the Wine server, so one server is kept
# alive for the import and the run.
# Usage: run_with_profile.sh ARCH PREFIX PROFILE PROGRAM [ARGS...]
set -euo pipefail
arch=$1 prefix=$2 profile=$3
shift 3
root=$(cd "$(dirname "$0")/../.." && pwd)
"$root/tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$root/tools/wine-env.sh" "$arch" "$prefix"
wineserver -p 30
trap 'wineserver -k 2>/dev/null || true' EXIT
"$WINELOADER" regedit /S "$root/profiles/reset-hardware.reg"
"$WINELOADER" regedit /S "$profile"
cd "$(dirname "$1")"
"$WINELOADER" "$@"
