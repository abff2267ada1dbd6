#!/usr/bin/env python3
"""Signing setup.exe with a throwaway certificate (made here with openssl, no
network): scripts/sign.sh signs with a PFX file and its password, and with
the key on a PKCS#11 token (SoftHSM, its store in WORK_DIR); osslsigncode
verify accepts the signature when the throwaway CA is trusted, and refuses it
under another CA; pe_check.py still passes on the signed image; the unsigned
bytes are unchanged under the signature; the signed zip holds the signed
image; a wrong password or no key leaves no output.

Usage: sign_check.py SOURCE_DIR BUILD_DIR WORK_DIR
WORK_DIR is made for the run and removed afterwards, whatever happens.
Prints one line per check and 'N passed, N failed'."""
import os
import shutil
import struct
import subprocess
import sys
import zipfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report

PASSWORD = "throwaway password"


def run(args, env=None, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, check=False,
                          env=dict(os.environ, **(env or {})), **kwargs)


def make_certificates(work):
    """A CA and a code-signing certificate it issued; the PFX holds the key,
    the certificate and the CA. Returns (pfx, ca certificate)."""
    ca_key, ca_crt = os.path.join(work, "ca.key"), os.path.join(work, "ca.crt")
    key, csr, crt = (os.path.join(work, n) for n in ("signer.key", "signer.csr", "signer.crt"))
    ext = os.path.join(work, "signer.ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                "extendedKeyUsage=codeSigning\n")
    pfx = os.path.join(work, "signer.pfx")
    steps = [
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", ca_key, "-out", ca_crt,
         "-days", "2", "-subj", "/CN=Pathwarden throwaway CA",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"],
        ["openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
         "-subj", "/CN=Pathwarden throwaway signer"],
        ["openssl", "x509", "-req", "-in", csr, "-CA", ca_crt, "-CAkey", ca_key, "-CAcreateserial",
         "-days", "2", "-extfile", ext, "-out", crt],
        ["openssl", "pkcs12", "-export", "-inkey", key, "-in", crt, "-certfile", ca_crt,
         "-passout", "pass:" + PASSWORD, "-out", pfx],
    ]
    for args in steps:
        p = run(args)
        if p.returncode != 0:
            raise RuntimeError(" ".join(args) + ": " + p.stderr)
    return pfx, ca_crt


SOFTHSM_MODULE = "/usr/lib/softhsm/libsofthsm2.so"


def make_token(work, pin):
    """A SoftHSM token of the run's own (its store in WORK_DIR) holding the
    signer's key. Returns the environment that finds it."""
    store = os.path.join(work, "tokens")
    os.makedirs(store)
    conf = os.path.join(work, "softhsm2.conf")
    with open(conf, "w") as f:
        f.write("directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n" % store)
    env = {"SOFTHSM2_CONF": conf}
    p8 = os.path.join(work, "signer.p8")
    for args in (["softhsm2-util", "--init-token", "--free", "--label", "pathwarden", "--pin", pin,
                  "--so-pin", pin + "0"],
                 ["openssl", "pkcs8", "-topk8", "-nocrypt", "-in", os.path.join(work, "signer.key"), "-out", p8],
                 ["softhsm2-util", "--import", p8, "--token", "pathwarden", "--label", "signer", "--id", "01",
                  "--pin", pin]):
        p = run(args, env=env)
        if p.returncode != 0:
            raise RuntimeError(" ".join(args) + ": " + p.stdout + p.stderr)
    with open(os.path.join(work, "chain.pem"), "w") as f:
        for name in ("signer.crt", "ca.crt"):
            f.write(open(os.path.join(work, name)).read())
    return env


def other_ca(work):
    crt = os.path.join(work, "other-ca.crt")
    p = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", os.path.join(work, "other.key"),
             "-out", crt, "-days", "2", "-subj", "/CN=Another CA"])
    if p.returncode != 0:
        raise RuntimeError(p.stderr)
    return crt


def unsigned_bytes_kept(original, signed_path):
    """Everything of the unsigned image is in the signed one at the same
    place, but for the header's checksum and certificate-table entry; after
    it come only zero padding to 8 bytes and the certificate table, which
    runs to the end. Returns a list of problems."""
    signed = open(signed_path, "rb").read()
    pe = pefile.PE(signed_path, fast_load=True)
    checksum_at = pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    security_at = security.get_file_offset()
    table, table_size = security.VirtualAddress, security.Size  # a file offset for this entry
    problems = []
    allowed = set(range(checksum_at, checksum_at + 4)) | set(range(security_at, security_at + 8))
    changed = [i for i in range(min(len(original), len(signed))) if original[i] != signed[i] and i not in allowed]
    if changed:
        problems.append("%d bytes of the unsigned image changed, the first at offset %d" % (len(changed), changed[0]))
    if table < len(original) or table != (len(original) + 7) // 8 * 8:
        problems.append("certificate table at %d, the unsigned image is %d bytes" % (table, len(original)))
    elif signed[len(original):table] != b"\0" * (table - len(original)):
        problems.append("padding before the certificate table is not zero")
    if table + table_size != len(signed):
        problems.append("certificate table of %d bytes at %d does not end the %d-byte file" %
                        (table_size, table, len(signed)))
    if struct.unpack_from("<I", signed, checksum_at)[0] != pe.generate_checksum():
        problems.append("the header's checksum does not match the signed file")
    return problems


def main(source, build, work):
    if os.path.exists(work):
        shutil.rmtree(work)
    os.makedirs(work)
    sign_sh = os.path.join(source, "scripts", "sign.sh")
    image = os.path.join(build, "setup.exe")
    try:
        pfx, ca = make_certificates(work)
        original = open(image, "rb").read()
        signed = os.path.join(work, "setup.exe")
        key = {"PATHWARDEN_SIGN_PFX": pfx, "PATHWARDEN_SIGN_PASSWORD": PASSWORD, "PATHWARDEN_SIGN_PASSWORD_FILE": "",
               "PATHWARDEN_SIGN_PKCS11_MODULE": "", "PATHWARDEN_SIGN_TIMESTAMP_URL": ""}
        p = run([sign_sh, image, signed], env=key)
        check("sign.sh signs with a PFX file and its password", p.returncode == 0 and os.path.exists(signed),
              p.stdout + p.stderr)
        if not os.path.exists(signed):
            return 1
        check("the built image is left as it was", open(image, "rb").read() == original)

        p = run(["osslsigncode", "verify", "-CAfile", ca, "-in", signed])
        print(p.stdout.strip())
        check("osslsigncode verify accepts the signature under the throwaway CA",
              p.returncode == 0 and "Signature verification: ok" in p.stdout, p.stdout + p.stderr)
        p = run(["osslsigncode", "verify", "-CAfile", other_ca(work), "-in", signed])
        check("osslsigncode verify refuses it under another CA", p.returncode != 0, p.stdout)
        p = run(["osslsigncode", "verify", "-CAfile", ca, "-in", image])
        check("osslsigncode verify refuses the unsigned image", p.returncode != 0, p.stdout)

        p = run([sys.executable, os.path.join(source, "tests", "packaging", "pe_check.py"), signed, "i386"])
        check("pe_check.py passes on the signed image", p.returncode == 0, p.stdout[-3000:] + p.stderr)

        problems = unsigned_bytes_kept(original, signed)
        check("the unsigned bytes are unchanged under the signature (all but checksum and security entry)",
              not problems, "; ".join(problems))
        removed = os.path.join(work, "removed.exe")
        p = run(["osslsigncode", "remove-signature", "-in", signed, "-out", removed])
        check("osslsigncode remove-signature gives back the unsigned image exactly",
              p.returncode == 0 and open(removed, "rb").read() == original, p.stdout + p.stderr)

        # The packaging variant the sign target runs: the zip holds the signed image.
        out = os.path.join(work, "package")
        p = run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", out,
                 "-D", "CPACK_PATHWARDEN_SIGNED_IMAGE=" + signed])
        zips = [f for f in os.listdir(out) if f.endswith(".zip")] if os.path.isdir(out) else []
        check("cpack packs the signed image", p.returncode == 0 and len(zips) == 1, p.stdout + p.stderr)
        if len(zips) == 1:
            z = zipfile.ZipFile(os.path.join(out, zips[0]))
            exe = [n for n in z.namelist() if n.endswith("/setup.exe")]
            check("the signed zip's setup.exe is the signed image",
                  len(exe) == 1 and z.read(exe[0]) == open(signed, "rb").read(), exe)

        password_file = os.path.join(work, "password")
        with open(password_file, "w") as f:
            f.write(PASSWORD + "\n")
        from_file = os.path.join(work, "from-file.exe")
        p = run([sign_sh, image, from_file],
                env=dict(key, PATHWARDEN_SIGN_PASSWORD="", PATHWARDEN_SIGN_PASSWORD_FILE=password_file))
        check("sign.sh takes the password from a file ending in a newline", p.returncode == 0 and
              run(["osslsigncode", "verify", "-CAfile", ca, "-in", from_file]).returncode == 0, p.stderr)

        # The key on a PKCS#11 token, its PIN given as the password.
        token = dict(make_token(work, "4321"), PATHWARDEN_SIGN_PFX="", PATHWARDEN_SIGN_PASSWORD="4321",
                     PATHWARDEN_SIGN_PASSWORD_FILE="", PATHWARDEN_SIGN_PKCS11_MODULE=SOFTHSM_MODULE,
                     PATHWARDEN_SIGN_PKCS11_KEY="pkcs11:token=pathwarden;object=signer;type=private",
                     PATHWARDEN_SIGN_CERTS=os.path.join(work, "chain.pem"))
        from_token = os.path.join(work, "from-token.exe")
        p = run([sign_sh, image, from_token], env=token)
        check("sign.sh signs with a key on a PKCS#11 token", p.returncode == 0 and
              run(["osslsigncode", "verify", "-CAfile", ca, "-in", from_token]).returncode == 0, p.stderr)
        wrong_pin = os.path.join(work, "wrong-pin.exe")
        p = run([sign_sh, image, wrong_pin], env=dict(token, PATHWARDEN_SIGN_PASSWORD="1111"))
        check("a wrong PIN fails and leaves no file", p.returncode != 0 and
              not [f for f in os.listdir(work) if f.startswith("wrong-pin.exe")], p.stdout + p.stderr)

        # Faults: nothing half-written, and a message that says what is wrong.
        bad = os.path.join(work, "bad.exe")
        p = run([sign_sh, image, bad], env=dict(key, PATHWARDEN_SIGN_PASSWORD="wrong"))
        check("a wrong password fails and leaves no file", p.returncode != 0 and not [f for f in os.listdir(work) if f.startswith("bad.exe")],
              p.stdout + p.stderr)
        p = run([sign_sh, image, bad], env={"PATHWARDEN_SIGN_PFX": "", "PATHWARDEN_SIGN_PKCS11_MODULE": ""})
        check("no key fails and names the variables to set",
              p.returncode != 0 and "PATHWARDEN_SIGN_PFX" in p.stderr and not os.path.exists(bad), p.stderr)
        p = run([sign_sh, image, bad], env=dict(key, PATHWARDEN_SIGN_PKCS11_MODULE="/nonexistent.so"))
        check("two keys at once are refused", p.returncode != 0 and not os.path.exists(bad), p.stderr)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3]))
