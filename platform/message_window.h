// The finish message: the window that receives the worker's finish request,
// and the synchronous send. Implemented by message_window_win.cc and
// message_window_posix.cc (whose window and message loop are in
// message_window_posix.h).
#ifndef PATHWARDEN_PLATFORM_MESSAGE_WINDOW_H_
#define PATHWARDEN_PLATFORM_MESSAGE_WINDOW_H_

#include <stdint.h>

namespace platform {

// HWND on Windows, the POSIX message loop's window object there.
struct WindowImpl;
using Window = WindowImpl*;

// Sends `message` to `window` and returns after its handler has run on the
// window's own thread (SendMessageA). Returns at once with 0 when the window
// no longer exists.
intptr_t SendMessageSync(Window window, uint32_t message, uintptr_t wparam, intptr_t lparam);

}  // namespace platform

#endif  // PATHWARDEN_PLATFORM_MESSAGE_WINDOW_H_
