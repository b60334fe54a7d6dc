#!/bin/sh
# usage: record_in_user_locale.sh WINE_RUN VXHOST OUTPUT_FOLDER
# Records one second from the producer through the IPC source in request/reply
# mode. Run under a user locale with a decimal comma (LC_ALL from the test's
# environment): the producer checks every reply byte for byte, so a reply that
# followed the locale would leave the file without audio.
set -u
wine_run=$1
vxhost=$2
folder=$3
mkdir -p "$folder"
out="Z:$folder/locale.wav"
rm -f "$folder/locale.wav"
echo "LC_ALL=${LC_ALL:-}"
"$wine_run" "$vxhost" record "$out" --quiet --producer "--sine --rate 48000 --channels 2 --bits 16 --duration 1"
rc=$?
if [ "$rc" -ne 0 ]; then
  echo "FAILED: vxhost record exited with $rc"
  exit 1
fi
# An 80-byte header (RIFF, a JUNK chunk held for a ds64 chunk, fmt, data)
# plus one second of 48 kHz 16-bit stereo.
size=$(wc -c <"$folder/locale.wav")
if [ "$size" -ne 192080 ]; then
  echo "FAILED: $out holds $size bytes, expected 192080"
  exit 1
fi
echo "recorded $size bytes"
