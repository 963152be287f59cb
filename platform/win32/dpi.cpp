#include "platform/win32/dpi.h"

#include "platform/win32/gdi_handles.h"

namespace corvale::win32 {

namespace {

// Rounding to nearest in both directions, and the point-size conversion at the common settings.
static_assert(ScaleForDpi(15, 144) == 23 && ScaleForDpi(-15, 144) == -23);
static_assert(UnscaleForDpi(ScaleForDpi(375, 120), 120) == 375);
static_assert(TwipsToPixelsForDpi(9060, 96) == 604 && TwipsToPixelsForDpi(9060, 144) == 906);
static_assert(FontHeightForDpi(675, 96) == -9 && FontHeightForDpi(825, 192) == -22);
static_assert(TwipsPerPixel(96) == 15.0 && TwipsPerPixel(0) == 15.0 && TwipsPerPixel(144) == 10.0);

template <typename Fn> Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

} // namespace

UINT SystemDpi() {
    static const auto getDpiForSystem = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (getDpiForSystem) {
        const UINT dpi = getDpiForSystem();
        if (dpi != 0) return dpi;
    }
    const ScreenDc screen;
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT DeviceDpi(HDC dc) {
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT DpiForWindow(HWND window) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (window && getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) return dpi;
    }
    return SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (forDpi) return forDpi(index, dpi);
    const UINT system = SystemDpi();
    const int value = GetSystemMetrics(index);
    return system == dpi ? value : MulDiv(value, static_cast<int>(dpi), static_cast<int>(system));
}

bool AdjustWindowRectForDpi(RECT& rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi) {
    static const auto forDpi =
        User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    if (forDpi) return forDpi(&rect, style, menu, exStyle, dpi) != FALSE;
    return AdjustWindowRectEx(&rect, style, menu, exStyle) != FALSE;
}

void ApplySuggestedRect(HWND window, LPARAM suggested) {
    const auto* rect = reinterpret_cast<const RECT*>(suggested);
    if (!window || !rect) return;
    SetWindowPos(window, nullptr, rect->left, rect->top, rect->right - rect->left,
                 rect->bottom - rect->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace corvale::win32
