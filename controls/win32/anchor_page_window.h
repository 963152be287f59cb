#pragma once
// The "Anchors" property page on a real property sheet: ppAnchors drawn as a list, a frame
// with a stand-in button and four side bars, toggled by a click or, with the keyboard, by Tab to
// a bar and Space. A toggle marks the page changed (the sheet enables Apply); choosing another
// control keeps the bars' code for the one left, and Apply and OK write the codes into the form
// model and hand the form to the owner, who stores it.
#include "controls/anchor_page.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/property_page_template.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

namespace corvale::win32 {

class AnchorPropertyPage {
  public:
    // Control ids on the page.
    static constexpr int kTitleId = 100;
    static constexpr int kListId = 101;
    static constexpr int kFrameId = 102;
    static constexpr int kObjectId = 103;
    static constexpr int kFirstSideId = 110; // lblSides(0..3)

    // Stores the edited form; false keeps the sheet open (the owner said why, in a message
    // owned by the page's sheet).
    using ApplyHandler = std::function<bool(HWND page, const Form& form)>;

    // form must outlive the page. preselect: list entry selected when the page opens.
    AnchorPropertyPage(Form& form, ApplyHandler onApply, std::string preselect = {});
    ~AnchorPropertyPage();
    AnchorPropertyPage(const AnchorPropertyPage&) = delete;
    AnchorPropertyPage& operator=(const AnchorPropertyPage&) = delete;

    // The page for PropertySheetW (valid while this object lives).
    PROPSHEETPAGEW Page();
    const ppAnchors& Model() const { return page_; }

  private:
    friend INT_PTR CALLBACK PageDialogProc<AnchorPropertyPage>(HWND, UINT, WPARAM, LPARAM);
    INT_PTR OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnInit(HWND hwnd);
    void OnCommand(int id, int code);
    INT_PTR OnNotify(const NMHDR& header);
    HBRUSH BarBrush(int side);
    void DrawBar(const DRAWITEMSTRUCT& item);
    void ShowBars();

    Form* form_;
    ppAnchors page_;
    ApplyHandler onApply_;
    std::string preselect_;
    PageTemplate template_;
    std::wstring caption_;
    HWND hwnd_ = nullptr;
    bool barsEdited_ = false; // bars toggled since the selected control's code was shown
    GdiHandle<HBRUSH> brushes_[4];
    COLORREF brushColours_[4] = {};
};

} // namespace corvale::win32
