// Windows side of the boundary: the shell's open action and the worker
// thread.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <string.h>
#include <wchar.h>

#include "platform/handles_win.h"
#include "platform/names_win.h"
#include "platform/process.h"
#include "platform/system.h"

namespace platform {

namespace {

constexpr intptr_t kStarted = 42;  // what the shell gives on success

// An elevated run starts an .exe itself: the shell would look its class up
// in HKEY_CURRENT_USER\Software\Classes first, which the same account's
// unelevated half may rewrite. The program named is the program started;
// its one argument, its own quoted path, is what the shell would pass.
// Failures give the number the shell gives: the error itself below 32,
// ERROR_BAD_FORMAT (11) for any other, as the shell maps them.
intptr_t StartProgram(const wchar_t* path, const wchar_t* directory) {
  wchar_t command[MAX_PATH + 3];
  const size_t units = wcslen(path);
  command[0] = L'"';
  memcpy(command + 1, path, units * sizeof(wchar_t));
  command[units + 1] = L'"';
  command[units + 2] = L'\0';
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(path, command, nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &process)) {
    const DWORD error = GetLastError();
    return error < 32 ? static_cast<intptr_t>(error) : ERROR_BAD_FORMAT;
  }
  ScopedHandle thread(process.hThread);
  ScopedHandle child(process.hProcess);
  return kStarted;
}

// Any other type, elevated: opened with the class that HKEY_LOCAL_MACHINE
// registers for its extension, never the merged view. No class there: the
// shell's "no association" (31), nothing started.
intptr_t OpenWithMachineClass(const wchar_t* path, const wchar_t* directory, const wchar_t* extension) {
  constexpr intptr_t kNoAssociation = 31;  // SE_ERR_NOASSOC
  wchar_t key[MAX_PATH + 32] = L"Software\\Classes\\";
  const size_t prefix = wcslen(key);
  const size_t length = wcslen(extension);
  if (length == 0 || prefix + length >= MAX_PATH) return kNoAssociation;
  memcpy(key + prefix, extension, (length + 1) * sizeof(wchar_t));
  wchar_t program_id[MAX_PATH] = {};
  DWORD size = sizeof program_id - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, nullptr, RRF_RT_REG_SZ, nullptr, program_id, &size) != ERROR_SUCCESS ||
      program_id[0] == L'\0' || prefix + wcslen(program_id) >= MAX_PATH) {
    return kNoAssociation;
  }
  memcpy(key + prefix, program_id, (wcslen(program_id) + 1) * sizeof(wchar_t));
  HKEY class_key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &class_key) != ERROR_SUCCESS) return kNoAssociation;
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_CLASSKEY | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = path;
  info.lpDirectory = directory;
  info.nShow = SW_SHOWNORMAL;
  info.hkeyClass = class_key;
  ShellExecuteExW(&info);
  RegCloseKey(class_key);
  return reinterpret_cast<intptr_t>(info.hInstApp);
}

}  // namespace

intptr_t ShellOpen(const char* path, const char* directory) {
  // The shell may hand the verb to COM components; they need an apartment.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  intptr_t result = 0;
  if (IsElevated()) {
    wchar_t wide_path[MAX_PATH];
    wchar_t wide_directory[MAX_PATH];
    if (WidenAnsi(path, -1, wide_path, MAX_PATH) == 0 || WidenAnsi(directory, -1, wide_directory, MAX_PATH) == 0) {
      result = ERROR_FILE_NOT_FOUND;
    } else {
      const wchar_t* dot = wcsrchr(wide_path, L'.');
      const wchar_t* extension = dot && !wcschr(dot, L'\\') ? dot : L"";
      result = lstrcmpiW(extension, L".exe") == 0 ? StartProgram(wide_path, wide_directory)
                                                  : OpenWithMachineClass(wide_path, wide_directory, extension);
    }
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
