#!/usr/bin/env bash
# usage: picture.sh IN.wav OUT.png [TITLE]
# A picture of a recording: each channel's waveform (its lowest and highest
# sample in every column, on a time axis in seconds and a level axis in full
# scale) above a spectrogram (sox's spectrogram effect: frequency against
# time, the level in dBFS as colour; up to two channels each, more mixed into
# one). sox reads every WAV the reference host writes; gnuplot draws the
# waveforms and lays out the page. Both come from Debian's packages
# (scripts/setup.sh installs them).
set -euo pipefail
in=$1 out=$2 title=${3:-$(basename "$1")}
for tool in sox gnuplot awk; do
  command -v "$tool" >/dev/null || { echo "picture: $tool is not installed" >&2; exit 2; }
done
[ -r "$in" ] || { echo "picture: cannot read $in" >&2; exit 2; }
channels=$(sox --i -c "$in" 2>/dev/null)
seconds=$(sox --i -D "$in" 2>/dev/null)
rate=$(sox --i -r "$in" 2>/dev/null)
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vxpicture.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
width=1000
columns=800

# The envelope: per column the lowest and the highest sample of each channel.
sox -V1 "$in" -t dat - | awk -v cols="$columns" -v seconds="$seconds" -v ch="$channels" '
  /^;/ { next }
  {
    c = int($1 / seconds * cols); if (c >= cols) c = cols - 1
    for (i = 1; i <= ch; ++i) {
      v = $(i + 1)
      if (!((c, i) in lo) || v < lo[c, i]) lo[c, i] = v
      if (!((c, i) in hi) || v > hi[c, i]) hi[c, i] = v
    }
    if (c > last) last = c
  }
  END {
    for (c = 0; c <= last; ++c) {
      line = sprintf("%.6f", (c + 0.5) * seconds / cols)
      for (i = 1; i <= ch; ++i) line = line sprintf(" %.6f %.6f", lo[c, i], hi[c, i])
      print line
    }
  }' >"$tmp/envelope.dat"

spectrogram_channels=$channels
remix=()
if [ "$channels" -gt 2 ]; then
  remix=(remix -)
  spectrogram_channels=1
fi
spectrogram_height=$((spectrogram_channels * 180))
sox -V1 "$in" -n "${remix[@]}" spectrogram -x "$columns" -Y $((spectrogram_height + 60)) \
  -t "$title: spectrogram${remix:+ (channels mixed)}" -o "$tmp/spectrogram.png"
# The image's size from its header: big-endian width and height at byte 16.
read -r image_width image_height < <(od -An -tu1 -j16 -N8 "$tmp/spectrogram.png" |
  awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')

row=130
wave_height=$((channels * row + 80))
height=$((wave_height + image_height + 10))
{
  echo "set terminal pngcairo size $width,$height font 'sans,9' background '#ffffff'"
  echo "set output '$out'"
  echo "set multiplot"
  echo "set lmargin at screen 0.07; set rmargin at screen 0.97"
  echo "set xrange [0:$seconds]; set yrange [-1.05:1.05]; set ytics ('-1' -1, '0' 0, '1' 1)"
  echo "set grid xtics ytics lc rgb '#dddddd'"
  for ((i = 1; i <= channels; ++i)); do
    top=$(awk -v h="$height" -v y=$((30 + (i - 1) * row)) 'BEGIN { printf "%.5f", 1 - y / h }')
    bottom=$(awk -v h="$height" -v y=$((30 + i * row - 14)) 'BEGIN { printf "%.5f", 1 - y / h }')
    echo "set tmargin at screen $top; set bmargin at screen $bottom"
    [ "$i" = 1 ] && echo "set title '$title: $channels channel(s), $rate Hz, $seconds s'" || echo "unset title"
    if [ "$i" = "$channels" ]; then echo "set xlabel 'time (s)'; set format x '%g'"; else echo "unset xlabel; set format x ''"; fi
    echo "set ylabel 'ch $i (full scale)'"
    echo "plot '$tmp/envelope.dat' using 1:$((2 * i)):$((2 * i + 1)) with filledcurves lc rgb '#1f5fa8' notitle"
  done
  # The spectrogram as sox drew it, axes and colour scale included.
  top=$(awk -v h="$height" -v y=$((wave_height + 5)) 'BEGIN { printf "%.5f", 1 - y / h }')
  echo "unset title; unset xlabel; unset ylabel; unset grid; unset border; unset tics; unset key"
  echo "set lmargin at screen 0; set rmargin at screen $(awk -v w="$image_width" -v c="$width" 'BEGIN { printf "%.5f", (w < c ? w : c) / c }')"
  echo "set tmargin at screen $top; set bmargin at screen 0"
  echo "set xrange [0:$((image_width - 1))]; set yrange [0:$((image_height - 1))]"
  echo "plot '$tmp/spectrogram.png' binary filetype=png with rgbimage"
  echo "unset multiplot"
} >"$tmp/page.gp"
gnuplot "$tmp/page.gp"
echo "Wrote $out ($channels channel(s), $seconds s)"
