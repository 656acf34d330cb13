#!/usr/bin/env bash
# Whole-game check benchmark (run on demand, not in CI): wall time and peak memory of a
# native Pkzip25 -orvane /check on games of 200 and 2,000 packages shaped like a player's
# (make_game.py), with the files in the OS cache (one warm-up run, then the best of three).
#   bash bench/game_check/run.sh [WORK_DIR]        (default build/bench-game-check)
# Targets: the 2,000-package check well under 1 s; 2,000 at most 12 times 200. Besides wall
# time it prints the CPU time (user + system), which other work on the machine disturbs less;
# the load average before each game says how busy the machine was.
# REV=<git revision> times that revision's Pkzip25 instead of the working tree's.
# Under Wine too, where Wine runs and the Windows Pkzip25 is built (scripts/lib.sh:
# orvane_build ARCH build/win64 --target Pkzip25, or ORVANE_WINE_EXE=path): the best of three
# of each game (wall time, which includes Wine starting the program), in a prefix under
# WORK_DIR. Target: 2 s, goal 1 s.
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

# Under Wine: the same games, where the Windows program is already built (building it is not cheap).
if [ -f "$root/scripts/lib.sh" ]; then
  export ORVANE_ROOT=$root
  # shellcheck source=../../scripts/lib.sh
  . "$root/scripts/lib.sh"
  if orvane_choose_wine >/dev/null 2>&1; then
    exe=${ORVANE_WINE_EXE:-$root/$ORVANE_WINE_BUILD/Pkzip25.exe}
    if [ -f "$exe" ]; then
      orvane_prefix "$work/wine-prefix-$ORVANE_WINEARCH" >/dev/null
      wineserver -p || true  # one server for every run (2: one runs already), as when the player's programs run one after another
      declare -A wine_best
      for n in 200 2000; do
        game=$(winepath -w "$work/game-$n" 2>/dev/null)
        wine "$exe" -orvane /check "$game" /no </dev/null >/dev/null 2>&1 || true  # warm up
        for run in 1 2 3; do
          start=$(date +%s%N)
          line=$(wine "$exe" -orvane /check "$game" /no </dev/null 2>/dev/null | tail -n 1) || true  # 10: some map will not load
          secs=$(awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
          echo "  Wine ($ORVANE_WINE_ARCH), $n packages, run $run: load $(cut -d' ' -f1 /proc/loadavg), $secs s wall; $line"
          if [ -n "$secs" ] && { [ -z "${wine_best[$n]:-}" ] || awk -v a="$secs" -v b="${wine_best[$n]}" 'BEGIN { exit !(a < b) }'; }; then
            wine_best[$n]=$secs
          fi
        done
      done
      wineserver -k
      awk -v a="${wine_best[200]:-0}" -v b="${wine_best[2000]:-0}" -v e="$exe" \
        'BEGIN { printf "best under Wine (wall, with Wine starting the program): 200 packages %.2f s, 2,000 packages %.2f s; ratio %.1f (%s)\n", a, b, (a > 0 ? b / a : 0), e }'
    else
      echo "Under Wine: not timed, $exe is not built"
    fi
  else
    echo "Under Wine: not timed, Wine does not run here"
  fi
fi
