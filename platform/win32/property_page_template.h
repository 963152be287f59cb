#pragma once
// An in-memory dialog template for a property page of a given size in twips: the page's
// controls are made by its dialog procedure, so the template carries only the frame and font.
#include <windows.h>

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

} // namespace corvale::win32
