#!/usr/bin/env bash
# The ASIO block interleave, timed twice: natively (an optimised build of the
# portable core without sanitizers, in build/linux-release, against glibc's
# memcpy) and as the Windows build under Wine (against the faster of Wine's
# memcpy and a vector copy loop). Extra arguments go to both runs, e.g.
# --isa avx2 to time one instruction set. Exit code: 1 when a run misses a goal.
set -uo pipefail
source "$(dirname "$0")/common.sh"
RELEASE_BUILD=${RELEASE_BUILD:-$ROOT/build/linux-release}
set -e
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$RELEASE_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVX_SANITIZE=OFF -DVX_FUZZ=OFF >/dev/null
cmake --build "$RELEASE_BUILD" -j "$JOBS" --target interleave_bench
build_windows
set +e
status=0
echo "== Native (clang, glibc memcpy) =="
"$RELEASE_BUILD/bin/interleave_bench" "$@" || status=1
echo "== Windows build under Wine =="
start_wine
"$ROOT/cmake/wine-run.sh" "$WIN_BUILD/bin/interleave_bench.exe" "$@" || status=1
exit $status
