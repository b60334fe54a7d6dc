#!/usr/bin/env bash
# Renders the ASIO settings dialog as users see it and saves PNGs under docs/:
# vxhost configure runs in Wine's virtual desktop (which draws window frames)
# on an Xvfb screen, at display scale 1.0 and 1.5, once with three listed
# drivers and once with none. Needs a Windows build (scripts/test.sh or
# build_windows) and imagemagick.
set -euo pipefail
source "$(dirname "$0")/common.sh"
BIN="$WIN_BUILD/bin"
OUT="$ROOT/docs"
mkdir -p "$OUT"
[ -f "$BIN/vxhost.exe" ] || { echo "dialog_pictures: build first (no $BIN/vxhost.exe)" >&2; exit 1; }
command -v import >/dev/null || { echo "dialog_pictures: imagemagick is needed (import)" >&2; exit 1; }

start_wine
start_xvfb
WINE=/usr/lib/wine/wine64
ROOT_NAME=DialogPictures
SETTINGS="HKCU\\Software\\Vexmoor\\VxTools Reference\\$ROOT_NAME"
winpath() { echo "Z:${1//\//\\}"; }
DLL=$(winpath "$BIN/VxTestAsio.dll")
NAMES=("Studio Interface 8x8" "USB Audio Capture" "Line Input Pro")

# Three drivers listed as ASIO drivers: the test driver's classes, so the
# listed server files exist; the dialog only lists them.
add_drivers() {
  for i in 1 2 3; do
    local id="{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E0$i}"
    $WINE reg add "HKCR\\CLSID\\$id\\InprocServer32" /ve /d "$DLL" /f >/dev/null
    $WINE reg add "HKLM\\Software\\ASIO\\${NAMES[$((i - 1))]}" /v CLSID /d "$id" /f >/dev/null
    $WINE reg add "HKLM\\Software\\ASIO\\${NAMES[$((i - 1))]}" /v Description /d "${NAMES[$((i - 1))]}" /f >/dev/null
  done
}
remove_drivers() {
  for i in 1 2 3; do
    $WINE reg delete "HKLM\\Software\\ASIO\\${NAMES[$((i - 1))]}" /f >/dev/null 2>&1 || true
    $WINE reg delete "HKCR\\CLSID\\{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E0$i}" /f >/dev/null 2>&1 || true
  done
}
trap 'remove_drivers; $WINE reg delete "$SETTINGS" /f >/dev/null 2>&1 || true; stop_wine' EXIT

# A stored choice: the second driver at 48 kHz, 2 channels from input 0.
$WINE reg add "$SETTINGS\\Zones\\0\\Live ASIO" /v "Device ID" /d "{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E02}" /f >/dev/null
$WINE reg add "$SETTINGS\\Zones\\0\\Live ASIO" /v "Sample Rate" /t REG_DWORD /d 48000 /f >/dev/null

shoot() {  # name scale
  local log
  log=$(mktemp -u /tmp/vxdialog.XXXXXX.log)
  VXTOOLS_SCALE=$2 VXTOOLS_SETTINGS_ROOT=$ROOT_NAME VXTOOLS_LOG_FILE=$(winpath "$log") \
    $WINE explorer /desktop=vxdialog,800x600 "$(winpath "$BIN/vxhost.exe")" configure \
    --cancel-after 30000 >/dev/null 2>&1 &
  local pid=$!
  # The dialog is shown once the tools library has been handed its window;
  # give it a moment to paint.
  for _ in $(seq 300); do grep -q AdoptPopupWindow "$log" 2>/dev/null && break; sleep 0.1; done
  grep -q AdoptPopupWindow "$log" || { echo "dialog_pictures: the dialog did not appear ($1)" >&2; exit 1; }
  sleep 3
  import -window root -crop 800x600+0+0 "$OUT/$1.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
  rm -f "$log"
  echo "saved docs/$1.png"
}

add_drivers
shoot asio_dialog_drivers_1.0 1.0
shoot asio_dialog_drivers_1.5 1.5
remove_drivers
shoot asio_dialog_no_drivers_1.0 1.0
shoot asio_dialog_no_drivers_1.5 1.5
