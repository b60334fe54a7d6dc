#!/usr/bin/env bash
# Builds everything and runs every test: the Windows build under Wine (with an
# X server for windows), then the portable core natively under ASan/UBSan, then
# each fuzzer for a bounded time.
set -euo pipefail
source "$(dirname "$0")/common.sh"
# Warnings are errors here, as in CI.
export VX_CMAKE_ARGS="${VX_CMAKE_ARGS:-} -DVX_WERROR=ON"
bash "$ROOT/scripts/setup.sh"

echo "== Formatting =="
bash "$ROOT/scripts/check_format.sh"
echo "== Layers =="
python3 "$ROOT/scripts/check_layers.py"

echo "== Windows build (MinGW-w64) =="
build_windows
start_wine
start_xvfb
echo "== Windows tests (Wine) =="
(cd "$WIN_BUILD" && ctest --output-on-failure -j "$JOBS")

echo "== Linux build of the portable core (clang, ASan+UBSan) =="
build_linux
echo "== Linux tests =="
(cd "$LINUX_BUILD" && ctest --output-on-failure -j "$JOBS")
