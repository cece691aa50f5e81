#!/usr/bin/env bash
# The shipped library has a size budget (a download over a modem, and a small
# footprint in the browser's process). Usage: check-size.sh DLL LIMIT_BYTES
set -euo pipefail
dll=$1 limit=$2
size=$(stat -c %s "$dll")
if [ "$size" -gt "$limit" ]; then
  echo "FAIL: $dll is $size bytes, over the limit of $limit bytes by $((size - limit))"
  exit 1
fi
echo "$dll: $size bytes, within the limit of $limit bytes ($((limit - size)) to spare)"
