# Runs in the guest while the image is built: makes the two Wine prefixes the
# tests use, a 64-bit one (32-bit programs run under WOW64) and a 32-bit one.
# 32-bit code runs only in the guest, whose kernel has IA32 emulation.
set -eu
export WINEDEBUG=-all
# No download prompts for the .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="
for arch in 64 32; do
  began=$(cut -d' ' -f1 /proc/uptime)
  prefix=/root/prefix$arch
  # Its exit code is not the prefix's state (it gives up waiting after
  # 300 s on a slow machine while the work goes on): the checks below are.
  WINEARCH=win$arch WINEPREFIX=$prefix wineboot -i || echo "wineboot said $?"
  # wineboot can return before its last child; the prefix is whole only once
  # the server has gone.
  WINEPREFIX=$prefix wineserver -w
  test -f "$prefix/system.reg"
  test -f "$prefix/drive_c/windows/system32/kernel32.dll"
  awk -v b="$began" -v a="$arch" '{ printf "prefix%s made in %.0f s\n", a, $1 - b }' /proc/uptime
done
test -f /root/prefix64/drive_c/windows/syswow64/kernel32.dll
test ! -d /root/prefix32/drive_c/windows/syswow64
echo prefixes-ok
