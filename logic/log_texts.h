// Every fixed text the program writes to velsetup.log, in one place. The
// install pass and both shells write them from here, the check tool reads
// logs by them, and the guide lists each one (tests/docs/guide_check.py
// reads this file). Administrators and their scripts search logs for these
// texts: never change one. Texts with a conversion are printf formats.
#ifndef PATHWARDEN_LOGIC_LOG_TEXTS_H_
#define PATHWARDEN_LOGIC_LOG_TEXTS_H_

#include <stddef.h>
#include <string.h>

namespace logic {
namespace log_text {

// The banner: local date, time and the product, tab-separated (strftime).
inline constexpr char kBanner[] = "%Y/%m/%d\t%H:%M:%S\tPathwarden Installer";
// A message line's time stamp (strftime); the message follows.
inline constexpr char kStamp[] = "%Y/%m/%d %H:%M:%S\t";
// The rule above and below the banner: 71 equals signs.
inline constexpr char kRule[] = "=======================================================================";
static_assert(sizeof(kRule) - 1 == 71, "the rule line is 71 equals signs");

// The dialog and the pass around it.
inline constexpr char kInitDialog[] = "CSetupDlg::OnInitDialog";
// An elevated run's lines when the log's own file cannot be trusted (someone
// else's, a link, a folder): the first line after the run's first message,
// in a file made new beside the log.
inline constexpr char kLogNotTrusted[] =
    "WriteLog - The log <%s> cannot be trusted, error <%u>: this run's lines are in this file.";
inline constexpr char kDialogFailed[] =
    "CSetupDlg::OnInitDialog - The setup dialog could not be created, error <%lu>. Quit installation...";
inline constexpr char kWorkerFailed[] =
    "CSetupDlg::OnInitDialog - Could not start the install worker, error <%u>. Quit installation...";
inline constexpr char kPassStart[] = "CSetupDlg::InstallPackage START";
inline constexpr char kPassEnd[] = "CSetupDlg::InstallPackage END";
inline constexpr char kFinishStart[] = "CSetupDlg::OnFinish START";
inline constexpr char kFinishEnd[] = "CSetupDlg::OnFinish END";

// The decision.
inline constexpr char kClientVersions[] = "CSetupDlg::InstallPackage nLocalFLVersion=<%d>, nConfigFLVersion=<%d>";
inline constexpr char kDriverVersions[] =
    "CSetupDlg::InstallPackage nLocalDriverVersion=<%d>, nConfigDriverVersion=<%d>";
inline constexpr char kAlreadyLatest[] =
    "CSetupDlg::InstallPackage - Local FL or driver is already the latest. Quit installation...";

// Where the pass stops before copying. Every stop of the pass begins with
// kStopPrefix; those that end it end with kQuitSuffix.
inline constexpr char kStopPrefix[] = "CSetupDlg::InstallPackage - ";
inline constexpr char kQuitSuffix[] = ". Quit installation...";
inline constexpr char kOwnPathNotExact[] =
    "CSetupDlg::InstallPackage - The path of the program itself has no exact form in the system's code page. "
    "Quit installation...";
inline constexpr char kOwnPathMissing[] =
    "CSetupDlg::InstallPackage - The path of the program itself is missing or longer than 259 characters. "
    "Quit installation...";
inline constexpr char kPathTooLong[] = "CSetupDlg::InstallPackage - The path <%s> is too long. Quit installation...";
inline constexpr char kNoTempDirectory[] = "CSetupDlg::InstallPackage - No temporary directory. Quit installation...";
inline constexpr char kNameRefused[] =
    "CSetupDlg::InstallPackage - The installer file name <%s> %s. Quit installation...";

// Why an installer name is refused (the second conversion of kNameRefused).
inline constexpr char kNameNotExact[] = "has no exact form in the system's code page";
inline constexpr char kNameEmpty[] = "is empty";
inline constexpr char kNameAbsolute[] = "is an absolute or UNC path";
inline constexpr char kNameDrive[] = "carries a drive or stream";
inline constexpr char kNameLeaves[] = "leaves the package folder (\"..\")";
inline constexpr char kNameDotOrSpace[] = "has a component that ends in a dot or a space";
inline constexpr char kNameDevice[] = "names a reserved device";

// The private folder of elevated runs.
inline constexpr char kNoSystemTemp[] =
    "CSetupDlg::InstallPackage - No usable system temporary directory for the private folder. Quit installation...";
inline constexpr char kNoAccessLists[] =
    "CSetupDlg::InstallPackage - The file system of <%s> keeps no access lists: no private folder can be made there. "
    "Quit installation...";
inline constexpr char kPrivateFolderFailed[] =
    "CSetupDlg::InstallPackage - Could not create the private folder <%s>, error <%u>. Quit installation...";
inline constexpr char kNotAdministratorsOwner[] =
    "CSetupDlg::InstallPackage - The system did not make the administrators the owner of <%s>: it belongs to the "
    "running account.";
inline constexpr char kEarlierFolders[] =
    "CSetupDlg::InstallPackage - Earlier private folders in %s: %d removed, %d in use kept, %d not ours left alone.";

// The copy and the start.
inline constexpr char kAlreadyInTemp[] =
    "CSetupDlg::InstallPackage - The installer is already in the temporary directory: <%s>. Opening it there.";
inline constexpr char kCopyFile[] = "CopyFile from %s to %s";
inline constexpr char kCopyFailed[] = "CSetupDlg::InstallPackage - CopyFile failed, error <%u>. Quit installation...";
inline constexpr char kShellExecuteFailed[] = "CSetupDlg::InstallPackage - ShellExecute failed, result <%d>.";

// The length of `text` up to its first conversion: what every line made from
// it begins with.
inline size_t FixedLength(const char* text) { return strcspn(text, "%"); }

}  // namespace log_text
}  // namespace logic

#endif  // PATHWARDEN_LOGIC_LOG_TEXTS_H_
