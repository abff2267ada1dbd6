/* Helpers for the Wine fault tests, each standing in for "another program":
     wine_helper lock PATH MILLISECONDS   holds PATH open without sharing
     wine_helper lock-writers PATH MS     holds the lock the log's writers take
     wine_helper close-setup MILLISECONDS closes the hidden setup dialog (as
                                          another program would, with WM_CLOSE)
                                          as soon as it appears
     wine_helper hardlink NEW EXISTING    gives EXISTING a second name NEW
     wine_helper symlink NEW TARGET       makes NEW a symbolic link to TARGET
     wine_helper security PATH            prints PATH's owner and access list as
                                          the system reports them (SDDL), and
                                          whether it is a reparse point
   Prints one line saying what it did. */
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "lock") == 0) {
    HANDLE file = CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
      printf("lock failed %lu\n", GetLastError());
      return 1;
    }
    printf("locked\n");
    fflush(stdout);
    Sleep((DWORD)atoi(argv[3]));
    CloseHandle(file);
    return 0;
  }
  if (argc == 4 && strcmp(argv[1], "lock-writers") == 0) {
    HANDLE file =
        CreateFileA(argv[2], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    OVERLAPPED region = {0};
    region.Offset = 0xFFFFFFF0u;
    region.OffsetHigh = 0x7FFFFFFFu;
    if (file == INVALID_HANDLE_VALUE ||
        !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region)) {
      printf("lock failed %lu\n", GetLastError());
      return 1;
    }
    printf("locked\n");
    fflush(stdout);
    Sleep((DWORD)atoi(argv[3]));
    UnlockFileEx(file, 0, 1, 0, &region);
    CloseHandle(file);
    return 0;
  }
  if (argc == 3 && strcmp(argv[1], "close-setup") == 0) {
    DWORD deadline = GetTickCount() + (DWORD)atoi(argv[2]);
    while ((LONG)(deadline - GetTickCount()) > 0) {
      HWND dialog = FindWindowA("#32770", "setup");
      if (dialog) {
        PostMessageA(dialog, WM_CLOSE, 0, 0);
        printf("closed %s\n", IsWindowVisible(dialog) ? "visible" : "hidden");
        return 0;
      }
      Sleep(1);
    }
    printf("not found\n");
    return 1;
  }
  if (argc == 4 && strcmp(argv[1], "hardlink") == 0) {
    BOOL ok = CreateHardLinkA(argv[2], argv[3], NULL);
    printf(ok ? "linked\n" : "link failed %lu\n", GetLastError());
    return ok ? 0 : 1;
  }
  if (argc == 4 && strcmp(argv[1], "symlink") == 0) {
    BOOLEAN ok = CreateSymbolicLinkA(argv[2], argv[3], 0);
    printf(ok ? "linked\n" : "link failed %lu\n", GetLastError());
    return ok ? 0 : 1;
  }
  if (argc == 3 && strcmp(argv[1], "security") == 0) {
    PSECURITY_DESCRIPTOR descriptor = NULL;
    LPSTR text = NULL;
    DWORD attributes = GetFileAttributesA(argv[2]);
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoA(argv[2], SE_FILE_OBJECT, what, NULL, NULL, NULL, NULL, &descriptor) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, what, &text, NULL)) {
      printf("security failed %lu\n", GetLastError());
      return 1;
    }
    printf(
        "%s%s\n", text,
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? " reparse-point" : "");
    LocalFree(text);
    LocalFree(descriptor);
    return 0;
  }
  fprintf(stderr,
          "usage: wine_helper lock PATH MS | lock-writers PATH MS | close-setup MS | hardlink NEW OLD | symlink NEW "
          "TARGET | security PATH\n");
  return 2;
}
