#!/usr/bin/env bash
# One guest's cases in one boot of the test guest (ctest label "vm"):
#   tests/vm/vm_test.sh 64|32 SETUP.EXE INSTALLER.EXE WORKDIR CANARY.DLL CONTROL.EXE UNELEVATED.EXE HOLDER.EXE
# The 64-bit guest runs setup.exe as a 32-bit process on 64-bit Windows, the
# 32-bit guest on 32-bit Windows. setup.exe goes in unchanged. The guest's
# output and console stay in WORKDIR when a case fails. PATHWARDEN_VM_PARTS
# picks groups of cases (view_cases,whole_runs,code_page_932,unelevated_run,
# hostile; default all). CANARY.DLL is planted beside setup.exe as uxtheme.dll;
# CONTROL.EXE is a hidden dialog without the hardening that loads it;
# UNELEVATED.EXE starts a program with the limited token; HOLDER.EXE keeps
# Wine's desktop open from the first run to the last.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
guest=$1 setup=$2 installer=$3 work=$4 canary=$5 control=$6 unelevated=$7 holder=$8
rm -rf "$work"
mkdir -p "$work"
cp "$setup" "$work/setup.exe"
cp "$installer" "$work/demo_installer.exe"
cp "$canary" "$work/canary.dll"
cp "$control" "$work/control.exe"
cp "$unelevated" "$work/unelevated.exe"
cp "$holder" "$work/desktop_holder.exe"
# The guest's suite and the shared Wine support it imports, side by side.
cp "$repo/tests/e2e/winetest.py" "$repo/tests/e2e/wine_host.py" "$repo/tests/e2e/wine_log.py" \
   "$repo/tests/support/checks.py" "$here/vm_guest.py" "$here/vm_cases.py" "$here/guest-wine.sh" "$work/"
arch=win64
[ "$guest" = 32 ] && arch=win32
cat >"$work/command.sh" <<EOC
export WINEPREFIX=/root/prefix$guest WINEARCH=$arch HOME=/root
cd /mnt/share
python3 -u vm_cases.py --guest $guest --setup /mnt/share/setup.exe \\
  --setup-sha256 $(sha256sum "$setup" | cut -d' ' -f1) \\
  --installer /mnt/share/demo_installer.exe --canary /mnt/share/canary.dll --control /mnt/share/control.exe \\
  --unelevated /mnt/share/unelevated.exe --holder /mnt/share/desktop_holder.exe --wine /mnt/share/guest-wine.sh ${PATHWARDEN_VM_PARTS:+--parts $PATHWARDEN_VM_PARTS}
EOC
bash "$here/run.sh" --limit "${PATHWARDEN_VM_LIMIT:-1500}" "$work"
rc=$?
cat "$work/out/command.log" 2>/dev/null
if [ $rc -ne 0 ]; then
  echo "--- guest console (last lines; all of it in $work/out/console.log):"
  tail -n 30 "$work/out/console.log" 2>/dev/null
  echo "vm guest $guest: FAILED (exit code $rc)"
  exit 1
fi
rm -rf "$work"
