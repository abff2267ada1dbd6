#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix, quietly.
# WINEPREFIX may be set by the caller; by default it lives in the build tree.
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build/win64/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
