// The POSIX program: the same run as setup.exe, with a small message loop on
// the main thread standing in for the hidden modal dialog.
#include "platform/process.h"
#include "shell/setup_window_posix.h"

int main() {
  platform::ScopedThread worker;
  RunSetupWindow(&worker);
  return 0;
}
