#!/usr/bin/env bash
# Removal benchmark (run on demand, not in CI): the native Pkzip25 installs the 600-file,
# 90 MB bonus pack of bench/chain into a game with the player's install (-orvane), then takes
# it back out (-orvane /remove), which reads every file again for its CRC-32. Best of RUNS
# (default 5) each, the pack's files in the page cache as a player's just-installed pack is.
#   bash bench/remove/run.sh [WORK_DIR]        (default build/bench-remove)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$root/build/bench-remove}
runs=${RUNS:-5}
mkdir -p "$work"
work=$(cd "$work" && pwd)

cmake -S "$root/unzip" -B "$work/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j2 --target Pkzip25 >/dev/null
ours="$work/build/Pkzip25"

pack="$work/BonusPack.zip"
[ -f "$pack" ] || python3 -c "import sys; sys.path.insert(0, '$root/bench/chain'); import script_bench; script_bench.bonus_pack('$pack')"

game="$work/game"
seconds() {  # wall seconds of one run of a command, its output kept in $work/out.txt
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >"$work/out.txt" 2>&1 || true
  t1=$(date +%s.%N)
  awk -v a="$t1" -v b="$t0" 'BEGIN { printf "%.3f\n", a - b }'
}
best_install="" best_remove=""
for _ in $(seq "$runs"); do
  rm -rf "$game" && mkdir -p "$game/System" "$game/Maps"
  sync
  i=$(seconds "$ours" -orvane "$pack" "$game")
  [ -f "$game/Orvane/BonusPack.zip.txt" ] || { echo "the install made no record:" >&2; cat "$work/out.txt" >&2; exit 1; }
  sync
  r=$(seconds "$ours" -orvane /remove "$game" BonusPack.zip)
  grep -q '^Removed (600):' "$work/out.txt" || { echo "the removal did not remove the 600 files:" >&2; cat "$work/out.txt" >&2; exit 1; }
  best_install=$(awk -v t="$i" -v b="$best_install" 'BEGIN { print (b == "" || t < b) ? t : b }')
  best_remove=$(awk -v t="$r" -v b="$best_remove" 'BEGIN { print (b == "" || t < b) ? t : b }')
done
echo "600-file bonus pack ($(du -m "$pack" | cut -f1) MB archive), best of $runs, $(nproc) cores:"
printf '%-28s %8.3f s\n' "install (-orvane)" "$best_install" "removal (-orvane /remove)" "$best_remove"
awk -v r="$best_remove" -v i="$best_install" 'BEGIN { printf "removal / install: %.2f\n", r / i }'
left=$(find "$game" -mindepth 1 | sort | tr '\n' ' ')
echo "left in the game: $left"
