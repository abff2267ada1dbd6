"""What setup.exe writes, as the Wine suites and the test guest expect it: the
log's fixed lines and keys, and the reader that turns a log into its message
texts."""
import os
import re

RULE = "=" * 71
STAMP = re.compile(r"^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\t (.*)$")
BANNER = re.compile(r"^\d{4}/\d{2}/\d{2}\t\d{2}:\d{2}:\d{2}\tPathwarden Installer$")
FERROLINK = r"HKLM\SOFTWARE\Veltrano\Ferrolink"
PATHWARDEN = r"HKLM\SOFTWARE\Veltrano\Pathwarden"
INSTALLATION = r"HKLM\SOFTWARE\Veltrano\Veltrano Driver Installation"
MSM = r"HKLM\SOFTWARE\Veltrano\Veltrano Driver MSM"
START = "CSetupDlg::InstallPackage START"
# The lines every run opens with, after its banner.
HEAD = ["CSetupDlg::OnInitDialog", START]
END = "CSetupDlg::InstallPackage END"
FINISH = ["CSetupDlg::OnFinish START", "CSetupDlg::OnFinish END", END]
LATEST = "CSetupDlg::InstallPackage - Local FL or driver is already the latest. Quit installation..."
TOO_LONG = "CSetupDlg::InstallPackage - The path <%s> is too long. Quit installation..."
NO_FOLDER = ("CSetupDlg::InstallPackage - The path of the program itself is missing or longer than 259 characters. "
             "Quit installation...")
DIALOG_GONE = "CSetupDlg::OnInitDialog - The setup dialog could not be created, error <1400>. Quit installation..."
# The private folder an elevated run stages its copy in, below the system's
# temporary folder.
STAGED = r"pathwarden-[0-9a-f]{16}"
# A config.ini that setup must never read: it names evil.exe.
DECOY_CONFIG = "[FL]\r\nversion=9\r\nfile=evil.exe\r\n"


def versions(local_fl, config_fl, local_driver, config_driver):
    return ["CSetupDlg::InstallPackage nLocalFLVersion=<%d>, nConfigFLVersion=<%d>" % (local_fl, config_fl),
            "CSetupDlg::InstallPackage nLocalDriverVersion=<%d>, nConfigDriverVersion=<%d>"
            % (local_driver, config_driver)]


def known_wine_cause(new_lines):
    """The Wine cause a run's own log lines show, or None. Only causes that
    cannot happen on Windows belong here: a run that meets one may be
    repeated once, and says so; any other failure fails."""
    if DIALOG_GONE in new_lines:
        return "Wine's desktop was closing as the run began (error 1400)"
    return None


def log_lines(path):
    """The log's message texts, banners as 'BANNER'; None if there is no log."""
    if not os.path.exists(path):
        return None
    raw = open(path, "rb").read().decode("latin-1")
    lines = []
    for line in raw.split("\r\n"):
        if line in ("", RULE):
            continue
        if BANNER.match(line):
            lines.append("BANNER")
            continue
        m = STAMP.match(line)
        lines.append(m.group(1) if m else "UNEXPECTED: " + repr(line))
    return lines
