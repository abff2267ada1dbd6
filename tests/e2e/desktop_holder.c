/* Holds Wine's desktop for a whole test suite: Wine closes its desktop
   process a moment after the last program that uses it ends, and a program
   that starts while it is closing cannot create a window (error 1400). The
   suite starts this first and ends it last, so the desktop never closes
   between runs. Prints one line once the desktop is there, then waits until
   its standard input closes. Windows keeps its desktop for the whole
   session, so this only makes Wine behave as Windows does. */
#include <windows.h>
#include <stdio.h>

int main(void) {
  HWND desktop = GetDesktopWindow();
  char byte;
  DWORD got = 0;
  if (!desktop || !IsWindow(desktop)) {
    printf("desktop holder: no desktop, error %lu\n", GetLastError());
    return 1;
  }
  printf("desktop holder: holding\n");
  fflush(stdout);
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, NULL) && got) {
  }
  return 0;
}
