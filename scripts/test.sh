#!/usr/bin/env bash
# Runs every test, headless: the extractor's native tests (sanitizers, fuzz smoke run),
# built and run beside the cross build, then the Windows build's unit, script and window
# tests under Wine, several at a time, each on a desktop of its own (see orvane_desktops).
#   scripts/test.sh [ctest args...]
# ORVANE_DESKTOPS_COUNT (default 3) sets how many Wine tests run side by side.
# Where this machine runs no 32-bit program, the Wine tests run an x86_64 build of the same
# sources under wine64 (see orvane_choose_wine); the i686 release is built all the same,
# and the tests of the shipped programs' shape read it.
set -euo pipefail
ORVANE_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ORVANE_ROOT/scripts/lib.sh"
cd "$ORVANE_ROOT"

bash scripts/install-deps.sh
orvane_choose_wine
wine_line="Wine tests ran the $ORVANE_WINE_ARCH build: $ORVANE_WINE_WHY"
echo "Wine tests run the $ORVANE_WINE_ARCH build: $ORVANE_WINE_WHY"

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
prefix=$ORVANE_ROOT/$ORVANE_WINE_BUILD/test-prefix
rm -rf "$prefix" "$prefix"-*
ORVANE_SERVER_PREFIXES+=("$prefix")
(orvane_prefix "$prefix") &
making_prefix=$!
if [ "$ORVANE_WINE_ARCH" != i686 ]; then
  # What ships, and what the x86_64 build's shape tests read.
  orvane_build i686 build/win32 --target Orvane Pkzip25 OrvaneScript release
fi
orvane_build "$ORVANE_WINE_ARCH" "$ORVANE_WINE_BUILD"
native_ok=0
wait $native || native_ok=$?
ORVANE_SESSIONS=()
cat build/native.log
[ $native_ok -eq 0 ] || { echo "Native checks failed" >&2; exit 1; }
wait $making_prefix || { echo "The Wine prefix could not be made: see the messages above" >&2; exit 1; }
orvane_prefix "$prefix"
# Desktops: Wine prefix, X display and resident wineserver; CTest gives each Wine test one
# to itself (RESOURCE_GROUPS desktop:1), so tests side by side share nothing.
desktops=${ORVANE_DESKTOPS_COUNT:-3}
orvane_desktops "$desktops" "$ORVANE_WINE_BUILD/desktops"
# In a session of its own and waited for, so that an interrupted run stops CTest and its
# tests too, before their desktops go.
# A Wine test that fails gets one more try: now and then Wine fails to start a program at
# all (no output, within 0.01 s). Every test that needed it is named after the summary, so
# a flaky test is seen, never hidden; one that fails twice fails the run.
setsid ctest --test-dir "$ORVANE_WINE_BUILD" --output-on-failure -j"$desktops" --repeat until-pass:2 \
  --resource-spec-file "$ORVANE_ROOT/$ORVANE_WINE_BUILD/desktops/resources.json" "$@" &
tests=$!
ORVANE_SESSIONS+=($tests)
status=0
wait $tests || status=$?
ORVANE_SESSIONS=()
retried=$(awk '/ Testing: /{name=$3} /^Test Failed\./{print name}' \
  "$ORVANE_WINE_BUILD/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u)
[ -z "$retried" ] || printf 'These tests failed at least once (a second try decided):\n%s\n' "$retried"
echo "$wine_line"
exit $status
