/* The demo and test stand-in for a client package's installer: it appends the path it was
   started from to the file named by PATHWARDEN_RECORD, and shows nothing. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  char path[MAX_PATH + 2];
  char record[MAX_PATH + 1];
  DWORD n;
  HANDLE file;
  DWORD written;
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
  return 0;
}
