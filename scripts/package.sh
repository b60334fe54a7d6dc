#!/usr/bin/env bash
# Builds the plug-in and the reference host and writes the release package
# dist/VxLive-<version>-win64.zip (scripts/write_package.sh says what it
# holds).
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
build_windows
start_wine

bash "$ROOT/scripts/write_package.sh"
unzip -l "$ROOT/dist/"VxLive-*-win64.zip
