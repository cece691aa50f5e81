#!/usr/bin/env bash
# The whole test suite, from a clean clone: installs what is missing, builds,
# and runs every test under Wine in Windows 98 mode, for both builds:
#   x86_64  the same sources under 64-bit Wine (fast, native)
#   i686    the shipped 32-bit build under 32-bit Wine (through qemu's emulator)
# Both must pass. Usage: tools/test.sh [x86_64] [i686] [-- CTEST_ARGS...]
# With no architecture named, runs those in DEVLORE_TEST_ARCHS (default: both).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

archs=()
ctest_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    x86_64|i686) archs+=("$1"); shift ;;
    --) shift; ctest_args=("$@"); break ;;
    *) echo "test.sh: unknown argument $1 (x86_64, i686, -- CTEST_ARGS)" >&2; exit 2 ;;
  esac
done
[ ${#archs[@]} -gt 0 ] || read -r -a archs <<<"${DEVLORE_TEST_ARCHS:-x86_64 i686}"

started=$SECONDS
"$root/tools/install-deps.sh" "${archs[@]}"

# The 32-bit run keeps each prefix's Wine server alive between test programs
# (tools/wine-run); stop them all whatever happens.
stop_servers() {
  local dir
  [ -d "$root/build/i686" ] || return 0
  while read -r dir; do
    ( . "$root/tools/wine-env.sh" i686 "$dir" && "$devlore_wineserver" -k ) >/dev/null 2>&1 || true
  done < <(find "$root/build/i686" -maxdepth 4 -name .devlore-ready -printf '%h\n')
}
trap stop_servers EXIT

summary=()
total_passed=0
total_failed=0
total_skipped=0
status=0
for arch in "${archs[@]}"; do
  dir=$root/build/$arch
  phase=$SECONDS
  echo "=== $arch: build ($dir)"
  if ! "$root/tools/build.sh" "$arch" "$dir"; then
    summary+=("$arch: BUILD FAILED")
    total_failed=$((total_failed + 1))
    status=1
    continue
  fi
  echo "=== $arch: tests"
  log=$dir/ctest-last.log
  set +e
  # A hung Windows program fails its test after DEVLORE_TEST_TIMEOUT seconds
  # instead of holding the run up to CI's own limit.
  # One test at a time by default: the test programs and scripts of a build
  # share one Wine prefix and its registry (wine-run serialises the programs it
  # starts, but some script tests call Wine directly).
  ctest --test-dir "$dir" --output-on-failure -j"${DEVLORE_TEST_JOBS:-1}" --timeout "${DEVLORE_TEST_TIMEOUT:-900}" \
    "${ctest_args[@]}" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  [ "$arch" = i686 ] && stop_servers
  # CTest closes with "N% tests passed, F tests failed out of T".
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1 || true)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    count=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  else
    failed=0 count=0
  fi
  # Tests CTest did not run: disabled ones, which its count leaves out.
  notrun=$(awk '/^The following tests did not run:/ { listed = 1; next }
                listed && /^[ \t]+[0-9]+ - .*\(Disabled\)/ { n++; names = names " " $3; next }
                listed && /^[ \t]+[0-9]+ - / { next }
                { listed = 0 }
                END { print n + 0 names }' "$log")
  skipped=${notrun%% *}
  skipped_names=${notrun#"$skipped"}
  total_passed=$((total_passed + count - failed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  not_run_note=
  [ "$skipped" -eq 0 ] || not_run_note=", $skipped not run:$skipped_names"
  if [ "$rc" -eq 0 ] && [ "$count" -gt 0 ]; then
    summary+=("$arch: passed, $count test programs$not_run_note ($((SECONDS - phase)) s)")
  else
    [ "$count" -gt 0 ] || summary+=("$arch: NO TESTS RAN")
    [ "$count" -eq 0 ] || summary+=("$arch: FAILED, $failed of $count test programs$not_run_note ($((SECONDS - phase)) s)")
    status=1
  fi
done

echo
echo "=== results ($((SECONDS - started)) s in all)"
printf '%s\n' "${summary[@]}"
echo "total: $total_passed passed, $total_failed failed, $total_skipped skipped"
exit $status
