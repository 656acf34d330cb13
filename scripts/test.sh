#!/usr/bin/env bash
# Runs every test, headless: the extractor's native tests (sanitizers, fuzz smoke run),
# built and run beside the cross build, then the Windows build's unit, script and window
# tests under Wine, several at a time, each on a desktop of its own (see orvane_desktops).
#   scripts/test.sh [ctest args...]
# ORVANE_DESKTOPS_COUNT (default 3) sets how many Wine tests run side by side.
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"

bash scripts/install-deps.sh

# The native checks need neither Wine nor the cross build, and each build keeps only about
# one core busy: run them beside the cross build, their output held until they end. A
# session of their own, so that a failure here stops all of them.
mkdir -p build/win32
setsid bash scripts/test-native.sh build > build/native.log 2>&1 &
native=$!
ORVANE_SESSIONS+=($native)
trap orvane_stop EXIT
# A fresh prefix for every run, so no state leaks from an earlier one; Wine sets it up
# beside the builds too.
prefix=$ORVANE_ROOT/build/win32/test-prefix
rm -rf "$prefix" "$prefix"-*
ORVANE_SERVER_PREFIXES+=("$prefix")
(orvane_prefix "$prefix") &
making_prefix=$!
orvane_build build/win32
native_ok=0
wait $native || native_ok=$?
ORVANE_SESSIONS=()
cat build/native.log
[ $native_ok -eq 0 ] || { echo "Native checks failed" >&2; exit 1; }
wait $making_prefix
orvane_prefix "$prefix"
# Desktops: Wine prefix, X display and resident wineserver; CTest gives each Wine test one
# to itself (RESOURCE_GROUPS desktop:1), so tests side by side share nothing.
desktops=${ORVANE_DESKTOPS_COUNT:-3}
orvane_desktops "$desktops" build/win32/desktops
# In a session of its own and waited for, so that an interrupted run stops CTest and its
# tests too, before their desktops go.
setsid ctest --test-dir build/win32 --output-on-failure -j"$desktops" \
  --resource-spec-file "$ORVANE_ROOT/build/win32/desktops/resources.json" "$@" &
tests=$!
ORVANE_SESSIONS+=($tests)
status=0
wait $tests || status=$?
ORVANE_SESSIONS=()
exit $status
