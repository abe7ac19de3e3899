#!/usr/bin/env bash
# Runs a Windows program under Wine inside the build tree's own prefix.
# Usage: wine-run.sh PREFIX PROGRAM [ARGS...]; the program's exit code is passed through.
set -u
prefix=$1; shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$prefix/system.reg" ]; then
  "$(dirname "$0")/wine-prefix.sh" "$prefix" >&2 || exit 125
fi
# Start the prefix's wineserver and Wine's own services ourselves, detached
# from our output: started by the program, they would inherit its stdout
# and keep whoever reads it (CTest, a pipe) waiting until they exit. A
# server already running makes `wineserver` exit with 2 and we go on.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
if "$wineserver" -p3 </dev/null >/dev/null 2>&1; then
  "$wine" wineboot </dev/null >/dev/null 2>&1
fi
exec "$wine" "$@"
