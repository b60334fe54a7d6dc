#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Run as root (or with sudo available). Skips the install when all is present.
set -euo pipefail
# VX_PREBUILT=1: the binaries exist and only run here (another platform's root).
[ -n "${VX_PREBUILT:-}" ] && exit 0
packages=(cmake ninja-build make clang clang-format libclang-rt-14-dev googletest
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine64 xvfb xauth x11-utils imagemagick python3 pulseaudio pulseaudio-utils zip unzip locales
  sox gnuplot-nox sndfile-programs)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
