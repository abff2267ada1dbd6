// POSIX stand-in for a hidden window and its modal message loop: the thread
// that calls RunModal handles every message sent to the window, and a sender
// on another thread waits until the handler has run, as SendMessageA does.
#ifndef PATHWARDEN_PLATFORM_MESSAGE_WINDOW_POSIX_H_
#define PATHWARDEN_PLATFORM_MESSAGE_WINDOW_POSIX_H_

#include <stdint.h>

#include <condition_variable>
#include <mutex>

#include "platform/message_window.h"

namespace platform {

using MessageHandler = intptr_t (*)(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam);

struct WindowImpl {
  // Handles one message on the loop's thread.
  MessageHandler handler = nullptr;
  void* context = nullptr;

  std::mutex mutex;
  std::condition_variable changed;
  bool alive = true;    // false once the modal run has ended
  bool ending = false;  // EndModal was called
  int result = 0;
  bool has_message = false;  // a sender waits for `message` to be handled
  bool handled = false;
  uint32_t message = 0;
  uintptr_t wparam = 0;
  intptr_t lparam = 0;
  intptr_t reply = 0;
};

class MessageWindow {
 public:
  MessageWindow(MessageHandler handler, void* context);
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  Window handle() { return &window_; }

  // Handles sent messages until EndModal; then the window no longer exists
  // (later sends return 0 at once). Returns the number given to EndModal.
  int RunModal();

  // Ends the modal run after the current handler returns. Any thread.
  void EndModal(int result);

 private:
  WindowImpl window_;
};

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_MESSAGE_WINDOW_POSIX_H_
