#include "shell/setup_window_posix.h"

#include "logic/install.h"
#include "platform/message_window_posix.h"

namespace {

struct SetupWindow {
  platform::MessageWindow* window;
};

intptr_t HandleMessage(void* context, uint32_t message, uintptr_t, intptr_t) {
  auto* setup = static_cast<SetupWindow*>(context);
  if (message == logic::WM_SETUP_FINISH) {
    logic::FinishSetupDialog(
        [](void* window, int result) { static_cast<platform::MessageWindow*>(window)->EndModal(result); },
        setup->window);
  }
  return 0;
}

}  // namespace

int RunSetupWindow(platform::ScopedThread* worker) {
  SetupWindow setup{nullptr};
  platform::MessageWindow window(HandleMessage, &setup);
  setup.window = &window;
  int result = kSetupCancelled;
  if (logic::OpenSetupDialog(window.handle(), worker)) result = window.RunModal();
  // The worker may still be sending to the window: joined while it exists.
  worker->Join();
  return result;
}
