#include "app/win32/message_pump.h"

#include <windows.h>

namespace corvale::win32 {

bool PumpPendingMessages() {
    MSG msg;
    // A bound, so that a message source that keeps posting cannot hold the caller forever.
    for (int i = 0; i < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& pred, unsigned timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (pred()) return true;
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        if (!PumpPendingMessages()) return pred();
    }
}

} // namespace corvale::win32
