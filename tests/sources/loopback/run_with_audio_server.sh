#!/usr/bin/env bash
# Runs a Windows test program under Wine with a given audio server:
#   run_with_audio_server.sh pulse|none <program.exe> [arguments...]
# "pulse" starts a private PulseAudio server with a null sink for this run only
# and points the program at it; "none" points it at a socket nobody listens on.
set -u
mode=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
runner="$here/../../../cmake/wine-run.sh"
dir=$(mktemp -d /tmp/vxaudio.XXXXXX)
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT

if [ "$mode" = pulse ]; then
  command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
  as_root=()
  [ "$(id -u)" -eq 0 ] && as_root=(--system=false)
  HOME="$dir" XDG_RUNTIME_DIR="$dir" pulseaudio -n "${as_root[@]}" --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --load=module-null-sink \
    --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" >"$dir/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do
    [ -S "$dir/native" ] && break
    sleep 0.1
  done
  [ -S "$dir/native" ] || { echo "PulseAudio did not start:" >&2; cat "$dir/server.log" >&2; exit 1; }
fi
export PULSE_SERVER="unix:$dir/native"
export VX_AUDIO_SERVER="$mode"
"$runner" "$@"
