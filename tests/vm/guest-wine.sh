#!/bin/sh
# Wine in the guest, in the prefix the command file chose (WINEPREFIX), quietly.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "${1:-}" = wineserver ]; then
  shift
  exec wineserver "$@"
fi
# The server and Wine's background processes start detached from our output,
# which the test reads to its end; the server stays 30 s after the last run.
if ! wineserver -k0 2>/dev/null; then
  wineserver -p30 </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
exec wine "$@"
