#pragma once
// Cancels every dialog of this thread after a while (and again each time the period passes), so
// a hook that fails to answer fails the test instead of hanging it.
#include <windows.h>

#include <string>

namespace corvale::testing {

class DialogWatchdog {
  public:
    explicit DialogWatchdog(UINT period = 20000)
        : timer_(SetTimer(nullptr, 0, period, &DialogWatchdog::Fire)) {
        fired_ = false;
    }
    ~DialogWatchdog() { KillTimer(nullptr, timer_); }
    DialogWatchdog(const DialogWatchdog&) = delete;
    DialogWatchdog& operator=(const DialogWatchdog&) = delete;
    static bool Fired() { return fired_; }

  private:
    static BOOL CALLBACK CancelOne(HWND w, LPARAM) {
        wchar_t cls[16] = {};
        GetClassNameW(w, cls, 16);
        if (std::wstring(cls) == L"#32770") PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
        fired_ = true;
        EnumThreadWindows(GetCurrentThreadId(), &DialogWatchdog::CancelOne, 0);
    }
    UINT_PTR timer_;
    static inline bool fired_ = false;
};

} // namespace corvale::testing
