#!/bin/sh
# Wine in the guest, in the prefix the command file chose (WINEPREFIX), quietly.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "${1:-}" = wineserver ]; then
  shift
  exec wineserver "$@"
fi
# The server and Wine's background processes start detached from our output,
# which the test reads to its end. The server stays (the guest is thrown
# away), so that Wine's desktop process is not started anew for each run: under
# emulation that can take longer than programs wait for it.
if ! wineserver -k0 2>/dev/null; then
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
fi
exec wine "$@"
