#!/usr/bin/env bash
# Extraction benchmark for Pkzip25 (run on demand, not in CI).
#   bash bench/unzip/run.sh [WORK_DIR]        (default build/bench-unzip)
# Builds the native extractor (Release), generates a deterministic map pack of
# about 220 MB (PACK_MB to change), zips it with Debian's zip at its default
# level, then times extracting it with each tool into a fresh folder, best of
# RUNS (default 3), and prints the times and their ratios to ours.
# Info-ZIP unzip is always compared. bsdtar and 7z are timed on the zip only when
# BENCH_OTHERS=1 and they are installed (packages libarchive-tools, 7zip).
# Then the same pack packed by 7zz with its defaults (solid LZMA2): ours against
# bsdtar and 7zz, and our time over the faster one's. FORMATS=zip or FORMATS=7z
# runs one half.
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

formats=${FORMATS:-zip 7z}
zipfile="$work/pack-$mb.zip"
sevenz="$work/pack-$mb.7z"
if [ ! -f "$zipfile" ] || [ ! -f "$sevenz" ]; then
  rm -rf "$work/src"
  python3 "$root/bench/unzip/make_pack.py" "$work/src" "$mb"
  [ -f "$zipfile" ] || (cd "$work/src" && zip -q -r "$zipfile" MapPack)
  [ -f "$sevenz" ] || (cd "$work/src" && 7zz a -bd -bso0 "$sevenz" MapPack)
  rm -rf "$work/src"
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

# Times each tool of names/cmds on ARCHIVE and prints them with their ratios to ours.
compare() {
  local archive=$1 i
  cat "$archive" >/dev/null  # every tool starts with the archive in the page cache
  echo "archive: $archive ($(du -m "$archive" | cut -f1) MB, about $mb MB of files), best of $runs, $(nproc) cores"
  times=()
  for i in "${!names[@]}"; do times[$i]=$(best "${cmds[$i]}"); done
  printf '%-16s %9s %14s\n' tool seconds "time / ours"
  for i in "${!names[@]}"; do
    awk -v n="${names[$i]}" -v t="${times[$i]}" -v o="${times[0]}" 'BEGIN { printf "%-16s %9.2f %14.2f\n", n, t, t / o }'
  done
}

# Checks our output of ARCHIVE against a reference tool's (a command writing into REF),
# so that a fast but wrong result cannot pass.
same_output() {
  local archive=$1 ref_cmd=$2 tool=$3
  rm -rf "$work/out" "$work/ref"; mkdir -p "$work/out" "$work/ref"
  "$ours" -extract -directories "$archive" "$work/out/" >/dev/null
  bash -c "${ref_cmd//REF/$work/ref}"
  diff -r "$work/out" "$work/ref" >/dev/null && echo "output: identical to $tool's" ||
    { echo "output: DIFFERS from $tool's"; exit 1; }
  rm -rf "$work/out" "$work/ref"
}

declare -a names cmds times
if [[ " $formats " == *" zip "* ]]; then
  names=("Pkzip25 (ours)"); cmds=("'$ours' -extract -directories '$zipfile' OUT/ >/dev/null")
  names+=("unzip");          cmds+=("unzip -q -o '$zipfile' -d OUT")
  if [ "${BENCH_OTHERS:-0}" = 1 ]; then
    command -v bsdtar >/dev/null && { names+=("bsdtar"); cmds+=("bsdtar -xf '$zipfile' -C OUT"); }
    command -v 7z >/dev/null && { names+=("7z"); cmds+=("7z x -y -bd -oOUT '$zipfile' >/dev/null"); }
  fi
  compare "$zipfile"
  same_output "$zipfile" "unzip -q -o '$zipfile' -d REF" unzip
fi

if [[ " $formats " == *" 7z "* ]]; then
  echo
  names=("Pkzip25 (ours)"); cmds=("'$ours' -extract -directories '$sevenz' OUT/ >/dev/null")
  names+=("bsdtar");         cmds+=("bsdtar -xf '$sevenz' -C OUT")
  names+=("7zz");            cmds+=("7zz x -y -bd -bso0 -oOUT '$sevenz'")
  compare "$sevenz"
  awk -v o="${times[0]}" -v b="${times[1]}" -v s="${times[2]}" \
    'BEGIN { f = b < s ? b : s; printf "ours / faster peer: %.2f (the most allowed: 1.30)\n", o / f }'
  same_output "$sevenz" "bsdtar -xf '$sevenz' -C REF" bsdtar
fi
