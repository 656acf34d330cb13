# Shared by run.sh and test.sh: building, Wine prefixes and a headless X server.
# Source it; it expects ORVANE_ROOT to be set to the repository's root.

orvane_build() {  # orvane_build BUILD_DIR [cmake --build args...]
  local build_dir=$1; shift
  cmake -S "$ORVANE_ROOT" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$ORVANE_ROOT/cmake/mingw-i686.cmake" >/dev/null
  cmake --build "$build_dir" -j"$(nproc)" "$@"
}

# A 32-bit Wine prefix of our own; never the user's ~/.wine.
orvane_prefix() {  # orvane_prefix PREFIX_DIR
  export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all}
  # No "install Mono/Gecko?" questions: nothing here needs them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}

# Starts Xvfb on the first free display and exports DISPLAY; stopped when the shell exits.
orvane_xvfb() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  ORVANE_XVFB_PID=$!
  trap 'kill $ORVANE_XVFB_PID 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 100); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb did not start on $DISPLAY" >&2
  return 1
}
