#!/usr/bin/env bash
# The main job: builds the plug-in, the reference host and the producer, lays
# out a portable host folder, registers the plug-in, lists its sources,
# validates the plug-in against the host's contract (vxhost validate), then
# records a few seconds of live audio through the IPC source (vxproducer paces
# a sine at its audio rate) into build/host/ipc-recording.wav; then through the
# loopback source from the test audio endpoint, and real played sound (a sine
# played with pacat into a private PulseAudio null sink) through the loopback
# source into build/host/loopback-real.wav, measured against what was played;
# then registers the test ASIO
# driver from the host folder, lists the ASIO drivers and records from two of
# them through the ASIO source: once with options, once with the settings the
# dialog stores. Every recording of a test device is checked
# against the device's signal, and each recording gets a picture
# (scripts/picture.sh) in build/host/pictures. Last, it writes the release package
# (scripts/package.sh).
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
build_windows
start_wine
# The validator shows the ASIO settings dialog: windows need a display.
start_xvfb
HOST_DIR=${HOST_DIR:-$ROOT/build/host}
run() { "$ROOT/cmake/wine-run.sh" "$@"; }
echo "== Host folder =="
run "$WIN_BUILD/bin/vxhost.exe" layout "$HOST_DIR"
cd "$HOST_DIR"
echo "== Registration =="
run ./vxhost.exe register
echo "== Sources =="
run ./vxhost.exe sources
echo "== Validating the plug-in against the host's contract =="
run ./vxhost.exe validate
echo "== Recording the IPC source (request/reply, 48 kHz, 2 channels, 24-bit, 4 s) =="
run ./vxhost.exe record ipc-recording.wav \
  --producer "--sine --rate 48000 --channels 2 --bits 24 --duration 4 --realtime"
echo "== Recording the IPC source (streaming, 96 kHz, 8 channels, 32-bit float, 2 s) =="
run ./vxhost.exe record ipc-streaming.wav --streaming \
  --producer "--sine --rate 96000 --channels 8 --bits 32 --float --duration 2 --realtime"
echo "== Recording the loopback source from the test endpoint (48 kHz, 2 channels, float, 3 s) =="
run ./vxhost.exe record loopback-recording.wav --source loopback --test-endpoint --seconds 3
python3 "$ROOT/scripts/check_loopback_wav.py" loopback-recording.wav 2.5
echo "== Recording real played sound through the loopback source (numbered frames, 3 s) =="
# A private PulseAudio server with a null sink; pacat plays frames that carry
# their own numbers into it, and the test endpoint forwards the loopback
# source's audio client to the sink's monitor through Wine's own audio stack.
# PulseAudio's own recorder takes the same monitor alongside, so that a gap of
# the rig shows in both recordings and one of the plug-in only in its own.
source "$ROOT/scripts/audio_server.sh"
AUDIO_DIR=$(mktemp -d /tmp/vxaudio.XXXXXX)
trap 'stop_audio_server; rm -rf "$AUDIO_DIR"; stop_wine' EXIT
start_audio_server "$AUDIO_DIR"
play_numbered
record_monitor "$HOST_DIR/monitor-real.wav"
run ./vxhost.exe record loopback-real.wav --source loopback --real-capture --seconds 3
stop_audio_server
python3 "$ROOT/scripts/frames.py" check monitor-real.wav 3 --report-only
python3 "$ROOT/scripts/frames.py" check loopback-real.wav 3
echo "== Registering the test ASIO driver from the host folder =="
# The test driver reads its settings from a root of the main job's own, so
# what is set here does not reach the tests run in the same prefix.
export VXTESTASIO_ROOT=vxhost-main
run reg delete 'HKCU\Software\VxTestAsio\vxhost-main' /f >/dev/null 2>&1 || true
# Driver 1 runs its device from a window of the thread that initialised it, as
# many real drivers do: it streams only when the host's thread dispatches messages.
run reg add 'HKCU\Software\VxTestAsio\vxhost-main\{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E01}' \
  /v InitPostsMessage /t REG_DWORD /d 1 /f >/dev/null
# Driver 2 of the test driver is told to deliver 32-bit float samples.
run reg add 'HKCU\Software\VxTestAsio\vxhost-main\{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E02}' \
  /v SampleTypes /t REG_SZ /d 19 /f >/dev/null
run regsvr32 /s VxTestAsio.dll
echo "== ASIO drivers =="
run ./vxhost.exe drivers
echo "== Recording the ASIO source (test driver 1, 48 kHz, 2 channels from input 2, 32-bit, 3 s) =="
run ./vxhost.exe record asio-recording.wav --source asio \
  --device '{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E01}' --rate 48000 --channels 2 --offset 2 --seconds 3
run ./vxhost.exe verify asio-recording.wav --offset 2
echo "== Recording the ASIO source with the stored settings (test driver 2, 96 kHz, 8 channels, 32-bit float, 2 s) =="
# What the settings dialog stores when the user picks driver 2, 96 kHz and 8
# channels from input 0; record without options reads it back as a host does.
ASIO_SETTINGS='HKCU\Software\Vexmoor\VxTools Reference\Default\Zones\0\Live ASIO'
run reg add "$ASIO_SETTINGS" /v "Device ID" /t REG_SZ /d '{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E02}' \
  /f >/dev/null
for v in "Sample Rate=96000" "Channels=8" "Channel Shift=0"; do
  run reg add "$ASIO_SETTINGS" /v "${v%=*}" /t REG_DWORD /d "${v#*=}" /f >/dev/null
done
run ./vxhost.exe record asio-float.wav --source asio --seconds 2
run ./vxhost.exe verify asio-float.wav
echo "== Pictures of the recordings =="
mkdir -p pictures
for wav in ipc-recording ipc-streaming loopback-recording loopback-real asio-recording asio-float; do
  bash "$ROOT/scripts/picture.sh" "$wav.wav" "pictures/$wav.png"
done
echo "== Soak: the three sources together for 20 s =="
bash "$ROOT/scripts/soak.sh" 20
echo "== Release package =="
bash "$ROOT/scripts/package.sh"
echo "Recordings: $HOST_DIR/ipc-recording.wav, $HOST_DIR/ipc-streaming.wav, $HOST_DIR/loopback-recording.wav, $HOST_DIR/loopback-real.wav, $HOST_DIR/asio-recording.wav, $HOST_DIR/asio-float.wav; pictures of them: $HOST_DIR/pictures; host log: $HOST_DIR/VxTools.log"
