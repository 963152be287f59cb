#pragma once
// Dots per inch of a window and the arithmetic that scales a layout made for 96 dpi. The
// per-monitor calls (Windows 10 1607 and later) are looked up at run time; where they are missing
// the answers fall back to the system's DPI, and from there to 96.
#include <windows.h>

namespace corvale::win32 {

inline constexpr UINT kBaseDpi = 96;

// The DPI the window is laid out for: GetDpiForWindow, else the system DPI. A null window gives
// the system DPI.
UINT DpiForWindow(HWND window);

// The system DPI: GetDpiForSystem, else LOGPIXELSY of the screen, else 96.
UINT SystemDpi();

// The horizontal DPI a device context draws at (a printer's differs from the screen's), else 96.
UINT DeviceDpi(HDC dc);

// Twips (1/1440 inch) in one pixel at dpi; 96 dpi (15 twips) when dpi is 0.
constexpr double TwipsPerPixel(UINT dpi) {
    return 1440.0 / static_cast<double>(dpi != 0 ? dpi : kBaseDpi);
}

// Twips per pixel at the system DPI.
inline double ScreenTwipsPerPixel() {
    return TwipsPerPixel(SystemDpi());
}

// value * dpi / 96, rounded to nearest (negative values too). Pixel sizes designed at 96 dpi.
constexpr int ScaleForDpi(int value, UINT dpi) {
    const long long scaled = static_cast<long long>(value) * static_cast<long long>(dpi);
    const long long half = kBaseDpi / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / kBaseDpi : (scaled - half) / kBaseDpi);
}

// The reverse: pixels at dpi back to 96-dpi pixels, rounded to nearest.
constexpr int UnscaleForDpi(int value, UINT dpi) {
    if (dpi == 0) return value;
    const long long scaled = static_cast<long long>(value) * kBaseDpi;
    const long long half = dpi / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / dpi : (scaled - half) / dpi);
}

// Twips (1/1440 inch) to pixels at dpi, rounded to nearest.
constexpr int TwipsToPixelsForDpi(int twips, UINT dpi) {
    const long long scaled = static_cast<long long>(twips) * static_cast<long long>(dpi);
    return static_cast<int>(scaled >= 0 ? (scaled + 720) / 1440 : (scaled - 720) / 1440);
}

// A LOGFONT height (negative: character height) for a size in hundredths of a point at dpi.
constexpr LONG FontHeightForDpi(int centiPoints, UINT dpi) {
    const long long scaled = static_cast<long long>(centiPoints) * static_cast<long long>(dpi);
    return -static_cast<LONG>((scaled + 3600) / 7200);
}

// GetSystemMetricsForDpi, else GetSystemMetrics scaled from the system DPI to dpi.
int SystemMetricForDpi(int index, UINT dpi);

// AdjustWindowRectExForDpi, else AdjustWindowRectEx (the frame at the system DPI).
bool AdjustWindowRectForDpi(RECT& rect, DWORD style, BOOL menu, DWORD exStyle, UINT dpi);

// The suggested rectangle of WM_DPICHANGED (lParam) applied to the window, as the system asks.
void ApplySuggestedRect(HWND window, LPARAM suggested);

} // namespace corvale::win32
