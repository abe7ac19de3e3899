#!/usr/bin/env bash
# Waits for the build tree's wineserver to end, so the tests leave nothing running.
set -u
export WINEPREFIX=$1
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
"$wineserver" -k 2>/dev/null
"$wineserver" -w 2>/dev/null
exit 0
