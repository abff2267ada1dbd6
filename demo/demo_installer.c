/* The demo and test stand-in for a client package's installer: it appends the path it was
   started from to the file named by PATHWARDEN_RECORD, and shows nothing. For the tests it
   also writes RECORD.elevated ("1" when its token is elevated, else "0"), and stays running
   for PATHWARDEN_LINGER milliseconds when that is set, as a real installer runs a while. */
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <stdlib.h>
#include <string.h>

/* Beside the record, in RECORD.acl: the access list of the folder the
   installer was started from, so that tests can see who may write there. */
static void RecordFolderAcl(const char* record, char* path) {
  char acl_record[MAX_PATH + 8];
  char* slash = strrchr(path, '\\');
  PSECURITY_DESCRIPTOR descriptor = NULL;
  PACL dacl = NULL;
  LPSTR text = NULL;
  HANDLE file;
  DWORD written;
  if (!slash || lstrlenA(record) + 5 > MAX_PATH) return;
  *slash = 0;
  if (GetNamedSecurityInfoA(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, NULL,
                            NULL, &dacl, NULL, &descriptor) == ERROR_SUCCESS &&
      ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, NULL)) {
    lstrcpyA(acl_record, record);
    lstrcatA(acl_record, ".acl");
    file = CreateFileA(acl_record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      WriteFile(file, text, lstrlenA(text), &written, NULL);
      CloseHandle(file);
    }
  }
  if (text) LocalFree(text);
  if (descriptor) LocalFree(descriptor);
  *slash = '\\';
}

/* RECORD.cwd: the folder this process was started in. */
static void RecordStartFolder(const char* record) {
  char cwd_record[MAX_PATH + 16];
  char folder[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  HANDLE file;
  DWORD written;
  if (n == 0 || n >= sizeof folder || lstrlenA(record) + 5 > MAX_PATH) return;
  lstrcpyA(cwd_record, record);
  lstrcatA(cwd_record, ".cwd");
  file = CreateFileA(cwd_record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  WriteFile(file, folder, n, &written, NULL);
  CloseHandle(file);
}

/* RECORD.elevated: whether this process runs elevated, as setup.exe decides. */
static void RecordElevation(const char* record) {
  char elevated_record[MAX_PATH + 16];
  HANDLE token;
  TOKEN_ELEVATION elevation = {0};
  DWORD size = 0;
  HANDLE file;
  DWORD written;
  if (lstrlenA(record) + 10 > MAX_PATH || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  lstrcpyA(elevated_record, record);
  lstrcatA(elevated_record, ".elevated");
  file = CreateFileA(elevated_record, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  WriteFile(file, elevation.TokenIsElevated ? "1" : "0", 1, &written, NULL);
  CloseHandle(file);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char path[MAX_PATH + 2];
  char record[MAX_PATH + 1];
  DWORD n;
  HANDLE file;
  DWORD written;
  char linger[16];
  (void)instance;
  (void)previous;
  (void)command_line;
  (void)show;
  if (!GetEnvironmentVariableA("PATHWARDEN_RECORD", record, sizeof record)) return 1;
  n = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  path[n++] = '\n';
  file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  WriteFile(file, path, n, &written, NULL);
  CloseHandle(file);
  path[n - 1] = 0;
  RecordFolderAcl(record, path);
  RecordElevation(record);
  RecordStartFolder(record);
  if (GetEnvironmentVariableA("PATHWARDEN_LINGER", linger, sizeof linger)) Sleep((DWORD)atoi(linger));
  return 0;
}
