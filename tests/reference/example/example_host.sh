#!/usr/bin/env bash
# usage: example_host.sh WORK_DIR
# The release package as a host developer gets it: writes it, unzips it, and
# builds sdk/example/vxlive_record.c with nothing but the unzipped sdk folder
# (the header also as C++). The example then runs from the unzipped host
# folder: it lists the sources and records the test ASIO driver, registered
# for the run, and vxhost verify checks the recording against the driver's
# signal.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work"
bash "$root/scripts/write_package.sh" "$work" >/dev/null
(cd "$work" && unzip -q VxLive-*-win64.zip)
pkg=$(echo "$work"/VxLive-*-win64)
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
x86_64-w64-mingw32-gcc -std=c11 -Wall -Wextra -Werror -municode -I "$pkg/sdk/include" \
  "$pkg/sdk/example/vxlive_record.c" -lole32 -o "$pkg/host/vxlive_record.exe" ||
  fail "the example does not build from the package"
printf '#include "VxLiveHost.h"\nint main() { return sizeof(VxLiveFormat) == 2860 ? 0 : 1; }\n' \
  >"$work/as_cpp.cpp"
x86_64-w64-mingw32-g++ -std=c++17 -Wall -Wextra -Werror -pedantic -fsyntax-only \
  -I "$pkg/sdk/include" "$work/as_cpp.cpp" || fail "the header does not compile as C++"
[ $failures -eq 0 ] || exit 1

run() { "$root/cmake/wine-run.sh" "$@"; }
export VXTESTASIO_ROOT=package-example
listed=$(run "$pkg/host/vxlive_record.exe" 2>&1) || fail "listing exited $?"
echo "$listed"
for source in "0  ASIO" "1  Loopback" "2  IPC"; do
  echo "$listed" | grep -q "^$source" || fail "\"$source\" not listed"
done
winepath_of() { echo "Z:$1" | tr / '\\'; }
regsvr() { run regsvr32 /s "$@" "$(winepath_of "$pkg/host/VxTestAsio.dll")"; }
regsvr || fail "the test driver did not register"
recorded=$(run "$pkg/host/vxlive_record.exe" 0 \
  "deviceid=%7B0B8E5D12-7C3A-4E6F-9D21-4A5B6C7D8E01%7D&samplerate=48000&channels=2&channelshift=0" \
  1 "$(winepath_of "$work/asio.wav")" 2>&1) || fail "recording exited $?"
regsvr /u || true
echo "$recorded"
echo "$recorded" | grep -q "^Format: tag 0x0001, 48000 Hz, 2 channels, 32 bits integer" ||
  fail "no 48 kHz 2-channel 32-bit format"
verified=$(run "$pkg/host/vxhost.exe" verify "$(winepath_of "$work/asio.wav")" 2>&1) ||
  fail "vxhost verify: $?"
echo "$verified"
[ $failures -eq 0 ] && rm -rf "$work"
[ $failures -eq 0 ]
