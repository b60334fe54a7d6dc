#!/usr/bin/env bash
# usage: soak.sh SECONDS
# The three sources at once, for SECONDS seconds, each recorded by its own
# vxhost from one host folder (build/soak): IPC from vxproducer's byte pattern
# in real time, ASIO from the test driver with 8 channels of 32-bit samples in
# real time, loopback from the test endpoint. Afterwards every byte of each
# recording is checked against its device's signal, the audio received is
# held against the time the recording ran, and the figures each vxhost
# printed of itself (--stats: private bytes or, under Wine, the resident set,
# handle table slot, threads) are
# compared from the end of the first fifth of the run (or the first minute,
# whichever is shorter) to its end. One line per source; exit code 0 when no
# byte was lost or altered and nothing grew past the limits below.
set -euo pipefail
source "$(dirname "$0")/common.sh"
seconds=${1:?usage: soak.sh SECONDS}
[ "$seconds" -ge 10 ] || { echo "soak: at least 10 seconds" >&2; exit 2; }
# With VX_PREBUILT=1 both use the binaries in $WIN_BUILD/bin as they are (for
# a long run from a copy while the build tree changes).
bash "$ROOT/scripts/setup.sh" >/dev/null
build_windows >/dev/null
start_wine
dir=${SOAK_DIR:-$ROOT/build/soak}
rm -rf "$dir"
run() { "$ROOT/cmake/wine-run.sh" "$@"; }
run "$WIN_BUILD/bin/vxhost.exe" layout "$dir" >/dev/null
cd "$dir"
export VXTESTASIO_ROOT=vxhost-soak
run regsvr32 /s VxTestAsio.dll
trap 'run regsvr32 /u /s VxTestAsio.dll || true; run reg delete "HKCU\\Software\\VxTestAsio\\vxhost-soak" /f >/dev/null 2>&1 || true; stop_wine' EXIT

echo "== Soak: IPC, ASIO and loopback together for $seconds s =="
# The producer sends a little longer than the recording, which --seconds ends.
run ./vxhost.exe record ipc.wav --stats --streaming \
  --producer "--pattern --rate 48000 --channels 2 --bits 16 --realtime --bytes $(((seconds + 30) * 192000))" \
  --seconds "$seconds" >ipc.txt 2>&1 &
ipc=$!
run ./vxhost.exe record asio.wav --stats --source asio --device '{0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E01}' \
  --rate 48000 --channels 8 --seconds "$seconds" >asio.txt 2>&1 &
asio=$!
run ./vxhost.exe record loopback.wav --stats --source loopback --test-endpoint \
  --seconds "$seconds" >loopback.txt 2>&1 &
loopback=$!
failed=0
for p in $ipc $asio $loopback; do wait "$p" || failed=1; done

# "  12.0 s  bytes ... private=N handles=N threads=N" lines: the first sample
# at or after the settling time and the last one.
settle=$((seconds / 5 < 60 ? seconds / 5 : 60))
growth() {
  awk -v settle="$settle" '
    / private=/ {
      t = $1; for (i = 1; i <= NF; ++i) { split($i, kv, "="); if (kv[2] != "") v[kv[1]] = kv[2] }
      # Wine answers private bytes with 0: the resident set stands in.
      m = v["private"] > 0 ? v["private"] : v["resident"]
      if (t >= settle && !seen) { p0 = m; h0 = v["handles"]; t0 = v["threads"]; seen = 1 }
      p1 = m; h1 = v["handles"]; th1 = v["threads"]
    }
    END {
      if (!seen) { print "no figures"; exit 1 }
      printf "memory %+.1f MB, handles %+d, threads %+d from %d s to the end", (p1 - p0) / 1048576, h1 - h0, th1 - t0, settle
      # Flat: under 4 MB, 16 handle slots and 2 threads of growth.
      if (p1 - p0 > 4194304 || h1 - h0 > 16 || th1 - t0 > 2) exit 1
    }' "$1"
}
summary() {  # received seconds of audio, seconds it ran
  local audio ran
  audio=$(tr -d '\r' <"$1" | sed -n 's/.*, \([0-9.]*\) s of audio;.*/\1/p')
  ran=$(tr -d '\r' <"$1" | sed -n 's/^Stopped: .* after \([0-9.]*\) s$/\1/p')
  echo "${audio:-0} ${ran:-0}"
}
report() {  # name, text file, check command...
  local name=$1 text=$2
  shift 2
  local check grown audio ran held
  if check=$("$@" 2>&1); then check="every byte matches"; else check="MISMATCH: $(echo "$check" | tail -1)"; failed=1; fi
  grown=$(growth "$text") || failed=1
  read -r audio ran <<<"$(summary "$text")"
  held=$(awk -v a="$audio" -v r="$ran" 'BEGIN { printf "%.1f s of audio in %.1f s (%.1f%%)", a, r, (r > 0 ? 100 * a / r : 0) }')
  # The audio must keep up with the clock: at least the time it ran less 1 s.
  awk -v a="$audio" -v r="$ran" 'BEGIN { exit !(a >= r - 1) }' || { held="$held BEHIND"; failed=1; }
  printf '%-9s %s; %s; %s\n' "$name" "$check" "$held" "$grown"
}
check_pattern() {
  python3 - "$1" <<'PY'
import struct, sys
M = (1 << 64) - 1
def word(i):
    z = (i + 0x9E3779B97F4A7C15) & M
    z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M
    z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M
    return z ^ (z >> 31)
with open(sys.argv[1], 'rb') as f:
    head = f.read(12)
    size = None
    while size is None:
        name, n = struct.unpack('<4sI', f.read(8))
        if name == b'ds64':
            body = f.read(n); ds64 = struct.unpack_from('<Q', body, 8)[0]
        elif name == b'data':
            size = ds64 if head[:4] == b'RF64' and n == 0xFFFFFFFF else n
        else:
            f.seek(n + (n & 1), 1)
    position = 0
    while position < size:
        piece = f.read(min(1 << 20, size - position))
        if not piece:
            break
        words = b''.join(word(i).to_bytes(8, 'little') for i in range(position // 8, (position + len(piece)) // 8 + 2))
        expected = words[position % 8:position % 8 + len(piece)]
        if piece != expected:
            first = next(i for i in range(len(piece)) if piece[i] != expected[i])
            sys.exit(f'byte {position + first} differs from the pattern')
        position += len(piece)
    print(f'{position} bytes match the pattern')
PY
}
report IPC ipc.txt check_pattern ipc.wav
report ASIO asio.txt run ./vxhost.exe verify asio.wav
report loopback loopback.txt python3 "$ROOT/scripts/check_loopback_wav.py" loopback.wav 1
exit $failed
