/* Starts a program unelevated, as a UAC administrator's ordinary programs run:
     unelevated PROGRAM [ARGUMENT]
   with the limited token linked to this process's elevated one (Wine starts
   every program elevated). Prints "unelevated: TokenElevation=N" read from
   the child's own token, waits for the child and returns its exit code; 125
   if it could not be started that way. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static DWORD ChildElevation(HANDLE process) {
  HANDLE token;
  TOKEN_ELEVATION elevation = {0};
  DWORD size = 0;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return 2;
  if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) elevation.TokenIsElevated = 2;
  CloseHandle(token);
  return elevation.TokenIsElevated;
}

int main(int argc, char** argv) {
  HANDLE self, primary;
  TOKEN_LINKED_TOKEN linked;
  DWORD size = 0, code = 125;
  WCHAR command[2 * MAX_PATH + 8];
  const WCHAR* rest = GetCommandLineW();
  STARTUPINFOW startup;
  PROCESS_INFORMATION child;
  if (argc < 2 || argc > 3 || strlen(argv[1]) + (argc == 3 ? strlen(argv[2]) : 0) + 6 >= sizeof command) {
    fprintf(stderr, "usage: unelevated PROGRAM [ARGUMENT]\n");
    return 125;
  }
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &self) ||
      !GetTokenInformation(self, TokenLinkedToken, &linked, sizeof linked, &size)) {
    fprintf(stderr, "unelevated: no linked token, error %lu\n", GetLastError());
    return 125;
  }
  /* The linked token comes as an impersonation token: a process needs a
     primary one. */
  if (!DuplicateTokenEx(linked.LinkedToken, TOKEN_ALL_ACCESS, NULL, SecurityImpersonation, TokenPrimary, &primary)) {
    fprintf(stderr, "unelevated: DuplicateTokenEx failed, error %lu\n", GetLastError());
    return 125;
  }
  /* The rest of our own command line in UTF-16, as given: a program path
     with characters the ANSI code page lacks reaches the child unchanged. */
  if (*rest == L'"') {
    for (++rest; *rest && *rest != L'"'; ++rest) {
    }
    if (*rest) ++rest;
  } else {
    while (*rest && *rest != L' ' && *rest != L'\t') ++rest;
  }
  while (*rest == L' ' || *rest == L'\t') ++rest;
  if (lstrlenW(rest) + 1 > (int)(sizeof command / sizeof command[0])) {
    fprintf(stderr, "usage: unelevated PROGRAM [ARGUMENT]\n");
    return 125;
  }
  lstrcpyW(command, rest);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  if (!CreateProcessAsUserW(primary, NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
    fprintf(stderr, "unelevated: CreateProcessAsUser failed, error %lu\n", GetLastError());
    return 125;
  }
  printf("unelevated: TokenElevation=%lu\n", ChildElevation(child.hProcess));
  fflush(stdout);
  WaitForSingleObject(child.hProcess, INFINITE);
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(primary);
  CloseHandle(linked.LinkedToken);
  CloseHandle(self);
  return (int)code;
}
