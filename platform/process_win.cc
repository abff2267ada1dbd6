// Windows side of the boundary: the shell's open action and the worker
// thread.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <string.h>

#include "platform/process.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr intptr_t kStarted = 42;        // what the shell gives on success
constexpr intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC

// An elevated run starts an .exe itself: the shell would look its class up
// in HKEY_CURRENT_USER\\Software\\Classes first, which the same account's
// unelevated half may rewrite. The program named is the program started;
// its one argument, its own quoted path, is what the shell would pass.
// Failures give the number the shell gives: the error itself below 32,
// ERROR_BAD_FORMAT (11) for any other, as the shell maps them.
intptr_t StartProgram(const char* path, const char* directory) {
  char command[MAX_PATH + 3];
  const size_t length = strlen(path);
  if (length > MAX_PATH) return ERROR_FILE_NOT_FOUND;
  command[0] = '"';
  memcpy(command + 1, path, length);
  memcpy(command + 1 + length, "\"", 2);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(path, command, nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &process)) {
    const DWORD error = GetLastError();
    return error < 32 ? static_cast<intptr_t>(error) : ERROR_BAD_FORMAT;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return kStarted;
}

// Any other type, elevated: opened with the class that HKEY_LOCAL_MACHINE
// registers for its extension (`extension`, from the dot), never the merged
// view. No class there: the shell's "no association", nothing started.
intptr_t OpenWithMachineClass(const char* path, const char* directory, const char* extension) {
  char key[2 * MAX_PATH] = "Software\\Classes\\";
  const size_t prefix = strlen(key);
  char* name = key + prefix;
  DWORD size = MAX_PATH;
  if (strlen(extension) >= MAX_PATH) return kNoAssociation;
  memcpy(name, extension, strlen(extension) + 1);
  // The extension's class name, read into the place of the extension.
  char class_name[MAX_PATH];
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ, nullptr, class_name, &size) != ERROR_SUCCESS ||
      class_name[0] == '\0') {
    return kNoAssociation;
  }
  memcpy(name, class_name, size);
  HKEY class_key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &class_key) != ERROR_SUCCESS) return kNoAssociation;
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_CLASSKEY | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = "open";
  info.lpFile = path;
  info.lpDirectory = directory;
  info.nShow = SW_SHOWNORMAL;
  info.hkeyClass = class_key;
  ShellExecuteExA(&info);
  RegCloseKey(class_key);
  return reinterpret_cast<intptr_t>(info.hInstApp);
}

}  // namespace

intptr_t ShellOpen(const char* path, const char* directory) {
  // The shell may hand the verb to COM components; they need an apartment.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  intptr_t result = 0;
  if (IsElevated()) {
    // The extension: from the last dot of the last component.
    const char* dot = strrchr(path, '.');
    const char* extension = dot && !strchr(dot, '\\') ? dot : "";
    result = lstrcmpiA(extension, ".exe") == 0 ? StartProgram(path, directory)
                                               : OpenWithMachineClass(path, directory, extension);
  } else {
    result = reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, "open", path, nullptr, directory, SW_SHOWNORMAL));
  }
  if (SUCCEEDED(hr)) CoUninitialize();
  return result;
}

namespace {

struct ThreadStart {
  uint32_t (*procedure)(void*);
  void* parameter;
};

DWORD WINAPI ThreadMain(LPVOID raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  return start.procedure(start.parameter);
}

}  // namespace

bool ScopedThread::Start(uint32_t (*procedure)(void*), void* parameter) {
  if (running_) return false;
  auto* start = new ThreadStart{procedure, parameter};
  HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
  if (!thread) {
    delete start;
    return false;
  }
  handle_ = reinterpret_cast<uintptr_t>(thread);
  running_ = true;
  return true;
}

void ScopedThread::Join() {
  if (!running_) return;
  HANDLE thread = reinterpret_cast<HANDLE>(handle_);
  // Keep handling sent messages: the worker may be blocked sending to a
  // window of this thread.
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  CloseHandle(thread);
  running_ = false;
  handle_ = 0;
}

}  // namespace platform
