#!/usr/bin/env bash
# The whole test suite, from a clean clone: installs what is missing, builds,
# and runs every test under Wine in Windows 98 mode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
"$root/tools/build.sh" x86_64
ctest --test-dir "$root/build/x86_64" --output-on-failure -j2
