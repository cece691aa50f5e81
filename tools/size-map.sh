#!/usr/bin/env bash
# Builds the shipped 32-bit library and shows where its bytes go.
# Usage: tools/size-map.sh [BUILD_DIR] [--functions N]
#   BUILD_DIR  default build/i686 (a size build: MinSizeRel, the default type)
# Links the library once more beside the real one, unstripped and with a map,
# and prints the bytes of every object file per section kind (tools/size_map.py).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$root/build/i686
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then dir=$1; shift; fi
case "$dir" in /*) ;; *) dir=$PWD/$dir ;; esac
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" >/dev/null
cmake --build "$dir" --target Devlore >/dev/null
dll=$dir/bin/Devlore.DLL
link=$(cd "$dir" && ninja -t commands bin/Devlore.DLL | tail -1)
map=$dir/Devlore.map
# The same link with a map, into a file of its own.
link=${link//-o bin\/Devlore.DLL/-o $dir/Devlore-mapped.DLL}
link=${link// -s / }
link=${link#: && }
link=${link% && :}
link=${link//--out-implib,libDevlore.dll.a/--out-implib,libDevlore-mapped.dll.a}
(cd "$dir" && eval "$link -Wl,-Map,$map")
echo "Devlore.DLL: $(stat -c %s "$dll") bytes"
i686-w64-mingw32-objdump -h "$dll" | while read -r index name size _; do
  case "$index" in [0-9]*) printf '  %-8s %6d bytes\n' "$name" "$((16#$size))" ;; esac
done
python3 "$root/tools/size_map.py" "$map" "$@"
