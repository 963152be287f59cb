#pragma once
// Letting pending window messages run once (the program's yield), and waiting for a condition
// while messages keep flowing.
#include <functional>

struct tagMSG; // the system's MSG

namespace corvale::win32 {

// Hands one message to its window, with the keyboard moving between the controls of its
// top-level window.
void DispatchWindowMessage(tagMSG& msg);

// Sent to a top-level window for each key pressed in it (wParam: the virtual key, lParam: the
// key message's lParam) before anything else sees the key; nonzero means the window used it.
unsigned ShortcutKeyMessage();

// Dispatches every message waiting in this thread's queue, then returns. A quit message is put
// back so that the program's main loop still sees it. Returns false when it met one.
bool PumpPendingMessages();

// Pumps messages until pred() holds or the time runs out; true when pred() held.
bool PumpUntil(const std::function<bool()>& pred, unsigned timeoutMs);

// Window messages may run while one of these lives: the program's yields above, and calls into
// the system that run their own message loop for a handler (the save dialog, the shell). Its
// count tells a window whether a handler is paused part-way underneath the message it handles.
class YieldScope {
  public:
    YieldScope();
    ~YieldScope();
    YieldScope(const YieldScope&) = delete;
    YieldScope& operator=(const YieldScope&) = delete;
};

// The number of YieldScopes alive on this thread: zero when messages come from the main loop.
int YieldDepth();

} // namespace corvale::win32
