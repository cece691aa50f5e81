#!/usr/bin/env bash
# Checks Devlore.cab as the browser's code download will read it: it holds just
# Devlore.DLL (the same bytes as the build's) and Devlore.inf; the INF installs
# the DLL from this cabinet, for the SysInfo class, at the version that pages ask
# for in CODEBASE="Devlore.cab#version=...", which must also be the DLL's own
# version resource (else the browser downloads the cabinet on every visit).
# Usage: check-cab.sh GCAB CAB DLL IDL VERSION   (VERSION like 1,0,0,4)
set -uo pipefail
gcab=$1 cab=$2 dll=$3 idl=$4 version=$5
failed=0
fail() { echo "FAIL: $*"; failed=1; }

[ -f "$cab" ] || { echo "FAIL: $cab was not built"; exit 1; }
listing=$("$gcab" --list "$cab") || { echo "FAIL: gcab cannot read $cab"; exit 1; }
echo "$cab holds:"; sed 's/^/  /' <<<"$listing"
[ "$(LC_ALL=C sort <<<"$listing" | tr '\n' ' ')" = "Devlore.DLL Devlore.inf " ] ||
  fail "the cabinet should hold exactly Devlore.DLL and Devlore.inf"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$gcab" --extract --directory "$work" "$cab" >/dev/null || { echo "FAIL: gcab cannot extract $cab"; exit 1; }
cmp -s "$work/Devlore.DLL" "$dll" || fail "Devlore.DLL in the cabinet differs from the built $dll"
inf=$work/Devlore.inf
[ -f "$inf" ] || { echo "FAIL: no Devlore.inf in the cabinet"; exit 1; }
if grep -q $'[^\r]$' "$inf" || grep -q $'^$' "$inf"; then
  fail "Devlore.inf must have CR LF line ends"
fi

# INF lookup: section and key names are case-insensitive; ';' starts a comment.
inf_value() {
  tr -d '\r' <"$inf" | awk -v want_section="${1,,}" -v want_key="${2,,}" '
    { sub(/;.*/, ""); gsub(/^[ \t]+|[ \t]+$/, "") }
    /^\[.*\]$/ { section = tolower(substr($0, 2, length($0) - 2)); next }
    section == want_section && index($0, "=") {
      key = substr($0, 1, index($0, "=") - 1); value = substr($0, index($0, "=") + 1)
      gsub(/[ \t]+$/, "", key); gsub(/^[ \t]+/, "", value)
      if (tolower(key) == want_key) { print value; exit }
    }'
}
expect_key() {
  local actual
  actual=$(inf_value "$1" "$2")
  if [ "$actual" = "$3" ]; then
    echo "  [$1] $2=$actual"
  else
    fail "[$1] $2 should be '$3', is '${actual:-<absent>}'"
  fi
}

# The class the control registers, from the type library source.
clsid=$(awk '/uuid\(/ { match($0, /uuid\([^)]*\)/); id = substr($0, RSTART + 5, RLENGTH - 6) }
             /coclass[ \t]+SysInfo/ { print toupper(id); exit }' "$idl")
[ -n "$clsid" ] || fail "no uuid for coclass SysInfo found in $idl"

# The DLL's version resource: VS_FIXEDFILEINFO starts with the signature
# 0xFEEF04BD, then the structure version, then the file version (MS, LS words).
hex=$(od -An -v -tx1 "$dll" | tr -d ' \n')
dll_version=
rest=$hex
offset=0
while [[ $rest == *bd04effe* ]]; do
  before=${rest%%bd04effe*}
  position=$((offset + ${#before}))
  if [ $((position % 2)) -eq 0 ]; then
    words=${hex:position+16:16}
    le16() { echo $((16#${1:2:2}${1:0:2})); }
    dll_version="$(le16 "${words:4:4}"),$(le16 "${words:0:4}"),$(le16 "${words:12:4}"),$(le16 "${words:8:4}")"
    break
  fi
  rest=${rest:${#before}+1}
  offset=$((position + 1))
done
if [ "$dll_version" = "$version" ]; then
  echo "  Devlore.DLL version resource: $dll_version"
else
  fail "Devlore.DLL's version resource says '${dll_version:-<none found>}', the pages ask for $version"
fi

expect_key version signature '"$CHICAGO$"'
expect_key version AdvancedINF 2.0
expect_key Add.Code Devlore.DLL Devlore.DLL
expect_key Devlore.DLL file-win32-x86 thiscab
expect_key Devlore.DLL clsid "{$clsid}"
expect_key Devlore.DLL FileVersion "$version"
expect_key Devlore.DLL RegisterServer yes
expect_key Devlore.DLL DestDir 11
exit $failed
