#!/usr/bin/env bash
# Whole-game check benchmark (run on demand, not in CI): wall time and peak memory of a
# native Pkzip25 -orvane /check on games of 200 and 2,000 packages shaped like a player's
# (make_game.py), with the files in the OS cache (one warm-up run, then the best of three).
#   bash bench/game_check/run.sh [WORK_DIR]        (default build/bench-game-check)
# Targets: the 2,000-package check well under 1 s; 2,000 at most 12 times 200. Besides wall
# time it prints the CPU time (user + system), which other work on the machine disturbs less;
# the load average before each game says how busy the machine was.
# REV=<git revision> times that revision's Pkzip25 instead of the working tree's.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$root/build/bench-game-check}
mkdir -p "$work"
work=$(cd "$work" && pwd)

src=$root
if [ -n "${REV:-}" ]; then
  src="$work/src-$(git -C "$root" rev-parse --short "$REV")"
  rm -rf "$src" && mkdir -p "$src"
  git -C "$root" archive "$REV" unzip | tar -x -C "$src"
fi
build="$work/build-$(basename "$src")"
cmake -S "$src/unzip" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target Pkzip25 >/dev/null
ours="$build/Pkzip25"
echo "Pkzip25 of ${REV:-the working tree}: $ours"

declare -A best cpu_best
for n in 200 2000; do
  game="$work/game-$n"
  [ -f "$game/.made" ] || { rm -rf "$game"; python3 "$root/bench/game_check/make_game.py" "$game" "$n"; touch "$game/.made"; }
  printf '%s packages, %s on disk (export data is sparse), %s apparent\n' "$n" "$(du -sh "$game" | cut -f1)" \
    "$(du -sh --apparent-size "$game" | cut -f1)"
  "$ours" -orvane /check "$game" /no >/dev/null 2>&1 || true  # warm the OS cache
  best[$n]=
  cpu_best[$n]=
  echo "  load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
  for run in 1 2 3; do
    code=0
    /usr/bin/time -f '%e %M %U %S' -o "$work/time.txt" "$ours" -orvane /check "$game" /no >"$work/out-$n.txt" 2>&1 || code=$?
    read -r secs kb user sys < <(tail -n 1 "$work/time.txt")
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }')
    printf '  run %s: exit %s, %5.2f s wall, %5.2f s CPU, %6.1f MB peak; %s\n' "$run" "$code" "$secs" "$cpu" \
      "$(echo "$kb" | awk '{ print $1 / 1024 }')" "$(tail -n 1 "$work/out-$n.txt")"
    if [ -z "${best[$n]}" ] || awk -v a="$secs" -v b="${best[$n]}" 'BEGIN { exit !(a < b) }'; then best[$n]=$secs; fi
    if [ -z "${cpu_best[$n]}" ] || awk -v a="$cpu" -v b="${cpu_best[$n]}" 'BEGIN { exit !(a < b) }'; then cpu_best[$n]=$cpu; fi
  done
done
awk -v a="${best[200]}" -v b="${best[2000]}" -v c="${cpu_best[200]}" -v d="${cpu_best[2000]}" \
  'BEGIN { printf "best wall: 200 packages %.2f s, 2,000 packages %.2f s; ratio %.1f (at most 12)\n", a, b, (a > 0 ? b / a : 0);
           printf "best CPU:  200 packages %.2f s, 2,000 packages %.2f s; ratio %.1f\n", c, d, (c > 0 ? d / c : 0) }'
