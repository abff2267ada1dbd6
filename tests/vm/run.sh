#!/usr/bin/env bash
# Boots the test guest built by tests/vm/build-image.sh and runs one command
# file in it:
#   tests/vm/run.sh [--writable] [--limit SECONDS] SHARE
# SHARE is a host folder shared over virtio-9p and mounted at /mnt/share in
# the guest; the guest runs SHARE/command.sh there as root and leaves
# SHARE/out/command.log (its output) and SHARE/out/status (its exit code);
# the guest's console goes to SHARE/out/console.log. The command gets SECONDS
# (default 600); the guest is killed if it has not powered off shortly after.
# Runs write to a copy-on-write overlay that is thrown away, so the cached
# image never changes (--writable is for the image build only).
# KVM is used when it boots the guest (PATHWARDEN_VM_ACCEL=kvm|tcg chooses);
# otherwise TCG. If no emulator can start, this fails and says why.
# Exit code: the command's own, or 100 + a reason when the guest failed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
vm=${PATHWARDEN_VM_DIR:-$repo/build/vm}
image=${PATHWARDEN_VM_IMAGE:-$vm/image.raw}
writable=0
limit=600
while [ $# -gt 1 ]; do
  case "$1" in
    --writable) writable=1; shift ;;
    --limit) limit=$2; shift 2 ;;
    *) break ;;
  esac
done
share=$(cd "${1:?usage: run.sh [--writable] [--limit SECONDS] SHARE}" && pwd)
fail() { echo "vm: FAILED: $*" >&2; exit "${code:-101}"; }
[ -f "$share/command.sh" ] || fail "no command.sh in $share"
for f in "$image" "$vm/vmlinux" "$vm/initrd.img"; do
  [ -f "$f" ] || fail "$f is missing: build the image with tests/vm/build-image.sh"
done
qemu=$(command -v qemu-system-x86_64) || fail "qemu-system-x86_64 is not installed (bash scripts/deps.sh)"
rm -rf "$share/out"
mkdir -p "$share/out"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/pathwarden-vm.XXXXXX")
qemu_pid=
cleanup() {
  [ -z "$qemu_pid" ] || kill -9 "$qemu_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ $writable = 1 ]; then
  drive="file=$image,format=raw"
else
  qemu-img create -q -f qcow2 -b "$image" -F raw "$scratch/overlay.qcow2" ||
    fail "could not make an overlay on $image"
  drive="file=$scratch/overlay.qcow2,format=qcow2"
fi

# One boot of the guest; $1 = tcg or kvm, $2 = host-side limit in seconds.
boot() {
  local accel=$1 cpu="max,-smap"
  # Under TCG, QEMU's SMAP emulation faults Wine's return to user mode.
  [ "$accel" = kvm ] && cpu=host
  : >"$share/out/console.log"
  nice "$qemu" -machine pc,accel="$accel" -cpu "$cpu" -smp 2 -m 2048 \
    -nodefaults -no-reboot -display none -monitor none -serial "file:$share/out/console.log" \
    -kernel "$vm/vmlinux" -initrd "$vm/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet mitigations=off init=/sbin/pw-init pw.limit=$limit" \
    -drive "$drive,if=virtio,cache=unsafe" \
    -fsdev "local,id=share,path=$share,security_model=none" -device virtio-9p-pci,fsdev=share,mount_tag=share \
    </dev/null >"$scratch/qemu.err" 2>&1 &
  qemu_pid=$!
  local waited=0
  while kill -0 "$qemu_pid" 2>/dev/null; do
    if [ $waited -ge "$2" ]; then
      kill -9 "$qemu_pid" 2>/dev/null
      wait "$qemu_pid" 2>/dev/null
      qemu_pid=
      return 124
    fi
    sleep 1
    waited=$((waited + 1))
  done
  wait "$qemu_pid"
  local rc=$?
  qemu_pid=
  return $rc
}

# KVM here may start and then fail to run the guest (some hosts' KVM needs a
# patched guest kernel): it counts only when a short boot reaches the init
# script. The answer is kept beside the image for this host kernel.
choose_accel() {
  if [ -n "${PATHWARDEN_VM_ACCEL:-}" ]; then
    echo "$PATHWARDEN_VM_ACCEL"
    return
  fi
  if [ ! -r /dev/kvm ] || [ ! -w /dev/kvm ]; then
    echo tcg
    return
  fi
  local key cache="$vm/accel"
  key="$(uname -r) $(cat "$vm/image.stamp" 2>/dev/null)"
  if [ -f "$cache" ] && [ "$(head -n1 "$cache")" = "$key" ]; then
    sed -n 2p "$cache"
    return
  fi
  local accel=tcg
  if boot kvm 20 >/dev/null 2>&1 && grep -q 'pw-init: up' "$share/out/console.log"; then
    accel=kvm
  fi
  printf '%s\n%s\n' "$key" "$accel" >"$cache"
  echo "$accel"
}

began=$SECONDS
if [ $writable = 1 ]; then
  accel=${PATHWARDEN_VM_ACCEL:-tcg}
else
  # The probe needs a command that does nothing.
  mv "$share/command.sh" "$scratch/command.sh"
  echo true >"$share/command.sh"
  accel=$(choose_accel)
  mv "$scratch/command.sh" "$share/command.sh"
  rm -rf "$share/out"
  qemu-img create -q -f qcow2 -b "$image" -F raw "$scratch/overlay.qcow2" ||
    fail "could not make an overlay on $image"
  mkdir -p "$share/out"
fi
echo "vm: booting with $accel, command limit $limit s"
boot "$accel" $((limit + 120))
rc=$?
elapsed=$((SECONDS - began))
if [ $rc = 124 ]; then
  code=124 fail "the guest did not power off within $((limit + 120)) s and was killed; console: $share/out/console.log"
fi
if [ $rc != 0 ]; then
  echo "--- qemu said:" >&2
  cat "$scratch/qemu.err" >&2
  code=102 fail "qemu ($accel) exited with $rc: the emulator could not run the guest"
fi
if [ ! -f "$share/out/status" ]; then
  echo "--- guest console (last lines):" >&2
  tail -n 40 "$share/out/console.log" >&2
  code=103 fail "the guest powered off without running the command"
fi
status=$(cat "$share/out/status")
echo "vm: command ended with $status; guest up and down in $elapsed s"
exit "$status"
