#!/usr/bin/env bash
# The sample page and two small pages through the page host, on the platform's
# own VBScript and JScript engines, with the control registered by regsvr32 in
# a prefix of its own that holds a machine profile. The report host, run in the
# same server session on the same profile, gives the lines the page must show.
# Usage: page_host_test.sh ARCH PREFIX LIBRARY PAGE_HOST REPORT_HOST SOURCE_DIR LOADS
set -uo pipefail
arch=$1 prefix=$2 library=$3 page_host=$4 report_host=$5 source=$6 loads=$7
here=$(cd "$(dirname "$(readlink -f "$0")")" && pwd)
"$source/tools/make-prefix" --arch "$arch" --prefix "$prefix"
. "$source/tools/wine-env.sh" "$arch" "$prefix"
# HKEY_DYN_DATA lives as long as the server: one for the import and every run.
"$devlore_wineserver" -k 2>/dev/null || true
"$devlore_wineserver" -w 2>/dev/null || true
"$devlore_wineserver" -p120 </dev/null >/dev/null 2>&1
trap '"$devlore_wineserver" -k 2>/dev/null || true' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
winpath() { "$WINELOADER" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

work=$(mktemp -d)
trap 'rm -rf "$work"; "$devlore_wineserver" -k 2>/dev/null || true' EXIT
# No display here: windows need Wine's null graphics driver, chosen before the
# session's first window.
"$WINELOADER" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
"$WINELOADER" regedit /S "$(winpath "$source/profiles/reset-hardware.reg")"
"$WINELOADER" regedit /S "$(winpath "$source/profiles/typical98.reg")"
"$WINELOADER" regsvr32 /s "$(winpath "$library")" || { echo "regsvr32 failed"; exit 1; }

sample=$(winpath "$source/samples/sysinfo.html")
# The figures that change from one moment to the next (memory load and what
# is available, the measured clock) are masked, each figure as one "#", where
# two reports are compared.
live() { sed -e '/Memory Load\|^Available\|MHz/s/[0-9][0-9,.]*/#/g'; }
# The lines a page shows below its heading, trimmed, empty ones left out.
shown() { tr -d '\r' | sed -e '1{/^System Information$/d}' -e 's/^ *//' -e 's/ *$//' -e '/^$/d'; }
page() {  # ARGS...: runs the page host; what the page shows in $work/shown, exit status in $page_status
  "$WINELOADER" "$page_host" "$@" >"$work/stdout" 2>"$work/stderr"
  page_status=$?
  shown <"$work/stdout" >"$work/shown"
  live <"$work/shown" >"$work/shown.masked"
}

# The report host's lines of every device, category and element.
"$WINELOADER" "$report_host" >"$work/report.raw" 2>&1
tr -d '\r' <"$work/report.raw" | sed -e '1,3d' -e '/^ *(no text: /d' -e 's/^ *//' -e '/^$/d' >"$work/report.txt"
live <"$work/report.txt" >"$work/report.masked"
devices=$(tr -d '\r' <"$work/report.raw" | sed -n 's/^Device list: built, \([0-9]*\) devices$/\1/p')
lines=$(wc -l <"$work/report.txt")
if [ -n "$devices" ] && [ "$devices" -ge 5 ] && grep -qx BIOS "$work/report.txt" && grep -qx CPU "$work/report.txt"
then pass "report host: $devices devices, $lines lines"; else fail "report host: $(cat "$work/report.raw")"; fi

# Served from an allowed domain, the sample page shows the whole report.
page --html "$sample" --url http://www.devlore.io/sysinfo.html --out-html "$(winpath "$work/out.html")"
if [ "$page_status" -eq 0 ] && cmp -s "$work/report.masked" "$work/shown.masked"; then
  pass "sample page from www.devlore.io shows the report ($lines lines)"
else
  fail "sample page from www.devlore.io (status $page_status): $(diff "$work/report.masked" "$work/shown.masked" | head -20) $(cat "$work/stderr")"
fi
if grep -q '<H2>BIOS</H2>' "$work/out.html" && grep -q '<DIV ID="Report"><H2>' "$work/out.html"; then
  pass "the written page holds the report"; else fail "written page: $(head -c 600 "$work/out.html")"; fi

refusal="The control refused this page: Permission denied"
refused() {  # LABEL ARGS...
  local label=$1 shown_text
  shift
  page --html "$sample" "$@"
  shown_text=$(cat "$work/shown")
  if [ "$page_status" -eq 0 ] && [ "$shown_text" = "$refusal" ]; then pass "refused: $label"
  else fail "$label (status $page_status): $shown_text $(cat "$work/stderr")"; fi
}
refused "upper case host" --url http://WWW.DEVLORE.IO/sysinfo.html
refused "devlore.io.evil.example" --url http://www.devlore.io.evil.example/sysinfo.html
refused "evildevlore.io" --url http://evildevlore.io/sysinfo.html
refused "moniker on another host" --url http://www.devlore.io/sysinfo.html --moniker-url http://www.evil.example/sysinfo.html
refused "file address" --url file:///C:/Devlore/sysinfo.html

# With an MSIE 3 user agent the top window and its openers decide.
msie3="Mozilla/2.0 (compatible; MSIE 3.02; Windows 95)"
page --html "$sample" --user-agent "$msie3" --top-url http://meadow.io/frames.html \
  --opener-url http://www.devlore.io/start.html --opener-url http://shop.meadow.io/
if [ "$page_status" -eq 0 ] && cmp -s "$work/report.masked" "$work/shown.masked"; then pass "MSIE 3: allowed opener chain"
else fail "MSIE 3 allowed chain (status $page_status): $(diff "$work/report.masked" "$work/shown.masked" | head -20) $(cat "$work/stderr")"; fi
refused "MSIE 3: an opener outside the domains" --user-agent "$msie3" --top-url http://meadow.io/frames.html \
  --opener-url http://www.devlore.io/start.html --opener-url http://www.evil.example/

# JScript: window.onload, getElementById, innerHTML, innerText; allowed and refused.
jscript=$(winpath "$here/jscript_page.html")
page --html "$jscript" --url http://www.meadow.io/j.html --user-agent Agent
shown_text=$(cat "$work/shown")
expected=$(printf 'platform 1\ndevices %s\n<b>Agent</b> & http://www.meadow.io/j.html' "$devices")
if [ "$page_status" -eq 0 ] && [ "$shown_text" = "$expected" ]; then pass "JScript page, allowed"
else fail "JScript page, allowed (status $page_status): $shown_text $(cat "$work/stderr")"; fi
page --html "$jscript" --url http://www.evil.example/j.html
shown_text=$(head -n 2 "$work/shown")
# JScript's own "Permission denied" or the HRESULT itself.
if [ "$page_status" -eq 0 ] && { [ "$shown_text" = "$(printf 'platform 1\nrefused 800a0046')" ] ||
                                 [ "$shown_text" = "$(printf 'platform 1\nrefused 80070005')" ]; }; then
  pass "JScript page, refused"
else fail "JScript page, refused (status $page_status): $shown_text $(cat "$work/stderr")"; fi

# A script error is reported with its line and number and fails the run.
page --html "$(winpath "$here/script_error_page.html")"
shown_text=$(cat "$work/shown")
if [ "$page_status" -eq 1 ] && [ "$shown_text" = before ] && grep -q 'line 6,.*0x800A04D2: deliberate failure' "$work/stderr"; then
  pass "script error reported"; else fail "script error (status $page_status): $shown_text $(cat "$work/stderr")"; fi

# Many loads in one process: the same text every time, no growth of the heap.
page --html "$sample" --repeat "$loads" --live "Memory Load" --live Available --live MHz
if [ "$page_status" -eq 0 ] && cmp -s "$work/report.masked" "$work/shown.masked"; then pass "$(tr -d '\r' <"$work/stderr")"
else fail "$loads loads (status $page_status): $(diff "$work/report.masked" "$work/shown.masked" | head -20) $(cat "$work/stderr")"; fi

"$WINELOADER" regsvr32 /u /s "$(winpath "$library")"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
