#!/usr/bin/env bash
# usage: rf64.sh WINE_RUN VXHOST_EXE DIR
# Recordings past the 32-bit sizes, with the threshold lowered so that 2 MB
# are enough: vxhost records the producer's byte pattern once as plain WAV and
# once told to turn RF64 after 100000 bytes. Readers nobody here wrote
# (libsndfile's sndfile-info and sox) must read the second as RF64 with the
# true sizes, sox must give the same samples from both, and vxhost verify must
# read it in pieces.
set -u
wine_run=$1 vxhost=$2 dir=$3
rm -rf "$dir"
mkdir -p "$dir"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
win() { echo "Z:$1" | tr / '\\'; }
producer="--pattern --rate 48000 --channels 6 --bits 24 --bytes 2880000 --message-bytes 14400"
"$wine_run" "$vxhost" record "$(win "$dir/plain.wav")" --quiet --streaming --producer "$producer" \
  >"$dir/plain.txt" 2>&1 || fail "the plain recording: $(cat "$dir/plain.txt")"
VXHOST_RF64_AFTER=100000 "$wine_run" "$vxhost" record "$(win "$dir/rf64.wav")" --quiet \
  --streaming --producer "$producer" >"$dir/rf64.txt" 2>&1 ||
  fail "the RF64 recording: $(cat "$dir/rf64.txt")"
grep -q "(2880000 data bytes, RF64)" "$dir/rf64.txt" || fail "no RF64 in: $(tail -1 "$dir/rf64.txt")"
grep -q "(2880000 data bytes)" "$dir/plain.txt" || fail "plain: $(tail -1 "$dir/plain.txt")"

[ "$(head -c 4 "$dir/rf64.wav")" = RF64 ] || fail "the file does not start with RF64"
[ "$(head -c 4 "$dir/plain.wav")" = RIFF ] || fail "the plain file does not start with RIFF"
info=$(sndfile-info "$dir/rf64.wav" 2>&1)
for line in "ds64 : 28" "Data size : 2880000" "Frames    : 160000" "Channels      : 6"; do
  echo "$info" | grep -q "$line" || fail "sndfile-info: no \"$line\" in: $info"
done
[ "$(sox --i -s "$dir/rf64.wav" 2>/dev/null)" = 160000 ] || fail "sox counts $(sox --i -s "$dir/rf64.wav")"
sox -V1 "$dir/plain.wav" -t raw "$dir/plain.raw" && sox -V1 "$dir/rf64.wav" -t raw "$dir/rf64.raw"
cmp -s "$dir/plain.raw" "$dir/rf64.raw" || fail "sox reads other samples from the RF64 file"
[ "$(stat -c %s "$dir/rf64.raw")" = 2880000 ] || fail "sox read $(stat -c %s "$dir/rf64.raw") bytes"
# verify reads the whole data chunk (the pattern is not the driver's signal).
"$wine_run" "$vxhost" verify "$(win "$dir/rf64.wav")" 2>&1 | grep -q " 160000 frames, " ||
  fail "vxhost verify did not read 160000 frames"
[ $failures -eq 0 ] && rm -rf "$dir"
[ $failures -eq 0 ]
