#!/usr/bin/env bash
# usage: write_package.sh [OUT_DIR]
# Writes the release package from a finished Windows build ($WIN_BUILD):
# OUT_DIR/VxLive-<version>-win64.zip (OUT_DIR: dist/) with the plug-in, a
# ready host folder to try it with (reference host, tools and image
# libraries, producer, test ASIO driver, test endpoint), what a host developer
# builds against (sdk/include/VxLiveHost.h, C and C++; sdk/example, a host in
# C), an install text and SHA-256 sums of every file. The version is the one
# the plug-in registers and carries in its version resource. Needs Wine for
# "vxhost layout"; builds nothing.
set -euo pipefail
source "$(dirname "$0")/common.sh"
out=${1:-$ROOT/dist}
version=$(sed -n 's/^#define VX_LIVE_VERSION_TEXT "\(.*\)"$/\1/p' "$ROOT/live_Main/boundary/VxLiveVersion.h")
[ -n "$version" ] || { echo "package: no version in VxLiveVersion.h" >&2; exit 1; }
name=VxLive-$version-win64
staging=$(mktemp -d "${TMPDIR:-/tmp}/vxpackage.XXXXXX")
trap 'rm -rf "$staging"' EXIT
stage=$staging/$name
zip_path=$out/$name.zip
mkdir -p "$stage/sdk/include" "$stage/sdk/example" "$out"
rm -f "$zip_path"

cp "$WIN_BUILD/bin/VxLive.dll" "$stage/"
"$ROOT/cmake/wine-run.sh" "$WIN_BUILD/bin/vxhost.exe" layout "$stage/host" >/dev/null
# The build keeps debug information; the shipped files go without it.
find "$stage" -name '*.dll' -o -name '*.exe' | xargs x86_64-w64-mingw32-strip --strip-debug
cp "$ROOT/live_Main/boundary/contract/VxLiveHost.h" "$stage/sdk/include/"
cp "$ROOT/reference/example/vxlive_record.c" "$stage/sdk/example/"
sed "s/@VERSION@/$version/g" "$ROOT/scripts/package-install.txt" | sed 's/$/\r/' >"$stage/INSTALL.txt"
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
  xargs sha256sum >SHA256SUMS)
(cd "$staging" && TZ=UTC zip -q -r -X "$zip_path" "$name")
echo "Wrote $zip_path"
