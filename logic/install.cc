#include "logic/install.h"

#include "logic/config.h"
#include "logic/decision.h"
#include "logic/log.h"
#include "logic/probes.h"
#include "logic/text.h"
#include "logic/version.h"
#include "platform/platform.h"

namespace {

void Log(const std::string& message) { WriteLog(g_szLogPath, message.c_str()); }

bool IsNameSeparator(char c) { return c == '\\' || c == '/'; }

// Creates the directories that `name` (relative, checked) implies below
// `base`, so that an installer in a subdirectory can be copied.
void CreateParentDirectories(const std::string& base, const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (platform::IsLeadByte(static_cast<uint8_t>(name[i])) && i + 1 < name.size()) {
      ++i;
    } else if (name[i] == platform::kPathSeparator || name[i] == '/') {
      platform::CreateDirectoryAt((base + name.substr(0, i)).c_str());
    }
  }
}

// Copies the installer and opens the copy. Returns when the installer has
// been started or a step has failed; every outcome is logged.
void CopyAndOpen(const std::string& source, const std::string& target, const std::string& target_dir,
                 const std::string& name) {
  if (platform::IsSameFile(source.c_str(), target.c_str())) {
    // Unpacked straight into the temporary directory: deleting the target
    // would delete the only copy. Open it where it is.
    Log("CSetupDlg::InstallPackage - The installer is already in the temporary directory: <" + target +
        ">. Opening it there.");
  } else {
    CreateParentDirectories(target_dir, name);
    platform::DeleteFileAt(target.c_str());
    bool copied = platform::CopyFileTo(source.c_str(), target.c_str());
    uint32_t error = platform::GetLastSystemError();
    Log(StringPrintf("CopyFile from %s to %s", source.c_str(), target.c_str()));
    if (!copied) {
      // Whatever is left at the target (an older copy still running, say)
      // is not the installer we shipped: open nothing.
      Log(StringPrintf("CSetupDlg::InstallPackage - CopyFile failed, error <%u>. Quit installation...", error));
      return;
    }
  }
  platform::SetNormalAttributes(target.c_str());
  intptr_t opened = platform::ShellOpen(target.c_str());
  if (opened <= 32) {
    Log(StringPrintf("CSetupDlg::InstallPackage - ShellExecute failed, result <%d>.", static_cast<int>(opened)));
  }
}

// Sixteen random hexadecimal digits; empty if the system has no randomness.
std::string RandomHex() {
  uint8_t bytes[8];
  if (!platform::RandomBytes(bytes, sizeof bytes)) return std::string();
  std::string hex;
  for (uint8_t b : bytes) hex += StringPrintf("%02x", b);
  return hex;
}

}  // namespace

std::string StagingDirectory(const std::string& temp_dir, bool elevated, const std::string& random_hex) {
  if (!elevated) return temp_dir;
  return temp_dir + "pathwarden-" + random_hex + platform::kPathSeparator;
}

const char* InstallerNameProblem(const std::string& name) {
  if (name.empty()) return "is empty";
  if (IsNameSeparator(name[0])) return "is an absolute or UNC path";
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && platform::IsLeadByte(static_cast<uint8_t>(name[i])) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (i < name.size() && name[i] == ':') return "carries a drive or stream";
    if (i == name.size() || IsNameSeparator(name[i])) {
      if (name.compare(start, i - start, "..") == 0) return "leaves the package folder (\"..\")";
      start = i + 1;
    }
  }
  return nullptr;
}

uint32_t InstallPackage(void* setup_window) {
  Log("CSetupDlg::InstallPackage START");

  std::string strTempDir;
  {
    char temp[261] = {};
    uint32_t n = platform::GetTempDirectory(260, temp);
    if (n > 0 && n < 260) strTempDir.assign(temp, n);
  }
  const std::string strExeDir = GetExeDirectory();
  const std::string strConfigPath = strExeDir + kConfigFileName;
  PackageConfig config(strConfigPath);

  const int32_t nConfigFLVersion = ParseVersion(config.Read(kClientSection, kVersionKey).c_str());
  const int32_t nLocalFLVersion = GetLocalFLVersion();
  Log(ClientVersionLine(nLocalFLVersion, nConfigFLVersion));

  const int32_t nConfigDriverVersion = ParseVersion(config.Read(kDriverSection, kVersionKey).c_str());
  const int32_t nLocalDriverVersion = GetLocalDriverVersion();
  Log(DriverVersionLine(nLocalDriverVersion, nConfigDriverVersion));

  const bool install = MachineIsOlder(nLocalFLVersion, nConfigFLVersion, nLocalDriverVersion, nConfigDriverVersion);
  if (install) {
    const std::string name = config.Read(kClientSection, kInstallerKey);
    const char* problem = InstallerNameProblem(name);
    if (strTempDir.empty()) {
      // The target would be the bare name: the shipped installer itself.
      Log("CSetupDlg::InstallPackage - No temporary directory. Quit installation...");
    } else if (problem) {
      Log(InstallerNameRefusal(name, problem));
    } else {
      const bool elevated = platform::IsElevated();
      const std::string random = elevated ? RandomHex() : std::string();
      const std::string staging = StagingDirectory(strTempDir, elevated, random);
      if (elevated && (random.empty() || !platform::CreatePrivateDirectory(staging.c_str()))) {
        Log(
            StringPrintf("CSetupDlg::InstallPackage - Could not create the private folder <%s>, error <%u>. "
                         "Quit installation...",
                         staging.c_str(), platform::GetLastSystemError()));
      } else {
        CopyAndOpen(strExeDir + name, staging + name, staging, name);
      }
    }
  } else {
    Log(kAlreadyLatestLine);
  }

  platform::SendMessageSync(static_cast<platform::Window>(setup_window), WM_SETUP_FINISH, 0, 0);
  Log("CSetupDlg::InstallPackage END");
  return 1;
}

bool StartInstallWorker(platform::Window setup_window, platform::ScopedThread* worker) {
  if (worker->Start(InstallPackage, setup_window)) return true;
  WriteLog(g_szLogPath, StringPrintf("CSetupDlg::OnInitDialog - Could not start the install worker, error <%u>. "
                                     "Quit installation...",
                                     platform::GetLastSystemError())
                            .c_str());
  return false;
}
