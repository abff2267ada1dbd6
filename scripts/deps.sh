#!/usr/bin/env bash
# Installs what the build, the demo and the tests need from Debian's archive.
# Does nothing when everything is already there.
set -euo pipefail
# Wine with its recommended libraries (its X driver loads several of them).
with_recommends=(wine wine64 fonts-wine xvfb xdotool)
plain=(
  cmake g++ make googletest python3 python3-pefile   # native build and tests
  mingw-w64                                          # Windows builds
  clang-format clang-tidy                            # the lint test
  locales                                            # code page 932 runs under Wine
  clang-14 libclang-rt-14-dev                        # fuzzing with sanitizers
  osslsigncode openssl                               # signing setup.exe, its test's certificate
  softhsm2 libengine-pkcs11-openssl                  # the signing test's PKCS#11 token
  qemu-system-x86 qemu-utils debootstrap e2fsprogs   # the test guest that runs the i686 build (tests/vm)
)
as_root=(env)
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
# shellcheck source=scripts/apt_steps.sh
. "$(dirname "$0")/apt_steps.sh"
missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
need_plain=$(missing "${plain[@]}")
need_wine=$(missing "${with_recommends[@]}")
if [ -n "$need_plain$need_wine" ]; then
  echo "Installing: $need_plain $need_wine" | tr '\n' ' '
  echo
  apt_update "${as_root[@]}"
  # shellcheck disable=SC2086
  apt_require "${as_root[@]}" -- $need_plain $need_wine
  # shellcheck disable=SC2086
  [ -z "$need_plain" ] || apt_install "${as_root[@]}" -- --no-install-recommends $need_plain >/dev/null
  # shellcheck disable=SC2086
  [ -z "$need_wine" ] || apt_install "${as_root[@]}" -- $need_wine >/dev/null
fi
# Code page 932 under Wine needs the Japanese UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  "${as_root[@]}" locale-gen >/dev/null
fi
