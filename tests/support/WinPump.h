// Windows tests: runs every message waiting for this thread's windows. A WM_QUIT (from a
// window that ends the loop) is swallowed so the test can go on.
#pragma once

#include <windows.h>

namespace mt::test {

inline void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace mt::test
