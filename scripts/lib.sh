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

# Starts Xvfb on a free display and exports DISPLAY; stopped when the shell exits.
# -displayfd lets the server pick the number itself, so runs started side by side never
# share (or fight over) one display.
orvane_xvfb() {
  local fifo n
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  ORVANE_XVFB_PID=$!
  trap 'kill $ORVANE_XVFB_PID 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
  n=$(timeout 20 head -n1 "$fifo" || true)
  rm -f "$fifo"
  if [ -z "$n" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$n"
}
