#!/usr/bin/env bash
# Runs a Windows test program under Wine with a given audio server:
#   run_with_audio_server.sh pulse|none <program.exe> [arguments...]
# "pulse" starts a private PulseAudio server with a null sink for this run only,
# plays frames that carry their own numbers into it (scripts/frames.py) with the
# ordinary PulseAudio client and points the program at it;
# "none" points it at a socket nobody listens on. A server that cannot start
# fails the run.
set -u
mode=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../../scripts/audio_server.sh"
dir=$(mktemp -d /tmp/vxaudio.XXXXXX)
trap 'stop_audio_server; rm -rf "$dir"' EXIT

if [ "$mode" = pulse ]; then
  start_audio_server "$dir" || exit 1
  play_numbered
else
  export PULSE_SERVER="unix:$dir/native"
fi
export VX_AUDIO_SERVER="$mode"
"$here/../../../cmake/wine-run.sh" "$@"
