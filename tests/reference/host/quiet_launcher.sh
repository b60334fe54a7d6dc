#!/bin/sh
# usage: quiet_launcher.sh WINE_RUN VXHOST_EXE DIR
# vxhost.sh, the launcher "vxhost layout" writes, keeps what the sound
# libraries print off the terminal and passes the program's own messages and
# exit code: a loopback recording without a device fails with the source's
# reason and without an "ALSA lib" line.
set -u
wine_run=$1 vxhost=$2 dir=$3
rm -rf "$dir"
"$wine_run" "$vxhost" layout "$dir" >/dev/null || { echo "FAILED: layout"; exit 1; }
out=$(sh "$dir/vxhost.sh" record "$dir/x.wav" --source loopback --seconds 1 2>&1)
code=$?
echo "$out"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
[ "$code" = 1 ] || fail "exit code $code, expected 1"
echo "$out" | grep -q "source refused to open; it logged:" || fail "no reason"
echo "$out" | grep -q "^ALSA lib " && fail "the sound libraries' lines reached the terminal"
rm -rf "$dir"
[ $failures -eq 0 ]
