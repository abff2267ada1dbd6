// Windows side of the boundary: the finish message, sent to the setup dialog.
#include "platform/message_window.h"

#include <windows.h>

namespace platform {

intptr_t SendMessageSync(Window window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return SendMessageA(reinterpret_cast<HWND>(window), message, wparam, lparam);
}

}  // namespace platform
