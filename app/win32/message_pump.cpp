#include "app/win32/message_pump.h"

#include <windows.h>

namespace corvale::win32 {
namespace {
thread_local int yieldDepth = 0; // messages, and so yields, belong to one thread
} // namespace

YieldScope::YieldScope() {
    ++yieldDepth;
}
YieldScope::~YieldScope() {
    --yieldDepth;
}
int YieldDepth() {
    return yieldDepth;
}

UINT ShortcutKeyMessage() {
    static const UINT message = RegisterWindowMessageW(L"CorvaleShortcutKey");
    return message;
}

void DispatchWindowMessage(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    // The top-level window sees a key first: its shortcuts do what the click would do. A window
    // that does not know the message answers 0 and the key goes on as usual.
    if (root && msg.message == WM_KEYDOWN &&
        SendMessageW(root, ShortcutKeyMessage(), msg.wParam, msg.lParam) != 0)
        return;
    // Tab, arrow keys and the space bar move between and press the windows' controls.
    if (root && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool PumpPendingMessages() {
    YieldScope yielding;
    MSG msg;
    // A bound, so that a message source that keeps posting cannot hold the caller forever.
    for (int i = 0; i < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        DispatchWindowMessage(msg);
    }
    return true;
}

bool PumpUntil(const std::function<bool()>& pred, unsigned timeoutMs) {
    YieldScope yielding;
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (pred()) return true;
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        if (!PumpPendingMessages()) return pred();
    }
}

} // namespace corvale::win32
