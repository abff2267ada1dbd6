// Windows side of the boundary: the shell's open action and the worker
// thread.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/process.h"

namespace platform {

intptr_t ShellOpen(const char* path, const char* directory) {
  // The shell may hand the verb to COM components; they need an apartment.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  HINSTANCE result = ShellExecuteA(nullptr, "open", path, nullptr, directory, SW_SHOWNORMAL);
  if (SUCCEEDED(hr)) CoUninitialize();
  return reinterpret_cast<intptr_t>(result);
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
