#pragma once
// What the Windows tests do to a window as a user or the system would: run its messages,
// move and press the mouse through the input queue, read a list or header, make a DIB section.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace corvale::test_support {

// Runs every message waiting for this thread.
inline void PumpPending() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

// Runs messages until `done` answers true or `milliseconds` have passed; the last answer.
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        PumpPending();
        if (done()) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return done();
}

inline void PumpFor(int milliseconds) {
    PumpUntil([] { return false; }, milliseconds);
}

// Throws away the WM_QUIT a closed main window leaves, so the next window's loop runs.
inline void DrainQuit() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

// Puts the pointer on a screen point, as a mouse move in the system's input queue.
inline void MoveMouseTo(POINT at) {
    SetCursorPos(at.x, at.y);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof(INPUT));
}

// Button events (MOUSEEVENTF_LEFTDOWN, ...) where the pointer is, in one piece of input.
inline void PressMouse(std::initializer_list<DWORD> buttons) {
    std::vector<INPUT> in(buttons.size());
    auto flags = buttons.begin();
    for (INPUT& i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dwFlags = *flags++;
    }
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

// A bottom-up DIB section of the given depth; the caller owns it.
inline HBITMAP NewDibSection(HDC dc, int width, int height, WORD bitCount, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

// One item's text as a common control answers `message` (LVM_GETITEMTEXTW, HDM_GETITEMW, ...),
// `item` saying what to read.
template <class Item> std::wstring ItemText(HWND control, UINT message, int index, Item item) {
    wchar_t buf[1024] = {};
    item.pszText = buf;
    item.cchTextMax = 1024;
    SendMessageW(control, message, index, reinterpret_cast<LPARAM>(&item));
    return buf;
}

// A list view's cell as the list itself answers LVM_GETITEMTEXT.
inline std::wstring ListCellText(HWND list, int index, int subItem) {
    LVITEMW item{};
    item.iSubItem = subItem;
    return ItemText(list, LVM_GETITEMTEXTW, index, item);
}

// A header control's column caption.
inline std::wstring HeaderItemText(HWND header, int index) {
    HDITEMW item{};
    item.mask = HDI_TEXT;
    return ItemText(header, HDM_GETITEMW, index, item);
}

} // namespace corvale::test_support
