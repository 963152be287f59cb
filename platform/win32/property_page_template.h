#pragma once
// An in-memory dialog template for a property page of a given size in twips: the page's
// controls are made by its dialog procedure, so the template carries only the frame and font.
#include <windows.h>

#include <prsht.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace corvale::win32 {

// Pixels of a twips value at 96 dpi (15 twips a pixel).
constexpr int TwipsToPixels(std::int32_t twips) {
    return twips / 15;
}

class PageTemplate {
  public:
    // widthTwips x heightTwips at 96 dpi, in dialog units of an 8-point "MS Shell Dlg" (whose
    // dialog base units are about 6 x 13 pixels).
    PageTemplate(std::int32_t widthTwips, std::int32_t heightTwips) {
        DLGTEMPLATE t{};
        t.style = WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT | DS_3DLOOK | DS_CONTROL;
        t.cx = static_cast<short>(TwipsToPixels(widthTwips) * 4 / 6);
        t.cy = static_cast<short>(TwipsToPixels(heightTwips) * 8 / 13);
        words_.resize(sizeof(DLGTEMPLATE) / sizeof(WORD));
        std::memcpy(words_.data(), &t, sizeof t);
        words_.push_back(0); // no menu
        words_.push_back(0); // standard class
        words_.push_back(0); // no title
        words_.push_back(8); // point size
        for (const wchar_t* f = L"MS Shell Dlg"; *f; ++f) words_.push_back(static_cast<WORD>(*f));
        words_.push_back(0);
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    std::vector<WORD> words_;
};

// The sheet's description of a page drawn from `layout`, whose dialog procedure finds `self`
// through PageObject. The layout and caption must outlive the sheet.
template <class Page>
PROPSHEETPAGEW SheetPage(const PageTemplate& layout, const std::wstring& caption, DLGPROC proc,
                         Page* self) {
    PROPSHEETPAGEW p{};
    p.dwSize = sizeof p;
    p.dwFlags = PSP_DLGINDIRECT | PSP_USETITLE;
    p.hInstance = GetModuleHandleW(nullptr);
    p.pResource = layout.Get();
    p.pszTitle = caption.c_str();
    p.pfnDlgProc = proc;
    p.lParam = reinterpret_cast<LPARAM>(self);
    return p;
}

// The page object of a dialog procedure: recorded on WM_INITDIALOG (from the sheet page's
// lParam), read back for every later message; nullptr before that.
template <class Page> Page* PageObject(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Page*>(reinterpret_cast<const PROPSHEETPAGEW*>(lp)->lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    return reinterpret_cast<Page*>(GetWindowLongPtrW(hwnd, DWLP_USER));
}

// The dialog procedure of a page class: WM_INITDIALOG goes to OnInit, WM_COMMAND to
// OnCommand(control id, notification code), WM_NOTIFY to OnNotify and every other message to
// OnMessage (FALSE: not handled). The class befriends PageDialogProc<Page> when these are private.
template <class Page> INT_PTR CALLBACK PageDialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Page* self = PageObject<Page>(hwnd, msg, lp);
    if (!self) return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        self->OnInit(hwnd);
        return TRUE;
    case WM_COMMAND:
        self->OnCommand(LOWORD(wp), HIWORD(wp));
        return TRUE;
    case WM_NOTIFY:
        return self->OnNotify(*reinterpret_cast<const NMHDR*>(lp));
    default:
        return self->OnMessage(hwnd, msg, wp, lp);
    }
}

} // namespace corvale::win32
