#!/usr/bin/env bash
# A Wine prefix that belongs to one test program: made anew before each run,
# so that whatever the program finds there it put there itself, and removed
# (its server stopped first) after the run.
# Usage: wine-fresh-prefix.sh create PREFIX | wine-fresh-prefix.sh remove PREFIX
set -eu
here=$(dirname "$0")
action=${1-}
prefix=${2-}
case "$action" in
  create)
    "$here/wine-shutdown.sh" "$prefix"
    rm -rf "$prefix"
    exec "$here/wine-prefix.sh" "$prefix"
    ;;
  remove)
    "$here/wine-shutdown.sh" "$prefix"
    rm -rf "$prefix" "$prefix.lock"
    ;;
  *)
    echo "usage: wine-fresh-prefix.sh create|remove PREFIX" >&2
    exit 2
    ;;
esac
