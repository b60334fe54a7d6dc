# Sourced by the scripts that need real played sound: a private PulseAudio
# server with one null sink, and numbered frames played into it with the
# ordinary PulseAudio client (pacat). Both end with the calling shell (stop_audio_server).
#
#   start_audio_server DIR   starts the server with its runtime files in DIR and
#                            exports PULSE_SERVER for every client (Wine included);
#                            returns non-zero with the server's log when it cannot start
#   play_numbered            plays frames that carry their own number
#                            (scripts/frames.py) until the server stops, and
#                            returns once they reach the null sink's monitor
#   record_monitor FILE      records the null sink's monitor with PulseAudio's
#                            own recorder (parec) into FILE until the server stops
#   stop_audio_server        ends them all

AUDIO_SERVER_PID=""
AUDIO_TONE_PID=""
AUDIO_MONITOR_PID=""
AUDIO_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

start_audio_server() {
  local dir=$1
  command -v pulseaudio >/dev/null && command -v pacat >/dev/null || {
    echo "pulseaudio and pacat are not installed (scripts/setup.sh installs them)" >&2
    return 1
  }
  mkdir -p "$dir"
  local as_root=()
  [ "$(id -u)" -eq 0 ] && as_root=(--system=false)
  HOME="$dir" XDG_RUNTIME_DIR="$dir" pulseaudio -n "${as_root[@]}" --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --load=module-null-sink \
    --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    >"$dir/server.log" 2>&1 &
  AUDIO_SERVER_PID=$!
  export PULSE_SERVER="unix:$dir/native"
  # The socket appears once the server accepts clients; a loaded machine may
  # take seconds, and a server that died ends the wait at once.
  for _ in $(seq 1 300); do
    [ -S "$dir/native" ] && return 0
    kill -0 "$AUDIO_SERVER_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "PulseAudio did not start:" >&2
  cat "$dir/server.log" >&2
  return 1
}

# A player latency of 200 ms: 50 ms underruns on a loaded machine, and each
# underrun is a gap in what the monitor carries.
play_numbered() {
  python3 "$AUDIO_SCRIPTS/frames.py" play |
    pacat --playback --format=s16le --rate=44100 --channels=2 --latency-msec=200 &
  AUDIO_TONE_PID=$!
  # An idle null sink has rendered up to 2 s of silence ahead: nothing the
  # player sends reaches the monitor before that has played out.
  sleep 2.5
}

record_monitor() {
  parec --device=null.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=200 \
    --file-format=wav "$1" &
  AUDIO_MONITOR_PID=$!
}

stop_audio_server() {
  if [ -n "$AUDIO_MONITOR_PID" ]; then
    kill -INT "$AUDIO_MONITOR_PID" 2>/dev/null || true
    wait "$AUDIO_MONITOR_PID" 2>/dev/null || true
  fi
  if [ -n "$AUDIO_TONE_PID" ]; then
    kill "$AUDIO_TONE_PID" 2>/dev/null || true
  fi
  if [ -n "$AUDIO_SERVER_PID" ]; then
    kill "$AUDIO_SERVER_PID" 2>/dev/null || true
    wait "$AUDIO_SERVER_PID" 2>/dev/null || true
  fi
  AUDIO_TONE_PID=""
  AUDIO_MONITOR_PID=""
  AUDIO_SERVER_PID=""
  unset PULSE_SERVER
  return 0
}
