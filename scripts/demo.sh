#!/usr/bin/env bash
# Builds everything and runs setup on the bundled demo package (demo/): the
# win64 setup.exe under Wine with a real registry and dialog manager, or with
# --posix the Linux build against the registry export. Prints the log and
# what the demo installer recorded.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=wine
[ "${1:-}" = "--posix" ] && mode=posix
bash scripts/deps.sh

out=$root/demo/out
rm -rf "$out"
mkdir -p "$out/package" "$out/tmp"
cp demo/package/config.ini "$out/package/"
record=$out/installer-record.txt

if [ "$mode" = posix ]; then
  cmake --preset posix >/dev/null
  cmake --build --preset posix --target setup >/dev/null
  cp build/posix/setup "$out/package/setup"
  cp demo/demo_installer.sh "$out/package/client-installer.exe"
  echo "Running the POSIX build: $out/package/setup"
  # Unelevated, copying into $out/tmp: root would count as elevated.
  TMPDIR=$out/tmp VELSETUP_ELEVATED=0 VELSETUP_REGISTRY=$root/demo/registry.reg PATHWARDEN_RECORD=$record \
    "$out/package/setup"
  echo "exit code: $?"
  log=$out/tmp/velsetup.log
else
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target setup demo_installer >/dev/null
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target setup >/dev/null
  cp build/win64/setup.exe "$out/package/setup.exe"
  cp build/win64/demo_installer.exe "$out/package/client-installer.exe"
  wine=$root/cmake/wine-run.sh
  # The dialog manager needs a display: start one if there is none.
  if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 199); do [ -e /tmp/.X$n-lock ] || break; done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
    export DISPLAY=":$n"
    for _ in $(seq 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.05; done
  fi
  # Wine's desktop process takes its display when a session starts: start
  # a session of our own on this display.
  "$wine" wineserver -k >/dev/null 2>&1 || true
  "$wine" wineserver -w >/dev/null 2>&1 || true
  "$wine" wineboot -i >/dev/null 2>&1 || true
  # The demo machine's registry: exactly the records in demo/registry.reg.
  for view in /reg:32 /reg:64; do "$wine" reg delete 'HKLM\SOFTWARE\Veltrano' /f $view >/dev/null 2>&1 || true; done
  "$wine" regedit /S "$("$wine" winepath -w "$root/demo/registry.reg")"
  temp=$("$wine" winepath -u "$("$wine" cmd /c 'echo %TEMP%' | tr -d '\r')")
  # Earlier runs' staging folders (in C:\windows\Temp) are cleared by setup itself.
  rm -rf "$temp/velsetup.log" "$temp/client-installer.exe"
  echo "Running the win64 setup.exe under Wine: $out/package/setup.exe"
  echo "(the shipped i686 build is build/win32/setup.exe, $(stat -c %s build/win32/setup.exe) bytes)"
  set +e
  PATHWARDEN_RECORD=$("$wine" winepath -w "$record") "$wine" "$out/package/setup.exe"
  echo "exit code: $?"
  set -e
  log=$temp/velsetup.log
fi

# The installer is started detached; give it a moment to record itself.
for _ in $(seq 100); do [ -s "$record" ] && break; sleep 0.05; done
echo
echo "---- $log"
cat "$log" 2>/dev/null | tr -d '\r' || echo "(no log)"
echo "---- the demo installer was started as:"
cat "$record" 2>/dev/null || echo "(not started)"
