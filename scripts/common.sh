# Shared by the scripts: build folders, the Wine prefix and the X server.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WIN_BUILD=${WIN_BUILD:-$ROOT/build/win}
LINUX_BUILD=${LINUX_BUILD:-$ROOT/build/linux}
JOBS=${JOBS:-$(nproc)}
# Extra CMake options for both builds, e.g. VX_CMAKE_ARGS=-DVX_WERROR=ON.

build_windows() {
  # VX_PREBUILT=1: use $WIN_BUILD as it is (a run on another platform's root).
  [ -n "${VX_PREBUILT:-}" ] && return 0
  cmake -S "$ROOT" -B "$WIN_BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VX_CMAKE_ARGS:-} >/dev/null
  cmake --build "$WIN_BUILD" -j "$JOBS"
}

build_linux() {
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$LINUX_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    ${VX_CMAKE_ARGS:-} >/dev/null
  cmake --build "$LINUX_BUILD" -j "$JOBS"
}

# Creates the build tree's Wine prefix once and keeps a wineserver running for
# it until the calling script exits.
start_wine() {
  export WINEPREFIX="$WIN_BUILD/wineprefix" WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating Wine prefix $WINEPREFIX (first run only)..."
    /usr/lib/wine/wine64 wineboot -u >/dev/null 2>&1 || true
  fi
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
  # The first program run in a fresh server starts the prefix's services, which
  # inherit that program's output and live as long as the server. Start them
  # here with output detached, or ctest waits for a test's pipe until timeout.
  /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 </dev/null || true
  # Xvfb runs no window manager: Wine would wait two seconds for one on every
  # window shown or hidden. Windows it manages itself appear at once.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1 </dev/null || true
  trap stop_wine EXIT
}

stop_wine() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
  WINEPREFIX="$WIN_BUILD/wineprefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
}

# An X server for the tests that create windows (message boxes, dialogs).
start_xvfb() {
  local n=${VX_DISPLAY_NUMBER:-87}
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  # The socket appears before the server answers; a Wine process that finds no
  # answering server loses windows for the whole wineserver session.
  for _ in $(seq 100); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break; sleep 0.1; done
  # start_wine may already have started the prefix's services and desktop
  # without DISPLAY; every window creation then fails ("no driver could be
  # loaded"). Start them again now that the X server answers.
  if [ -n "${WINEPREFIX:-}" ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -p >/dev/null 2>&1 </dev/null || true
    /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 </dev/null || true
  fi
}
