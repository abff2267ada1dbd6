#include "platform/message_window_posix.h"

namespace platform {

MessageWindow::MessageWindow(MessageHandler handler, void* context) {
  window_.handler = handler;
  window_.context = context;
}

int MessageWindow::RunModal() {
  std::unique_lock<std::mutex> lock(window_.mutex);
  for (;;) {
    window_.changed.wait(lock, [this] { return window_.ending || (window_.has_message && !window_.handled); });
    if (window_.has_message && !window_.handled) {
      uint32_t message = window_.message;
      uintptr_t wparam = window_.wparam;
      intptr_t lparam = window_.lparam;
      lock.unlock();
      intptr_t reply = window_.handler(window_.context, message, wparam, lparam);
      lock.lock();
      window_.reply = reply;
      window_.handled = true;
      window_.changed.notify_all();
      continue;
    }
    // Ending: the window goes away; waiting senders are released.
    window_.alive = false;
    window_.changed.notify_all();
    return window_.result;
  }
}

void MessageWindow::EndModal(int result) {
  std::lock_guard<std::mutex> lock(window_.mutex);
  if (window_.ending) return;
  window_.ending = true;
  window_.result = result;
  window_.changed.notify_all();
}

intptr_t SendMessageSync(Window window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  std::unique_lock<std::mutex> lock(window->mutex);
  // One message at a time, as a window's thread handles them.
  window->changed.wait(lock, [window] { return !window->alive || !window->has_message; });
  if (!window->alive) return 0;
  window->has_message = true;
  window->handled = false;
  window->message = message;
  window->wparam = wparam;
  window->lparam = lparam;
  window->changed.notify_all();
  window->changed.wait(lock, [window] { return window->handled || !window->alive; });
  intptr_t reply = window->handled ? window->reply : 0;
  window->has_message = false;
  window->handled = false;
  window->changed.notify_all();
  return reply;
}

}  // namespace platform
