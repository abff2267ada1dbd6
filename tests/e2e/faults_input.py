"""Fault cases under Wine about what setup reads: config.ini through the real
profile reader, registry values of other types, and installer names that
must be refused."""
from faults_common import *  # noqa: F401,F403


def input_cases(s, args):
    """Configuration files through the real profile reader; registry values of
    other types, written with the real registry."""
    wine = s.wine
    wine.reg_clear()
    keys = "[FL]\nversion=1.2.4\nfile=inst.exe\n[driver]\nversion=2.0.1\n"
    utf16 = "\ufeff" + keys.replace("\n", "\r\n")
    config_cases = [
        ("empty config", "", 0, 0),
        ("binary garbage config", bytes((i * 7919 + 13) % 256 for i in range(4096)), 0, 0),
        ("UTF-16 config", utf16.encode("utf-16-le"), 124, 201),
        ("UTF-16 version in fullwidth digits (no exact form)",
         "\ufeff[FL]\r\nversion=\uff19\r\n[driver]\r\nversion=2\r\n".encode("utf-16-le"), 0, 2),
        ("10 MB config with the keys at its end", "[x]\n" + ";" * (10 << 20) + "\n" + keys, 124, 201),
        ("lines of 100000 characters", "[FL]\nx=" + "x" * 100000 + "\n" + keys[5:], 124, 201),
        ("version of 300 characters", "[FL]\nversion=" + "1" * 300 + "\n", None, 0),
        ("duplicate sections and keys", "[FL]\nversion=1.0\nversion=9.9\n[driver]\nversion=2\n[FL]\nversion=8\n",
         10, 2),
        ("joined digits at 2^31", "[FL]\nversion=2.147.483.648\n", -2147483648, 0),
        ("joined digits at 2^32", "[FL]\nversion=4.294.967.296\n", 0, 0),
        ("leading letter", "[FL]\nversion=r2.0\n", 0, 0),
    ]
    ones = 0
    for _ in range(259):
        ones = (ones * 10 + 1) & 0xFFFFFFFF
    ones = ones - (1 << 32) if ones >= 1 << 31 else ones
    for name, config, fl, driver in config_cases:
        fl = ones if fl is None else fl
        _, got = lines_after_run(s, name, config)
        sound(name, got)
        check(name + ": versions read", got[3:5] == versions(0, fl, 0, driver), got[3:5])

    # Registry values of other types, written with the real registry.
    registry_cases = [
        ("DWORD value", ["/t", "REG_DWORD", "/d", "0x00375041"], 7),  # bytes "AP7\0"
        ("binary value without a terminating zero", ["/t", "REG_BINARY", "/d", "4150312e32"], 12),
        ("multi-string value", ["/t", "REG_MULTI_SZ", "/d", "AP1.5\\0AP9"], 15),
        ("expandable string value", ["/t", "REG_EXPAND_SZ", "/d", "AP7.7"], 77),
        ("empty value", ["/d", ""], 0),
    ]
    for name, data, fl in registry_cases:
        wine.reg_clear()
        wine.run("reg", "add", FERROLINK, "/v", "Version", *data, "/f", "/reg:32")
        _, got = lines_after_run(s, name, "[FL]\nversion=0\n")
        check(name + ": versions read", got[3:5] == versions(fl, 0, 0, 0), got[3:5])
    wine.reg_clear()


def unsafe_names(s, args):
    """Installer names that leave the package or name no plain file: refused."""
    for name, file_name, problem in [
            ("parent component", "..\\inst.exe", 'leaves the package folder ("..")'),
            ("absolute path", "C:\\windows\\notepad.exe", "carries a drive or stream"),
            ("UNC path", "\\\\server\\share\\x.exe", "is an absolute or UNC path"),
            ("empty name", "", "is empty"),
            ("reserved device name", "aux.exe", "names a reserved device"),
            ("name ending in a dot", "inst.exe.", "has a component that ends in a dot or a space")]:
        _, got = lines_after_run(s, name, "[FL]\nversion=9\nfile=%s\n" % file_name)
        check(name + ": refused in the log", len(got) == 9 and got[5] ==
              "CSetupDlg::InstallPackage - The installer file name <%s> %s. Quit installation..." % (
                  file_name, problem), got)
        check(name + ": nothing started", s.started(False) == [])
