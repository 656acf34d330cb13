#!/usr/bin/env bash
# Times one map install through the whole chain under Wine, for a 20 MB archive, against
# its floor (a plain copy and a plain extraction), and Orvane.exe's start-up against a
# minimal window program built the same way. Prints the figures; not part of the tests.
#   bench/chain/run.sh [RUNS]
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"
bash scripts/install-deps.sh
orvane_build build/win32 --target chain_bench
orvane_prefix "$ORVANE_ROOT/build/win32/bench-prefix"
orvane_xvfb

# 20 MB of incompressible map data, foldered as most maps come.
archive="$WINEPREFIX/drive_c/BenchMap.zip"
if [ ! -f "$archive" ]; then
  work=$(mktemp -d)
  mkdir -p "$work/Maps" "$work/Textures" "$work/Sounds"
  head -c 12000000 /dev/urandom > "$work/Maps/BenchMap.unr"
  head -c 6000000 /dev/urandom > "$work/Textures/Bench.utx"
  head -c 2000000 /dev/urandom > "$work/Sounds/Bench.uax"
  (cd "$work" && zip -qr "$archive" Maps Textures Sounds)
  rm -rf "$work"
fi
wine build/win32/chain_bench.exe 'C:\BenchMap.zip' "${1:-5}" 2>/dev/null | grep -E '^(archive|install|floor|ratio|Orvane.exe|minimal)'
