#!/usr/bin/env bash
# Builds the test guest under build/vm/: a raw ext4 image of Debian with its
# own kernel (IA32 emulation on, so 32-bit programs run), Wine's 64-bit and
# 32-bit halves, Xvfb, xdotool and python3, plus two Wine prefixes made by
# booting the guest once: /root/prefix64 (WOW64) and /root/prefix32
# (WINEARCH=win32). Everything comes from the machine's own apt sources, less
# the security suite (see "packages" below).
# Rebuilt only when this script, the package list or the guest's scripts
# change (a hash stamp beside the image). Needs root (debootstrap, chroot).
#   tests/vm/build-image.sh [--force]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=${PATHWARDEN_VM_DIR:-$repo/build/vm}
mkdir -p "$out"

inputs=("$here/build-image.sh" "$here/packages.txt" "$here/guest-init.sh" "$here/make-prefixes.sh"
  "$repo/scripts/apt_steps.sh")
stamp=$(cat "${inputs[@]}" | sha256sum | cut -c1-16)
if [ "${1:-}" != --force ] && [ -f "$out/image.raw" ] && [ -f "$out/vmlinux" ] &&
  [ "$(cat "$out/image.stamp" 2>/dev/null)" = "$stamp" ]; then
  echo "vm image up to date ($stamp)"
  exit 0
fi
[ "$(id -u)" -eq 0 ] || { echo "build-image.sh: debootstrap and chroot need root" >&2; exit 1; }
for tool in debootstrap mkfs.ext4 qemu-system-x86_64 x86_64-w64-mingw32-strip i686-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || { echo "build-image.sh: $tool is missing (bash scripts/deps.sh)" >&2; exit 1; }
done

root="$out/root"
began=$SECONDS
step() { echo "[$((SECONDS - began)) s] $*"; }
# The chroot's mounts come down on any exit, before anything is deleted.
unmount_all() {
  local m
  for m in "$root/proc" "$root/sys" "$root/dev/pts"; do
    mountpoint -q "$m" 2>/dev/null && umount -l "$m"
  done
  return 0
}
trap unmount_all EXIT
unmount_all
rm -rf "$root" "$out/image.raw" "$out/image.stamp" "$out/vmlinux" "$out/initrd.img"

# The machine's own archive and release.
. /etc/os-release
suite=${VERSION_CODENAME:?no release name in /etc/os-release}
mirror=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v security | head -n1)
[ -n "$mirror" ] || mirror=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' /etc/apt/sources.list 2>/dev/null |
  grep -v security | head -n1)
[ -n "$mirror" ] || { echo "build-image.sh: no Debian archive found in /etc/apt" >&2; exit 1; }

step "debootstrap $suite from $mirror"
nice debootstrap --variant=minbase --arch=amd64 "$suite" "$root" "$mirror" >"$out/debootstrap.log" 2>&1 ||
  { tail -n 30 "$out/debootstrap.log"; exit 1; }

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
in_root() { nice chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
# The machine's sources without the security suite. The guest is a test
# fixture that no one uses, and it needs Wine's 64-bit and 32-bit halves at
# one version (their multi-arch pairing): taken from one suite they are. The
# security suite gives no such promise across architectures, and its mirrors
# have served an i386 index out of step with its Release file for days, which
# left the guest unbuildable while the host, amd64 only, installed fine.
rm -f "$root/etc/apt/sources.list"
rm -rf "$root/etc/apt/sources.list.d"
mkdir -p "$root/etc/apt/sources.list.d"
# deb822 stanzas: one whose URIs name the security archive goes; a security
# suite listed beside others leaves its Suites line.
without_security() {
  awk -v RS= -v ORS='\n\n' -v FS='\n' '{
    kept = ""
    for (i = 1; i <= NF; i++) {
      line = $i
      if (line ~ /^URIs:.*security/) next
      if (line ~ /^Suites:/) { gsub(/ +[^ ]*-security/, "", line); if (line ~ /^Suites: *$/) next }
      kept = kept line "\n"
    }
    printf "%s\n", kept
  }' "$1"
}
[ ! -f /etc/apt/sources.list ] || grep -v security /etc/apt/sources.list >"$root/etc/apt/sources.list" || true
for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  case $f in
    *.sources) without_security "$f" >"$root/etc/apt/sources.list.d/${f##*/}" ;;
    *) grep -v security "$f" >"$root/etc/apt/sources.list.d/${f##*/}" || true ;;
  esac
done
# No services start in the chroot.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
# Only the modules that find the root disk go into the initramfs.
mkdir -p "$root/etc/initramfs-tools/conf.d"
echo MODULES=list >"$root/etc/initramfs-tools/conf.d/pathwarden.conf"
mkdir -p "$root/etc/initramfs-tools"
printf 'virtio_pci\nvirtio_blk\next4\n' >"$root/etc/initramfs-tools/modules"
# No documentation, manuals or translations on the image.
cat >"$root/etc/dpkg/dpkg.cfg.d/pathwarden-nodoc" <<'EOF'
path-exclude=/usr/share/doc/*
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
EOF

step "packages"
# shellcheck source=scripts/apt_steps.sh
. "$repo/scripts/apt_steps.sh"
in_root dpkg --add-architecture i386
packages=$(sed 's/#.*//' "$here/packages.txt" | tr -s ' \n' '  ')
# apt's own output goes to the log; a suite that failed to update, or a
# package that no suite offers, is named here.
apt_update in_root >"$out/packages.log"
# shellcheck disable=SC2086
apt_require in_root -- $packages || exit 1
# shellcheck disable=SC2086
apt_install in_root -- --no-install-recommends -o Dpkg::Options::=--force-confold $packages >>"$out/packages.log" 2>&1 ||
  { tail -n 40 "$out/packages.log"; exit 1; }
in_root apt-get clean
rm -rf "$root/var/lib/apt/lists/"*
# The Japanese locale for the code page 932 run.
echo 'ja_JP.UTF-8 UTF-8' >"$root/etc/locale.gen"
in_root locale-gen >/dev/null

step "stripping debug information from Wine (wineboot copies every DLL into each prefix)"
find "$root/usr/lib/x86_64-linux-gnu/wine/x86_64-windows" -type f \( -name '*.dll' -o -name '*.exe' -o -name '*.drv' \
  -o -name '*.sys' -o -name '*.ocx' -o -name '*.cpl' -o -name '*.acm' -o -name '*.ax' -o -name '*.ds' \) \
  -print0 | xargs -0 -r nice x86_64-w64-mingw32-strip --strip-debug
find "$root/usr/lib/i386-linux-gnu/wine/i386-windows" -type f \( -name '*.dll' -o -name '*.exe' -o -name '*.drv' \
  -o -name '*.sys' -o -name '*.ocx' -o -name '*.cpl' -o -name '*.acm' -o -name '*.ax' -o -name '*.ds' \
  -o -name '*.vxd' -o -name '*.tlb' -o -name '*16' \) -print0 |
  xargs -0 -r nice i686-w64-mingw32-strip --strip-debug 2>/dev/null || true
find "$root/usr/lib/x86_64-linux-gnu/wine/x86_64-unix" "$root/usr/lib/i386-linux-gnu/wine/i386-unix" -type f -name '*.so' \
  -print0 | xargs -0 -r nice strip --strip-debug

# Debian puts the 32-bit DLLs under the i386 library folder, while the
# 64-bit Wine looks for them beside its own when it fills a WOW64 prefix's
# SysWOW64 folder (without them every 32-bit program there fails to load
# kernel32.dll): link them in.
for dll in "$root"/usr/lib/i386-linux-gnu/wine/i386-windows/*; do
  name=${dll##*/}
  [ -e "$root/usr/lib/x86_64-linux-gnu/wine/i386-windows/$name" ] ||
    ln -s "../../../i386-linux-gnu/wine/i386-windows/$name" "$root/usr/lib/x86_64-linux-gnu/wine/i386-windows/$name"
done

step "kernel"
cp "$here/guest-init.sh" "$root/sbin/pw-init"
chmod 755 "$root/sbin/pw-init"
vmlinuz=$(ls "$root"/boot/vmlinuz-* | sort -V | tail -n1)
initrd=$(ls "$root"/boot/initrd.img-* | sort -V | tail -n1)
cp "$initrd" "$out/initrd.img"
# The uncompressed kernel starts seconds sooner under emulation: the payload
# of the compressed image, booted through its PVH entry point.
python3 - "$vmlinuz" "$out/vmlinux" <<'EOF'
import lzma, sys, zlib
data = open(sys.argv[1], "rb").read()
kernel = None
for magic, unpack in ((b"\xfd7zXZ\x00", lambda d: lzma.LZMADecompressor().decompress(d)),
                      (b"\x1f\x8b\x08", lambda d: zlib.decompressobj(31).decompress(d))):
    at = data.find(magic)
    while at >= 0 and kernel is None:
        try:
            out = unpack(data[at:])
            if out[:4] == b"\x7fELF":
                kernel = out
        except Exception:
            pass
        at = data.find(magic, at + 1)
if kernel is None:
    sys.exit("no ELF kernel found inside " + sys.argv[1])
open(sys.argv[2], "wb").write(kernel)
EOF
rm -f "$root"/boot/initrd.img-* "$root"/boot/vmlinuz-*
unmount_all

step "file system image"
size_mb=$(( $(du -sm "$root" | cut -f1) + 3072 ))
nice mkfs.ext4 -q -F -L pathwarden-vm -d "$root" "$out/image.tmp" "${size_mb}M"
rm -rf "$root"

step "first boot: the Wine prefixes"
share=$(mktemp -d "$out/share.XXXXXX")
cp "$here/make-prefixes.sh" "$share/command.sh"
if ! PATHWARDEN_VM_IMAGE="$out/image.tmp" bash "$here/run.sh" --writable --limit 1500 "$share"; then
  echo "build-image.sh: making the prefixes failed; the guest said:" >&2
  tail -n 30 "$share/out/command.log" "$share/out/console.log" >&2 2>/dev/null
  exit 1
fi
cat "$share/out/command.log"
rm -rf "$share"
e2fsck -fn "$out/image.tmp" >/dev/null 2>&1 || { echo "build-image.sh: the image was left unclean" >&2; exit 1; }
mv "$out/image.tmp" "$out/image.raw"
echo "$stamp" >"$out/image.stamp"
step "vm image built: $(du -h "$out/image.raw" | cut -f1) used of $(du -h --apparent-size "$out/image.raw" | cut -f1)"
