#!/usr/bin/env bash
# Runs the end-to-end benchmark of a win64 build tree under Wine, in a prefix
# of its own beside the tests' one, where end_to_end_inmemory.exe is told
# that it runs on Windows NT 4.0. Prints the ProfileApi line, then the
# InMemory line.
# Usage: run-end-to-end.sh WIN64-BUILD-DIR (absolute)
set -eu
build=$1
source=$(cd "$(dirname "$0")/.." && pwd)
prefix=$build/bench-wineprefix
if [ ! -f "$prefix/.iniplugin-ready" ]; then
  "$source/cmake/wine-prefix.sh" "$prefix" end_to_end_inmemory.exe
fi
dll="Z:$build/module/IniPlugin.dll"
dll=${dll//\//\\}
status=0
"$source/cmake/wine-run.sh" "$prefix" "$build/bench/end_to_end_profileapi.exe" "$dll" profileapi || status=$?
if [ "$status" -eq 0 ]; then
  "$source/cmake/wine-run.sh" "$prefix" "$build/bench/end_to_end_inmemory.exe" "$dll" inmemory || status=$?
fi
"$source/cmake/wine-shutdown.sh" "$prefix"
exit "$status"
