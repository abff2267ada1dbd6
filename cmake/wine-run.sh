#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix, quietly. The
# caller's WINEPREFIX is never used (the tests write the registry and would
# change the user's own Wine); PATHWARDEN_WINEPREFIX chooses another prefix
# on purpose.
WINEPREFIX="${PATHWARDEN_WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/win64/wineprefix}"
export WINEPREFIX
# Wine keeps its server's socket in a folder of TMPDIR whose name it writes
# into the prefix: one fixed folder beside the prefix, so that every program
# finds the same server whatever TMPDIR its caller set, and nothing lands in
# the caller's temporary directory.
TMPDIR="$WINEPREFIX-tmp"
export TMPDIR
mkdir -p "$TMPDIR"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# "wine-run.sh wineserver -k" and the like act on this prefix's server.
if [ "${1:-}" = wineserver ]; then
  shift
  exec wineserver "$@"
fi
# Start Wine's server and its background processes once, detached from our
# output: a test runner that reads our output would otherwise wait for them
# to exit. The server stays 30 s after the last program, so the many short
# runs of a test session share it.
if ! wineserver -k0 2>/dev/null; then
  wineserver -p30 </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
exec wine "$@"
