// The POSIX program: the same run as setup.exe, with a small message loop on
// the main thread standing in for the hidden modal dialog.
#include "logic/install.h"
#include "logic/log.h"
#include "platform/message_window_posix.h"

namespace {

struct SetupWindow {
  platform::MessageWindow* window;
};

intptr_t HandleMessage(void* context, uint32_t message, uintptr_t, intptr_t) {
  auto* setup = static_cast<SetupWindow*>(context);
  if (message == WM_SETUP_FINISH) {
    WriteLog(g_szLogPath, "CSetupDlg::OnFinish START");
    setup->window->EndModal(5);
    WriteLog(g_szLogPath, "CSetupDlg::OnFinish END");
  }
  return 0;
}

}  // namespace

int main() {
  SetupWindow setup{nullptr};
  platform::MessageWindow window(HandleMessage, &setup);
  setup.window = &window;

  SetLogPathFromTempDirectory();
  WriteLog(g_szLogPath, "CSetupDlg::OnInitDialog");
  // Declared after the window: joined before the window goes away.
  platform::ScopedThread worker;
  if (StartInstallWorker(window.handle(), &worker)) window.RunModal();
  worker.Join();
  return 0;
}
