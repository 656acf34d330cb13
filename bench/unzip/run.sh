#!/usr/bin/env bash
# Extraction benchmark for Pkzip25 (run on demand, not in CI).
#   bash bench/unzip/run.sh [WORK_DIR]        (default build/bench-unzip)
# Builds the native extractor (Release), generates a deterministic map pack of
# about 220 MB (PACK_MB to change), zips it with Debian's zip at its default
# level, then times extracting it with each tool into a fresh folder, best of
# RUNS (default 3), and prints the times and their ratios to ours.
# Info-ZIP unzip is always compared. bsdtar and 7z are timed only when
# BENCH_OTHERS=1 and they are installed (packages libarchive-tools, 7zip).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
work=${1:-$root/build/bench-unzip}
mkdir -p "$work"
work=$(cd "$work" && pwd)
runs=${RUNS:-3}
mb=${PACK_MB:-220}

cmake -S "$root/unzip" -B "$work/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j"$(nproc)" --target Pkzip25 >/dev/null
ours="$work/build/Pkzip25"

zipfile="$work/pack-$mb.zip"
if [ ! -f "$zipfile" ]; then
  rm -rf "$work/src"
  python3 "$root/bench/unzip/make_pack.py" "$work/src" "$mb"
  (cd "$work/src" && zip -q -r "$zipfile" MapPack)
  rm -rf "$work/src"
fi
cat "$zipfile" >/dev/null  # every tool starts with the archive in the page cache

declare -a names cmds
names+=("Pkzip25 (ours)"); cmds+=("'$ours' -extract -directories '$zipfile' OUT/ >/dev/null")
names+=("unzip");          cmds+=("unzip -q -o '$zipfile' -d OUT")
if [ "${BENCH_OTHERS:-0}" = 1 ]; then
  command -v bsdtar >/dev/null && { names+=("bsdtar"); cmds+=("bsdtar -xf '$zipfile' -C OUT"); }
  command -v 7z >/dev/null && { names+=("7z"); cmds+=("7z x -y -bd -oOUT '$zipfile' >/dev/null"); }
fi

best() {  # best wall time in seconds of RUNS runs of a command line
  local cmd=$1 b=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/out"; mkdir -p "$work/out"
    sync
    local t0 t1
    t0=$(date +%s.%N)
    bash -c "${cmd//OUT/$work/out}"
    t1=$(date +%s.%N)
    b=$(awk -v a="$t1" -v s="$t0" -v b="$b" 'BEGIN { d = a - s; if (b == "" || d < b) print d; else print b }')
  done
  echo "$b"
}

size_mb=$(du -m "$zipfile" | cut -f1)
echo "archive: $zipfile ($size_mb MB zipped, about $mb MB of files), best of $runs, $(nproc) cores"
declare -a times
for i in "${!names[@]}"; do times[$i]=$(best "${cmds[$i]}"); done
# Check our output against unzip's once, so a fast but wrong result cannot pass.
rm -rf "$work/out" "$work/ref"; mkdir -p "$work/out" "$work/ref"
"$ours" -extract -directories "$zipfile" "$work/out/" >/dev/null
unzip -q -o "$zipfile" -d "$work/ref"
diff -r "$work/out" "$work/ref" >/dev/null && echo "output: identical to unzip's" || { echo "output: DIFFERS from unzip's"; exit 1; }
rm -rf "$work/out" "$work/ref"

printf '%-16s %9s %14s\n' tool seconds "time / ours"
for i in "${!names[@]}"; do
  awk -v n="${names[$i]}" -v t="${times[$i]}" -v o="${times[0]}" 'BEGIN { printf "%-16s %9.2f %14.2f\n", n, t, t / o }'
done
