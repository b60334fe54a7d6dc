#!/usr/bin/env bash
# usage: test-wine10.sh [tests|main|all]   (default: all)
#        test-wine10.sh run 'COMMAND'      (a command in the root, from this tree,
#                                           e.g. 'source scripts/common.sh && start_wine &&
#                                           cmake/wine-run.sh build/win/bin/X.exe')
# Wine 10 as a second platform: a Debian 13 root made with debootstrap from
# the Debian archive this machine uses (cached in build/wine10/root), with
# Wine 10, PulseAudio, Xvfb and what the tests and the main job need. The
# Windows build of this machine ($WIN_BUILD, built first when missing) runs
# there as it is: "tests" runs its test suite, "main" the main job (which
# includes the 20-second soak) without building anything. The root sees this
# tree at the same path and a Wine prefix of its own in place of the build
# tree's, in a mount namespace of this script only.
# Needs root (debootstrap, chroot, mount namespaces) and the archive. With
# VX_WINE10_IF_POSSIBLE=1 a machine that cannot make the root (no privilege
# for mount namespaces, no archive) is reported as SKIPPED and the script
# ends with 0; a test or main-job failure in the root still fails it.
set -euo pipefail
source "$(dirname "$0")/common.sh"
what=${1:-all}
cannot() {
  echo "test-wine10: $*" >&2
  if [ -n "${VX_WINE10_IF_POSSIBLE:-}" ]; then
    echo "test-wine10: SKIPPED: Wine 10 did not run on this machine" >&2
    exit 0
  fi
  exit 1
}
[ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null || cannot "needs root and mount namespaces"
base=$ROOT/build/wine10
root=$base/root
packages="wine wine64 xvfb xauth x11-utils pulseaudio pulseaudio-utils python3 sox gnuplot-nox
  sndfile-programs cmake ninja-build locales zip unzip procps g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64"

if [ ! -f "$root/.vx-ready" ]; then
  command -v debootstrap >/dev/null || {
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get install -y --no-install-recommends debootstrap >/dev/null ||
      cannot "debootstrap cannot be installed"
  }
  mirror=$(sed -n 's/^URIs: *\(http[^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources \
    2>/dev/null | head -1)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "== Making a Debian 13 root in $root from $mirror =="
  rm -rf "$root"
  mkdir -p "$base"
  debootstrap --variant=minbase --include=ca-certificates trixie "$root" "$mirror" \
    >"$base/debootstrap.log" 2>&1 || { tail -20 "$base/debootstrap.log"; cannot "debootstrap failed"; }
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  unshare -m bash -c "mount --make-rprivate / && mount -t proc proc '$root/proc' &&
    mount --rbind /dev '$root/dev' && mount --rbind /sys '$root/sys' &&
    chroot '$root' bash -c 'export DEBIAN_FRONTEND=noninteractive;
      apt-get update -qq && apt-get install -y -qq --no-install-recommends $(echo $packages)'" \
    >"$base/apt.log" 2>&1 || { tail -20 "$base/apt.log"; cannot "installing into the root failed"; }
  touch "$root/.vx-ready"
fi
[ -x "$WIN_BUILD/bin/vxhost.exe" ] || build_windows

# Runs a command in the root, with this tree at its own path and the Wine 10
# prefix where the build tree's prefix is (the host's Wine 8 prefix is left alone).
in_root() {
  mkdir -p "$base/prefix" "$root$ROOT" "$WIN_BUILD/wineprefix"
  unshare -m bash -c "set -e; mount --make-rprivate /
    mount -t proc proc '$root/proc'; mount --rbind /dev '$root/dev'; mount --rbind /sys '$root/sys'
    mount -t tmpfs tmpfs '$root/tmp'
    mkdir -p '$root$ROOT' '$root$WIN_BUILD/wineprefix'
    mount --bind '$ROOT' '$root$ROOT'; mount --bind '$base/prefix' '$root$WIN_BUILD/wineprefix'
    exec chroot '$root' env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME=/root TERM=dumb \
      WIN_BUILD='$WIN_BUILD' VX_PREBUILT=1 bash -c 'cd $ROOT && $1'"
}
if [ "$what" = run ]; then
  in_root "${2:?usage: test-wine10.sh run COMMAND}"
  exit
fi
echo "== Wine in the root: $(in_root 'wine --version 2>/dev/null') =="
if [ "$what" = tests ] || [ "$what" = all ]; then
  echo "== Windows tests under Wine 10 =="
  in_root 'source scripts/common.sh && start_wine && start_xvfb && cd "$WIN_BUILD" &&
    ctest --output-on-failure -j "$JOBS"'
fi
if [ "$what" = main ] || [ "$what" = all ]; then
  echo "== The main job under Wine 10 =="
  in_root "HOST_DIR=$base/host bash scripts/main.sh"
fi
