#!/usr/bin/env bash
# Creates (once) and prepares the Wine prefix that a build tree's tests run in.
# Usage: wine-prefix.sh PREFIX [PROGRAM-FOR-NT4 ...]
#   Each PROGRAM-FOR-NT4 (an .exe name) is told by Wine that it runs on
#   Windows NT 4.0; every other program sees Wine's default version.
# The prefix is never the user's ~/.wine.
set -eu
trap 'echo "wine-prefix.sh: \"$BASH_COMMAND\" failed" >&2' ERR
prefix=$1; shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

lock="$prefix.lock"
mkdir -p "$(dirname "$prefix")"
exec 9>"$lock"
flock 9

if [ ! -f "$prefix/.iniplugin-ready" ]; then
  rm -rf "$prefix"
  "$wine" wineboot -i >/dev/null 2>&1
  # No crash dialog: a crashing test must fail, not wait for a click.
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  touch "$prefix/.iniplugin-ready"
fi
for program in "$@"; do
  "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d nt40 /f >/dev/null 2>&1
done
# Keep one server, with Wine's own services, running for the whole test run,
# started here with no output to inherit: a service started by a test program
# would hold that program's output open until the server ends. The server
# ends a minute after the last program, or when the tests' cleanup stops it.
"$wineserver" -w
# A server that is still shutting down makes this one exit with 2; the
# wineboot below then starts a fresh one.
"$wineserver" -p60 </dev/null >/dev/null 2>&1 || true
"$wine" wineboot </dev/null >/dev/null 2>&1
