/* The floor for the Wine benchmark: a win64 program that runs a hidden modal
   dialog and ends it from a worker thread, and does nothing else. */
#include <windows.h>

#define WM_FINISH (WM_APP + 1)

static DWORD WINAPI Worker(LPVOID dialog) {
  SendMessageA((HWND)dialog, WM_FINISH, 0, 0);
  return 0;
}

static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  (void)wparam;
  switch (message) {
    case WM_INITDIALOG: {
      HANDLE thread = CreateThread(NULL, 0, Worker, dialog, 0, NULL);
      if (thread) CloseHandle(thread);
      return TRUE;
    }
    case WM_WINDOWPOSCHANGING:
      ((WINDOWPOS*)lparam)->flags &= ~SWP_SHOWWINDOW;
      return FALSE;
    case WM_FINISH:
      EndDialog(dialog, 5);
      return TRUE;
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  /* An empty dialog template: popup, caption, not visible, no controls. */
  static WORD template_data[16];
  DLGTEMPLATE* t = (DLGTEMPLATE*)template_data;
  (void)previous;
  (void)command_line;
  (void)show;
  t->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  t->cx = 320;
  t->cy = 200;
  DialogBoxIndirectParamA(instance, t, NULL, DialogProc, 0);
  return 0;
}
