#!/usr/bin/env bash
# Runs a Windows program under Wine. The prefix defaults to <build>/wineprefix,
# where <build> is found by walking up from the program to its CMakeCache.txt.
set -u
if [ -z "${WINEPREFIX:-}" ]; then
  d=$(cd "$(dirname "$1")" && pwd)
  while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  export WINEPREFIX="$d/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec /usr/lib/wine/wine64 "$@"
