#!/usr/bin/env bash
# Configures and builds one architecture. Usage: build.sh x86_64|i686 [BUILD_DIR]
set -euo pipefail
arch=${1:-x86_64}
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${2:-$root/build/$arch}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" >/dev/null
cmake --build "$dir"
