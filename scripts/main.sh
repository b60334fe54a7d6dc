#!/usr/bin/env bash
# The main job: builds the plug-in and the reference host, lays out a host
# folder, registers the plug-in and lists its sources.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
build_windows
start_wine
HOST_DIR=${HOST_DIR:-$ROOT/build/host}
"$ROOT/cmake/wine-run.sh" "$WIN_BUILD/bin/vxhost.exe" layout "$HOST_DIR"
"$ROOT/cmake/wine-run.sh" "$HOST_DIR/vxhost.exe" register
"$ROOT/cmake/wine-run.sh" "$HOST_DIR/vxhost.exe" sources
