#!/usr/bin/env bash
# Registers and unregisters the built library with the platform's own regsvr32,
# checks the registry with the platform's reg tool, and scripts the control from
# the platform's script host in JScript and VBScript.
# Usage: platform_tools_test.sh ARCH PREFIX LIBRARY SCRIPT_FOLDER
set -uo pipefail
arch=$1
prefix=$2
library=$3
scripts=$4
tools=$(cd "$(dirname "$(readlink -f "$0")")/../../tools" && pwd)
"$tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$tools/wine-env.sh" "$arch" "$prefix"
# One Wine server for the whole script, rather than one starting and stopping
# around each of the many short programs below.
"$devlore_wineserver" -p30 </dev/null >/dev/null 2>&1 || true

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

winpath=$("$WINELOADER" winepath -w "$library" 2>/dev/null | tr -d '\r')
[ -n "$winpath" ] || { echo "cannot map $library to a Windows path"; exit 1; }
folder=${winpath%\\*}\\

clsid='{6F1B52C4-3D07-4E21-9A58-2C7D4E90B3A1}'
libid='{6F1B52C5-3D07-4E21-9A58-2C7D4E90B3A1}'
iid='{6F1B52C6-3D07-4E21-9A58-2C7D4E90B3A1}'
target=win64
[ "$arch" = i686 ] && target=win32

# The data of one value as reg prints it; empty when the key or value is missing.
query() {  # KEY [NAME]
  if [ $# -gt 1 ]; then "$WINELOADER" reg query "$1" /v "$2"; else "$WINELOADER" reg query "$1" /ve; fi
}
value() {  # KEY [NAME]
  local output
  # A reg run that printed nothing at all did not get to the registry: ask again.
  output=$(query "$@" 2>/dev/null | tr -d '\r')
  [ -n "$output" ] || output=$(query "$@" 2>/dev/null | tr -d '\r')
  printf '%s\n' "$output" | sed -n 's/^ *[^ ].*  *REG_SZ  *//p' | head -n 1
}
exists() { "$WINELOADER" reg query "$1" >/dev/null 2>&1; }
expect_value() {  # KEY NAME|"" EXPECTED
  local got
  if [ -n "$2" ]; then got=$(value "$1" "$2"); else got=$(value "$1"); fi
  if [ "$got" = "$3" ]; then pass "$1 ${2:-(default)}"; else fail "$1 ${2:-(default)}: got '$got', want '$3'"; fi
}

"$WINELOADER" regsvr32 /u /s "$winpath" >/dev/null 2>&1

# Registration over the stale subtrees of an earlier version: the class key is
# forced out with everything below it. "Stale" followed by a soft hyphen is a
# key of its own, which a linguistic name comparison takes for "Stale".
class="HKCR\\CLSID\\$clsid"
stale=("$class\\Stale" "$class\\Stale"$'\u00ad')
for key in "${stale[@]}"; do "$WINELOADER" reg add "$key\\Deep" /f >/dev/null 2>&1 || fail "reg add $key"; done
if "$WINELOADER" regsvr32 /s "$winpath" >/dev/null 2>&1; then pass "regsvr32"; else fail "regsvr32 returned $?"; fi
for key in "${stale[@]}"; do
  if exists "$key"; then fail "stale $key left after registration"; else pass "stale $key removed"; fi
done
expect_value "$class" "" "Tolvane PC Meadow System Information Class"
expect_value "$class\\InprocServer32" "" "$winpath"
expect_value "$class\\InprocServer32" ThreadingModel "Apartment"
expect_value "$class\\ProgID" "" "Devlore.SysInfo.1"
expect_value "$class\\VersionIndependentProgID" "" "Devlore.SysInfo"
expect_value "$class\\ToolboxBitmap32" "" "$winpath, 101"
expect_value "$class\\MiscStatus" "" "0"
expect_value "$class\\MiscStatus\\1" "" "131473"
expect_value "$class\\TypeLib" "" "$libid"
expect_value "$class\\Version" "" "1.0"
for key in Programmable Control Insertable; do
  if exists "$class\\$key"; then pass "$key"; else fail "$class\\$key missing"; fi
done
expect_value "HKCR\\Devlore.SysInfo.1\\CLSID" "" "$clsid"
expect_value "HKCR\\Devlore.SysInfo\\CLSID" "" "$clsid"
expect_value "HKCR\\Devlore.SysInfo\\CurVer" "" "Devlore.SysInfo.1"
expect_value "HKCR\\TypeLib\\$libid\\1.0\\409\\$target" "" "$winpath"
expect_value "HKCR\\TypeLib\\$libid\\1.0\\HELPDIR" "" "$folder"
expect_value "HKCR\\Interface\\$iid" "" "ISysInfo1"

# Scripting by program identifier through the platform's script host.
# A script that hangs is cut off and fails (its output then lacks "done").
run_script() {  # FILE
  timeout 300 "$WINELOADER" cscript //nologo "$(("$WINELOADER" winepath -w "$1") 2>/dev/null | tr -d '\r')" 2>&1 | tr -d '\r'
}
for script in "$scripts/sysinfo_script_test.js" "$scripts/sysinfo_script_test.vbs"; do
  output=$(run_script "$script")
  name=$(basename "$script")
  # (Here-strings: grep -q leaving a pipe early would fail the pipeline.)
  if grep -qx 'ValidateSession=1' <<<"$output"; then pass "$name ValidateSession"; else fail "$name ValidateSession: $output"; fi
  for method in IsVersionCompatible InitializeDeviceObjects GetObjectCount GetDeviceTypeByIndex GetCatCountByIndex \
                GetElementsInCatByIndices GetSingleString DeInitializeDeviceObjects; do
    if grep -qx "$method=denied" <<<"$output"; then pass "$name $method denied"
    else fail "$name $method: $(grep "^$method=" <<<"$output")"; fi
  done
  # The last line: the script ran to its end (no crash, no hang).
  if [ "$(tail -n 1 <<<"$output")" = done ]; then pass "$name ran to its end"; else fail "$name: $output"; fi
done

# Unregistration, twice.
for round in 1 2; do
  if "$WINELOADER" regsvr32 /u /s "$winpath" >/dev/null 2>&1; then pass "regsvr32 /u ($round)"; else fail "regsvr32 /u ($round) returned $?"; fi
done
for key in "HKCR\\CLSID\\$clsid" "HKCR\\Devlore.SysInfo" "HKCR\\Devlore.SysInfo.1" "HKCR\\TypeLib\\$libid\\1.0" \
           "HKCR\\Interface\\$iid"; do
  if exists "$key"; then fail "$key left after unregistration"; else pass "$key removed"; fi
done

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
