#include "logic/install.h"

#include <algorithm>

#include "logic/config.h"
#include "logic/decision.h"
#include "logic/log.h"
#include "logic/log_texts.h"
#include "logic/probes.h"
#include "logic/staging.h"
#include "logic/text.h"
#include "logic/version.h"
#include "formats/ascii.h"
#include "platform/files.h"
#include "platform/message_window.h"
#include "platform/process.h"
#include "platform/staging.h"
#include "platform/system.h"

namespace logic {

namespace {

bool IsNameSeparator(char c) { return c == '\\' || c == '/'; }

// Creates the directories that `name` (relative, checked) implies below
// `base`, so that an installer in a subdirectory can be copied. False when
// one cannot be had as a plain directory (a link made there first).
bool CreateParentDirectories(const std::string& base, const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (platform::IsLeadByte(static_cast<uint8_t>(name[i])) && i + 1 < name.size()) {
      ++i;
    } else if ((name[i] == platform::kPathSeparator || name[i] == '/') &&
               !platform::CreateDirectoryByPath((base + name.substr(0, i)).c_str())) {
      return false;
    }
  }
  return true;
}

// Copies the installer and opens the copy. Returns when the installer has
// been started or a step has failed; every outcome is logged.
void CopyAndOpen(const std::string& source, const std::string& target, const std::string& target_dir,
                 const std::string& name) {
  if (platform::IsSameFile(source.c_str(), target.c_str())) {
    // Unpacked straight into the temporary directory: deleting the target
    // would delete the only copy. Open it where it is.
    Log(StringPrintf(log_text::kAlreadyInTemp, target.c_str()));
  } else {
    bool copied = CreateParentDirectories(target_dir, name);
    if (copied) {
      platform::DeleteFileByPath(target.c_str());
      copied = platform::CopyFileTo(source.c_str(), target.c_str());
    }
    uint32_t error = platform::GetLastSystemError();
    Log(StringPrintf(log_text::kCopyFile, source.c_str(), target.c_str()));
    if (!copied) {
      // Whatever is left at the target (an older copy still running, say)
      // is not the installer we shipped: open nothing.
      Log(StringPrintf(log_text::kCopyFailed, error));
      return;
    }
  }
  platform::SetNormalAttributes(target.c_str());
  // Started in the folder it was copied to, not in whatever folder the
  // deployment tool left us in: elevated, the private folder that only the
  // administrators can change; otherwise the user's temporary folder. For an
  // installer in a subfolder ("bin\client.exe"), that subfolder, where a
  // double-click on the copy would have started it too.
  const size_t slash =
      std::max(FindLastSeparator(name, platform::kPathSeparator) + 1, FindLastSeparator(name, '/') + 1);
  const std::string start_dir = target_dir + name.substr(0, slash);
  intptr_t opened = platform::ShellOpen(target.c_str(), start_dir.c_str());
  if (opened <= 32) {
    Log(StringPrintf(log_text::kShellExecuteFailed, static_cast<int>(opened)));
  }
}

// True when the system takes the path component `component` for a device:
// the device names in any case, with any extension, and with spaces before
// the extension ("nul .txt"). The digits of COM and LPT include the Latin-1
// superscripts that Windows counts as digits too.
bool IsDeviceName(std::string component) {
  component = component.substr(0, component.find('.'));
  while (!component.empty() && component.back() == ' ') component.pop_back();
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (formats::EqualsNoCase(component, device)) return true;
  }
  if (component.size() != 4) return false;
  const uint8_t digit = static_cast<uint8_t>(component[3]);
  const bool numbered = (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  return numbered && (formats::StartsWithNoCase(component, "COM") || formats::StartsWithNoCase(component, "LPT"));
}

// Why one component of an installer name cannot be used, or null.
const char* ComponentProblem(const std::string& component) {
  if (component == "..") return log_text::kNameLeaves;
  if (component == ".") return nullptr;
  // The system drops trailing dots and spaces: the file copied and the one
  // opened would not be the one named.
  if (!component.empty() && (component.back() == '.' || component.back() == ' ')) {
    return log_text::kNameDotOrSpace;
  }
  if (IsDeviceName(component)) return log_text::kNameDevice;
  return nullptr;
}

}  // namespace

const char* InstallerNameProblem(const std::string& name, bool inexact) {
  if (inexact) return log_text::kNameNotExact;
  if (name.empty()) return log_text::kNameEmpty;
  if (IsNameSeparator(name[0])) return log_text::kNameAbsolute;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && platform::IsLeadByte(static_cast<uint8_t>(name[i])) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (i < name.size() && name[i] == ':') return log_text::kNameDrive;
    if (i == name.size() || IsNameSeparator(name[i])) {
      const char* problem = ComponentProblem(name.substr(start, i - start));
      if (problem) return problem;
      start = i + 1;
    }
  }
  return nullptr;
}

namespace {

// The copy's source or target when it is longer than the system takes; null
// when both fit (the copy's temporary name is never longer than the target's).
const std::string* PathTooLong(const std::string& source, const std::string& target) {
  if (source.size() > platform::kMaxPathLength) return &source;
  if (target.size() > platform::kMaxPathLength) return &target;
  return nullptr;
}

void LogPathTooLong(const std::string& path) { Log(StringPrintf(log_text::kPathTooLong, path.c_str())); }

// The pass between the START line and the finish request.
void DecideAndInstall() {
  std::string strTempDir;
  {
    platform::PathBuffer temp = {};
    uint32_t n = platform::GetTempDirectory(temp, platform::kPathBufferSize);
    if (n > 0 && n <= platform::kMaxPathLength) strTempDir.assign(temp, n);
  }
  bool inexact = false;
  const std::string strExeDir = GetExeDirectory(&inexact);
  if (inexact) {
    // The A form of the path maps characters the code page lacks to
    // look-alikes: it would name another folder, with another config.ini.
    Log(log_text::kOwnPathNotExact);
    return;
  }
  if (strExeDir.empty()) {
    // Without the package's own folder the bare names would be looked up in
    // the current directory and %WINDIR%: nothing is read from there.
    Log(log_text::kOwnPathMissing);
    return;
  }
  const std::string strConfigPath = strExeDir + kConfigFileName;
  if (strConfigPath.size() > platform::kMaxPathLength) {
    // The system's reader would read nothing and say nothing: every version
    // would read as 0.
    LogPathTooLong(strConfigPath);
    return;
  }
  PackageConfig config(strConfigPath);

  const int32_t nConfigFLVersion = ParseVersion(config.Read(kClientSection, kVersionKey).c_str());
  const int32_t nLocalFLVersion = GetLocalFLVersion();
  Log(ClientVersionLine(nLocalFLVersion, nConfigFLVersion));

  const int32_t nConfigDriverVersion = ParseVersion(config.Read(kDriverSection, kVersionKey).c_str());
  const int32_t nLocalDriverVersion = GetLocalDriverVersion();
  Log(DriverVersionLine(nLocalDriverVersion, nConfigDriverVersion));

  const bool install = MachineIsOlder(nLocalFLVersion, nConfigFLVersion, nLocalDriverVersion, nConfigDriverVersion);
  if (install) {
    bool name_inexact = false;
    const std::string name = config.Read(kClientSection, kInstallerKey, &name_inexact);
    const char* problem = InstallerNameProblem(name, name_inexact);
    if (strTempDir.empty()) {
      // The target would be the bare name: the shipped installer itself.
      Log(log_text::kNoTempDirectory);
    } else if (problem) {
      Log(InstallerNameRefusal(name, problem));
    } else {
      // Elevated runs stage in a private folder of the system's temporary
      // directory, held until the installer has started.
      std::string staging = strTempDir;
      platform::DirectoryHold hold;
      const std::string source = strExeDir + name;
      if (source.size() > platform::kMaxPathLength) {
        LogPathTooLong(source);
      } else if (!platform::IsElevated() || PreparePrivateStaging(&staging, &hold)) {
        const std::string target = staging + name;
        if (const std::string* too_long = PathTooLong(source, target)) {
          // An elevated run's empty folder goes with the next run's clean-up.
          LogPathTooLong(*too_long);
        } else {
          CopyAndOpen(source, target, staging, name);
        }
      }
    }
  } else {
    Log(log_text::kAlreadyLatest);
  }
}

}  // namespace

uint32_t InstallPackage(void* setup_window) {
  Log(log_text::kPassStart);
  DecideAndInstall();
  platform::SendMessageSync(static_cast<platform::Window>(setup_window), WM_SETUP_FINISH, 0, 0);
  Log(log_text::kPassEnd);
  return 1;
}

bool StartInstallWorker(platform::Window setup_window, platform::ScopedThread* worker) {
  if (worker->Start(InstallPackage, setup_window)) return true;
  WriteLog(g_szLogPath, StringPrintf(log_text::kWorkerFailed, platform::GetLastSystemError()).c_str());
  return false;
}

bool OpenSetupDialog(platform::Window setup_window, platform::ScopedThread* worker) {
  SetLogPathFromTempDirectory();
  WriteLog(g_szLogPath, log_text::kInitDialog);
  return StartInstallWorker(setup_window, worker);
}

void FinishSetupDialog(void (*end)(void* context, int result), void* context) {
  WriteLog(g_szLogPath, log_text::kFinishStart);
  end(context, kSetupFinished);
  WriteLog(g_szLogPath, log_text::kFinishEnd);
}

}  // namespace logic
