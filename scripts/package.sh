#!/usr/bin/env bash
# Builds the plug-in and the reference host and writes the release package
# dist/VxLive-<version>-win64.zip: the plug-in, a ready host folder to try it
# with (reference host, tools and image libraries, producer, test ASIO driver,
# test endpoint), an install text and SHA-256 sums of every file. The version
# is the one the plug-in registers and carries in its version resource.
set -euo pipefail
source "$(dirname "$0")/common.sh"
bash "$ROOT/scripts/setup.sh"
build_windows
start_wine

version=$(sed -n 's/^#define VX_LIVE_VERSION_TEXT "\(.*\)"$/\1/p' "$ROOT/live_Main/boundary/VxLiveVersion.h")
[ -n "$version" ] || { echo "package: no version in VxLiveVersion.h" >&2; exit 1; }
name=VxLive-$version-win64
stage=$ROOT/build/package/$name
zip_path=$ROOT/dist/$name.zip
rm -rf "$stage" "$zip_path"
mkdir -p "$stage" "$ROOT/dist"

cp "$WIN_BUILD/bin/VxLive.dll" "$stage/"
"$ROOT/cmake/wine-run.sh" "$WIN_BUILD/bin/vxhost.exe" layout "$stage/host" >/dev/null
# The build keeps debug information; the shipped files go without it.
find "$stage" -name '*.dll' -o -name '*.exe' | xargs x86_64-w64-mingw32-strip --strip-debug
sed "s/@VERSION@/$version/g" "$ROOT/scripts/package-install.txt" | sed 's/$/\r/' >"$stage/INSTALL.txt"
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
  xargs sha256sum >SHA256SUMS)
(cd "$ROOT/build/package" && TZ=UTC zip -q -r -X "$zip_path" "$name")
echo "Wrote $zip_path"
unzip -l "$zip_path"
