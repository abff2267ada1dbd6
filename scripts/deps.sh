#!/usr/bin/env bash
# Installs what the build, the demo and the tests need from Debian's archive.
# Does nothing when everything is already there.
set -euo pipefail
packages=(
  cmake g++ make googletest python3 python3-pefile   # native build and tests
  mingw-w64 wine64 xvfb xdotool                        # Windows builds, run under Wine
  locales                                              # code page 932 runs under Wine
  clang-14 libclang-rt-14-dev                          # fuzzing with sanitizers
  hyperfine                                            # benchmarks
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Code page 932 under Wine needs the Japanese UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
  $sudo_cmd locale-gen >/dev/null
fi
