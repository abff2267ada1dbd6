/* Helpers for the Wine fault tests, each standing in for "another program":
     wine_helper lock PATH MILLISECONDS   holds PATH open without sharing
     wine_helper close-setup MILLISECONDS closes the hidden setup dialog (as
                                          another program would, with WM_CLOSE)
                                          as soon as it appears
   Prints one line saying what it did. */
#include <windows.h>
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
  fprintf(stderr, "usage: wine_helper lock PATH MS | close-setup MS\n");
  return 2;
}
