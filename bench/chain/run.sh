#!/usr/bin/env bash
# Times one map install through the whole chain under Wine, for a 20 MB archive, against
# its floor (a plain copy and a plain extraction), and Orvane.exe's start-up against a
# minimal window program built the same way. Then times Orvane.BAT alone under Wine's cmd
# against a plain Pkzip25 extraction, for a 600-file 90 MB bonus pack and the 20 MB map.
# Prints the figures; not part of the tests.
#   bench/chain/run.sh [RUNS]          everything
#   bench/chain/run.sh script [RUNS]   only the script against a plain extraction
#   bench/chain/run.sh batch [RUNS]    thirty small map archives: one call of the script for
#                                      all against thirty calls and thirty plain extractions
#   bench/chain/run.sh exit [RUNS]     close to end of process, Orvane.exe against the minimal
#                                      window, with Wine waiting for a window manager and not
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"
only_script=0 only_exit=0 batch=
if [ "${1:-}" = script ]; then only_script=1; shift; fi
if [ "${1:-}" = batch ]; then only_script=1 batch=batch; shift; fi
if [ "${1:-}" = exit ]; then only_exit=1; shift; fi
bash scripts/install-deps.sh
orvane_choose_wine
echo "Timing the $ORVANE_WINE_ARCH build: $ORVANE_WINE_WHY"
build=$ORVANE_WINE_BUILD
if [ $only_script = 1 ]; then
  orvane_build "$ORVANE_WINE_ARCH" "$build" --target Pkzip25 OrvaneScript
else
  orvane_build "$ORVANE_WINE_ARCH" "$build" --target chain_bench
fi
orvane_prefix "$ORVANE_ROOT/$build/bench-prefix"
orvane_xvfb
wineserver -p  # one resident server, so every Wine start costs what it costs a player

if [ $only_exit = 1 ]; then
  # Xvfb has no window manager. Managed (Wine's default, right on a desktop that has one),
  # every hidden window waits 2 s here for a manager; unmanaged, as the tests run, none does
  # (see orvane_unmanaged).
  for managed in Y N; do
    for program in Orvane.exe minimal_window.exe; do
      wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program\\X11 Driver" /v Managed /d $managed /f \
        </dev/null >/dev/null 2>&1
    done
    echo "Wine's X11 Driver Managed=$managed:"
    wine "$build/chain_bench.exe" exit "${1:-5}" 2>/dev/null
  done
  exit 0
fi
orvane_unmanaged Orvane.exe minimal_window.exe  # no wait for a window manager at each close

if [ $only_script = 0 ]; then
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
  wine "$build/chain_bench.exe" 'C:\BenchMap.zip' "${1:-5}" 2>/dev/null | grep -E '^(archive|install|floor|ratio|Orvane.exe|minimal)'
fi
mkdir -p build/bench-chain
python3 bench/chain/script_bench.py "$build" build/bench-chain "${1:-3}" $batch
