#!/usr/bin/env bash
# Runs a Windows program under Wine. The prefix defaults to <build>/wineprefix,
# where <build> is found by walking up from the program to its CMakeCache.txt;
# outside a build tree (a folder made by "vxhost layout") it is the program's
# own folder's wineprefix, as the folder's vxhost.sh launcher uses.
set -u
if [ -z "${WINEPREFIX:-}" ]; then
  d=$(cd "$(dirname "$1")" && pwd)
  program_dir=$d
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  [ "$d" = / ] && d=$program_dir
  export WINEPREFIX="$d/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec /usr/lib/wine/wine64 "$@"
