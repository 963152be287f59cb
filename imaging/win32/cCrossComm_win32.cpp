// The shared GDI+ session of a top-level window: started by the first control of a form, marked
// by a hidden child window, and shut down after that window has gone.
#include "imaging/cCrossComm.h"
#include "imaging/win32/cGDIPlus.h"

#include <windows.h>

#include <commctrl.h>

#include <map>

namespace corvale {
namespace {

constexpr wchar_t kMarkerClass[] = L"Static";
constexpr wchar_t kMarkerTitle[] = L"GDI+Safe Patch";
constexpr UINT_PTR kMarkerSubclassId = 0x47445053; // "GDPS"

// Thread timers that shut sessions down, by timer id.
std::map<UINT_PTR, std::uintptr_t>& PendingShutdowns() {
    static std::map<UINT_PTR, std::uintptr_t> pending;
    return pending;
}

void CALLBACK ShutdownTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto& pending = PendingShutdowns();
    const auto it = pending.find(id);
    if (it == pending.end()) return;
    const std::uintptr_t token = it->second;
    pending.erase(it);
    cGDIPlus::StopSession(token);
}

// The marker's subclass: when the window goes, the session ends from a timer, after the rest of
// the window tree (and every control drawing with the session) has been torn down.
LRESULT CALLBACK MarkerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                            DWORD_PTR token) {
    if (msg == WM_DESTROY) {
        RemoveWindowSubclass(hwnd, &MarkerProc, id);
        const UINT_PTR timer = SetTimer(nullptr, 0, 0, &ShutdownTimerProc);
        if (timer)
            PendingShutdowns()[timer] = token;
        else
            cGDIPlus::StopSession(token); // no timer to be had: now rather than never
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

HWND TopLevelOf(HWND hwnd) {
    if (!hwnd || !IsWindow(hwnd)) return nullptr;
    while (HWND parent = GetParent(hwnd)) hwnd = parent;
    while (HWND owner = GetWindow(hwnd, GW_OWNER)) hwnd = owner;
    return hwnd;
}

} // namespace

bool cCrossComm::ManageGDIToken(std::intptr_t containerHwnd) {
    gdiToken_ = kNoSession;
    HWND top = TopLevelOf(reinterpret_cast<HWND>(containerHwnd));
    if (!top) return false;
    if (FindWindowExW(top, nullptr, kMarkerClass, kMarkerTitle)) {
        gdiToken_ = kForeignSession;
        return true;
    }
    const std::uintptr_t token = cGDIPlus::StartSession();
    if (!token) return false;
    HWND marker = CreateWindowExW(0, kMarkerClass, kMarkerTitle, WS_CHILD, 0, 0, 0, 0, top, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!marker) {
        cGDIPlus::StopSession(token);
        return false;
    }
    if (!SetWindowSubclass(marker, &MarkerProc, kMarkerSubclassId, static_cast<DWORD_PTR>(token))) {
        DestroyWindow(marker);
        cGDIPlus::StopSession(token);
        return false;
    }
    gdiToken_ = token;
    return true;
}

} // namespace corvale
