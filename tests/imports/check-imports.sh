#!/usr/bin/env bash
# Checks that a 32-bit DLL can load on Windows 95 and 98: it may import only from
# KERNEL32, USER32, GDI32, ADVAPI32, OLE32 and OLEAUT32, only by name, and only
# names that Windows 95 (OSR2) exports, per the export lists in LISTS_DIR
# (<dll>-win95osr2.txt, one name a line). Anything newer must be looked up at
# run time instead. Prints each offence; exits 1 if there is any.
# Usage: check-imports.sh OBJDUMP DLL LISTS_DIR
set -euo pipefail
objdump=${1:?objdump} dll=${2:?dll} lists=${3:?lists dir}
allowed=(KERNEL32 USER32 GDI32 ADVAPI32 OLE32 OLEAUT32)

if [ ! -d "$lists" ]; then
  echo "FAIL: cannot check the imports: the Windows 95/98 export lists are missing."
  echo "      Looked for $lists (shared/win9x-exports beside the repository," \
       "or set DEVLORE_WIN9X_EXPORTS when configuring)."
  exit 1
fi
for name in "${allowed[@]}"; do
  list="$lists/${name,,}-win95osr2.txt"
  [ -s "$list" ] || { echo "FAIL: export list $list is missing or empty"; exit 1; }
done
[ -f "$dll" ] || { echo "FAIL: $dll does not exist"; exit 1; }

headers=$("$objdump" -f "$dll")
grep -q 'file format pei-i386' <<<"$headers" || {
  echo "FAIL: $dll is not a 32-bit x86 PE file:"; echo "$headers"; exit 1; }

# objdump -p prints, per imported DLL, "\tDLL Name: X" and then one line per
# import: "\t<thunk>\t<hint>  <name>", or "<none>" as the name of an import by
# ordinal (the number then stands where the hint does).
imports=$("$objdump" -p "$dll" | awk '
  /^The Import Tables/ { inside = 1; next }
  inside && /^[^ \t]/ { inside = 0 }
  inside && /^\tDLL Name: / { dll = $3; print "DLL", dll; next }
  inside && dll != "" && /^\t[0-9a-fA-F]+\t/ { print "FN", dll, $2, $3 }')

if ! grep -q '^FN ' <<<"$imports"; then
  echo "FAIL: found no imports in $dll: objdump's output was not understood"
  exit 1
fi

offences=0
count=0
while read -r _ name; do
  base=${name%.*}
  base=${base^^}
  functions=$(awk -v d="$name" '$1 == "FN" && $2 == d { print $4 }' <<<"$imports")
  ordinals=$(awk -v d="$name" '$1 == "FN" && $2 == d && $4 == "<none>" { print $3 }' <<<"$imports")
  n=$(grep -c . <<<"$functions" || true)
  count=$((count + n))
  if [[ " ${allowed[*]} " != *" $base "* ]]; then
    echo "FAIL: imports from $name ($n functions), which is not one of ${allowed[*]}"
    offences=$((offences + 1))
    continue
  fi
  for ordinal in $ordinals; do
    echo "FAIL: imports $name ordinal $ordinal by number (Windows 95 refuses such imports)"
    offences=$((offences + 1))
  done
  list="$lists/${base,,}-win95osr2.txt"
  while read -r missing; do
    [ -n "$missing" ] || continue
    echo "FAIL: imports $name!$missing, which Windows 95 does not export (${list##*/})"
    offences=$((offences + 1))
  done < <(grep -v '^<none>$' <<<"$functions" | LC_ALL=C sort -u | LC_ALL=C comm -23 - <(LC_ALL=C sort -u "$list"))
done < <(grep '^DLL ' <<<"$imports")

dlls=$(grep -c '^DLL ' <<<"$imports")
if [ $offences -gt 0 ]; then
  echo "$dll: $offences import(s) that Windows 95 cannot satisfy (of $count functions from $dlls DLLs)"
  exit 1
fi
echo "$dll: all $count imported functions from $dlls DLLs exist on Windows 95 (OSR2)"
