#!/usr/bin/env bash
# Signs setup.exe with Authenticode (osslsigncode, SHA-256).
#
#   scripts/sign.sh IN.exe OUT.exe
#
# The key, from a PKCS#12 file:
#   PATHWARDEN_SIGN_PFX            the .pfx/.p12 file: key and certificate chain
#   PATHWARDEN_SIGN_PASSWORD_FILE  a file holding its password (a final newline
#                                  is dropped), or
#   PATHWARDEN_SIGN_PASSWORD       the password itself
# or from a PKCS#11 token (smart card, HSM):
#   PATHWARDEN_SIGN_PKCS11_MODULE  the token's PKCS#11 module (.so)
#   PATHWARDEN_SIGN_PKCS11_KEY     the key on the token: its id or a pkcs11: URI
#   PATHWARDEN_SIGN_CERTS          the certificate chain of that key (PEM or DER)
#   PATHWARDEN_SIGN_PKCS11_ENGINE  the OpenSSL engine for PKCS#11, when not the
#                                  default one (Debian: libengine-pkcs11-openssl)
#   the token's PIN is PATHWARDEN_SIGN_PASSWORD(_FILE), as for a PFX file.
# Optional:
#   PATHWARDEN_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server (network):
#                                  keeps the signature valid after the
#                                  certificate expires. Release builds want one.
#   PATHWARDEN_SIGN_URL            the URL shown with the signature
#
# Passwords reach osslsigncode through a pipe (-readpass), never on a command
# line, where other users could read them.
# OUT is written whole or not at all. The unsigned bytes stay as they were:
# signing appends the signature and fills in the header's checksum and
# certificate-table entry.
set -euo pipefail

die() {
  echo "sign.sh: $*" >&2
  exit 1
}

[ $# -eq 2 ] || die "usage: sign.sh IN.exe OUT.exe"
in=$1
out=$2
[ -f "$in" ] || die "no such image: $in"
command -v osslsigncode >/dev/null || die "osslsigncode is not installed (bash scripts/deps.sh)"

args=(sign -h sha256 -n "Pathwarden Setup")
[ -z "${PATHWARDEN_SIGN_URL:-}" ] || args+=(-i "$PATHWARDEN_SIGN_URL")

if [ -n "${PATHWARDEN_SIGN_PFX:-}" ]; then
  [ -z "${PATHWARDEN_SIGN_PKCS11_MODULE:-}" ] ||
    die "PATHWARDEN_SIGN_PFX and PATHWARDEN_SIGN_PKCS11_MODULE are both set: choose one key"
  [ -f "$PATHWARDEN_SIGN_PFX" ] || die "PATHWARDEN_SIGN_PFX: no such file: $PATHWARDEN_SIGN_PFX"
  args+=(-pkcs12 "$PATHWARDEN_SIGN_PFX")
elif [ -n "${PATHWARDEN_SIGN_PKCS11_MODULE:-}" ]; then
  [ -n "${PATHWARDEN_SIGN_PKCS11_KEY:-}" ] || die "PATHWARDEN_SIGN_PKCS11_KEY is not set"
  [ -n "${PATHWARDEN_SIGN_CERTS:-}" ] || die "PATHWARDEN_SIGN_CERTS is not set"
  args+=(-pkcs11module "$PATHWARDEN_SIGN_PKCS11_MODULE" -key "$PATHWARDEN_SIGN_PKCS11_KEY"
    -certs "$PATHWARDEN_SIGN_CERTS")
  [ -z "${PATHWARDEN_SIGN_PKCS11_ENGINE:-}" ] || args+=(-pkcs11engine "$PATHWARDEN_SIGN_PKCS11_ENGINE")
else
  die "no key: set PATHWARDEN_SIGN_PFX, or PATHWARDEN_SIGN_PKCS11_MODULE with PATHWARDEN_SIGN_PKCS11_KEY and PATHWARDEN_SIGN_CERTS"
fi
[ -z "${PATHWARDEN_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$PATHWARDEN_SIGN_TIMESTAMP_URL")

password() {
  if [ -n "${PATHWARDEN_SIGN_PASSWORD_FILE:-}" ]; then
    printf '%s' "$(cat -- "$PATHWARDEN_SIGN_PASSWORD_FILE")"  # without its final newline
  else
    printf '%s' "${PATHWARDEN_SIGN_PASSWORD:-}"
  fi
}

partial="$out.partial"
rm -f -- "$partial"
trap 'rm -f -- "$partial" "$partial.log"' EXIT
if ! osslsigncode "${args[@]}" -readpass <(password) -in "$in" -out "$partial" >"$partial.log" 2>&1; then
  cat -- "$partial.log" >&2
  rm -f -- "$partial.log"
  die "signing failed"
fi
rm -f -- "$partial.log"
mv -f -- "$partial" "$out"
trap - EXIT
echo "signed: $out"
