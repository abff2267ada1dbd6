// The Windows side of the boundary: the real Win32 calls.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <sddl.h>
#include <ntsecapi.h>

#include <string>

#include "platform/platform.h"

namespace platform {

const char kPathSeparator = '\\';

uint32_t GetTempDirectory(uint32_t size, char* buffer) { return GetTempPathA(size, buffer); }

uint32_t GetExecutablePath(char* buffer, uint32_t size) { return GetModuleFileNameA(nullptr, buffer, size); }

bool IsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }

uint16_t UpperDoubleByte(uint16_t unit) {
  char text[3] = {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF), 0};
  CharUpperBuffA(text, 2);
  return static_cast<uint16_t>(static_cast<uint8_t>(text[0]) << 8 | static_cast<uint8_t>(text[1]));
}

uint32_t ReadProfileString(const char* section, const char* key, const char* default_value, char* buffer, uint32_t size,
                           const char* path) {
  return GetPrivateProfileStringA(section, key, default_value, buffer, size, path);
}

namespace {

// The logic asks for the views that a 32-bit process sees: no view flag means
// the 32-bit view, KEY_WOW64_64KEY the native one. A 64-bit build reaches the
// same views only when the 32-bit view is named explicitly, so this is the
// one place where a mask that names no view gets KEY_WOW64_32KEY.
REGSAM EffectiveAccess(uint32_t access) {
#ifdef _WIN64
  if ((access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == 0) access |= KEY_WOW64_32KEY;
#endif
  return access;
}

}  // namespace

int32_t OpenRegistryKey(const char* sub_key, uint32_t access, RegistryKey* key) {
  HKEY opened = nullptr;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, sub_key, 0, EffectiveAccess(access), &opened);
  if (result == ERROR_SUCCESS) *key = reinterpret_cast<RegistryKey>(opened);
  return result;
}

int32_t QueryRegistryValue(RegistryKey key, const char* name, uint8_t* data, uint32_t* size) {
  DWORD length = *size;
  LONG result = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr, data, &length);
  *size = length;
  return result;
}

void CloseRegistryKey(RegistryKey key) { RegCloseKey(reinterpret_cast<HKEY>(key)); }

void* GetLoadedModule(const char* module_name) { return reinterpret_cast<void*>(GetModuleHandleA(module_name)); }

void* GetModuleEntryPoint(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

uint32_t CallGetSystemWow64Directory(void* entry_point, uint16_t* buffer, uint32_t size) {
  using Fn = UINT(WINAPI*)(LPWSTR, UINT);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(entry_point));
  return fn(reinterpret_cast<LPWSTR>(buffer), size);
}

uint32_t GetLastSystemError() { return GetLastError(); }

bool ToLocalTime(int64_t t, struct tm* out) {
  __time64_t value = t;
  return _localtime64_s(out, &value) == 0;
}

namespace {

// Writers of one log serialise on a lock of one byte far beyond any end of
// file: it restricts no one's reading or writing of the file's data. The
// system places append-only writes at the end of the file, but not every
// file system or emulation does so atomically across processes; with the
// lock, no line can land on top of another.
constexpr DWORD kWriterLockOffsetLow = 0xFFFFFFF0u;
constexpr DWORD kWriterLockOffsetHigh = 0x7FFFFFFFu;

bool LockForWriting(HANDLE file, OVERLAPPED* region) {
  region->Offset = kWriterLockOffsetLow;
  region->OffsetHigh = kWriterLockOffsetHigh;
  // Bounded: a writer never waits more than about 200 ms; after that the
  // line goes out unserialised rather than not at all.
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, region)) return true;
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) return false;
    Sleep(2);
  }
  return false;
}

}  // namespace

bool AppendTextToFile(const char* path, const char* text, size_t length) {
  // Append-only access: the system places every write at the end of the
  // file, so processes appending at once never overwrite each other (the
  // CRT's append mode seeks and then writes, which races). Read access is
  // what the writers' lock needs.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    file = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) break;
    // A scanner or an editor may hold the file without sharing for a moment:
    // wait a little (200 ms at most) rather than lose the line.
    DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || attempt == 10) return false;
    Sleep(20);
  }
  // Text mode: line feeds become CR LF.
  std::string crlf;
  crlf.reserve(length + length / 32 + 8);
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n') crlf.push_back('\r');
    crlf.push_back(text[i]);
  }
  OVERLAPPED region = {};
  bool locked = LockForWriting(file, &region);
  DWORD written = 0;
  WriteFile(file, crlf.data(), static_cast<DWORD>(crlf.size()), &written, nullptr);
  if (locked) UnlockFileEx(file, 0, 1, 0, &region);
  CloseHandle(file);
  return true;
}

bool DeleteFileAt(const char* path) { return DeleteFileA(path) != FALSE; }

bool CopyFileTo(const char* source, const char* target) {
  // A temporary name beside the target, renamed onto it once complete.
  char temp[MAX_PATH + 32];
  int n = wsprintfA(temp, "%s.%lx-%lx.part", target, GetCurrentProcessId(), GetTickCount());
  if (n <= 0 || n >= MAX_PATH) {
    // No room for a longer name: copy in place, as CopyFileA alone would.
    return CopyFileA(source, target, FALSE) != FALSE;
  }
  if (!CopyFileA(source, temp, FALSE)) {
    DWORD error = GetLastError();
    DeleteFileA(temp);
    SetLastError(error);
    return false;
  }
  if (!MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING)) {
    DWORD error = GetLastError();
    DeleteFileA(temp);
    SetLastError(error);
    return false;
  }
  return true;
}

bool SetNormalAttributes(const char* path) { return SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL) != FALSE; }

bool CreateDirectoryAt(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return true;
  DWORD error = GetLastError();
  DWORD attributes = GetFileAttributesA(path);
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return true;
  }
  SetLastError(error);
  return false;
}

bool CreatePrivateDirectory(const char* path) {
  // Full control for the system and administrators, read and execute for
  // users, nothing inherited from the shared temporary folder.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)",
                                                            SDDL_REVISION_1, &descriptor, nullptr)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  BOOL created = CreateDirectoryA(path, &attributes);
  DWORD error = GetLastError();
  LocalFree(descriptor);
  SetLastError(error);
  return created != FALSE;
}

bool IsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  bool elevated = false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
    elevated = elevation.TokenIsElevated != 0;
  }
  // The system account counts too, whatever the elevation query says.
  BYTE user_buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  if (!elevated && GetTokenInformation(token, TokenUser, user_buffer, sizeof user_buffer, &size)) {
    elevated = IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user_buffer)->User.Sid, WinLocalSystemSid) != FALSE;
  }
  CloseHandle(token);
  return elevated;
}

bool RandomBytes(uint8_t* buffer, size_t size) { return RtlGenRandom(buffer, static_cast<ULONG>(size)) != FALSE; }

namespace {

bool FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL ok = GetFileInformationByHandle(file, info);
  CloseHandle(file);
  return ok != FALSE;
}

}  // namespace

bool IsSameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia;
  BY_HANDLE_FILE_INFORMATION ib;
  return FileIdentity(a, &ia) && FileIdentity(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

intptr_t ShellOpen(const char* path) {
  // The shell may hand the verb to COM components; they need an apartment.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  HINSTANCE result = ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
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

intptr_t SendMessageSync(Window window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return SendMessageA(reinterpret_cast<HWND>(window), message, wparam, lparam);
}

}  // namespace platform
