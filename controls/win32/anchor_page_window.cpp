#include "controls/win32/anchor_page_window.h"

#include "platform/win32/dpi.h"
#include "platform/win32/wide_text.h"

namespace corvale::win32 {
namespace {

constexpr wchar_t kFrameClass[] = L"CorvaleAnchorPageFrame";

// picFrame: a bordered child that passes its children's notifications and colour requests on
// to the page.
void RegisterFrameClass(WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kFrameClass, &wc)) return;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassExW(&wc);
}

// Placed in pixels of the DPI the page is on (its dialog font, and so its size, follow it).
HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle,
           const TwipsRect& r, int id) {
    const UINT dpi = DpiForWindow(parent);
    HWND w = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style,
                             TwipsToPixelsForDpi(r.left, dpi), TwipsToPixelsForDpi(r.top, dpi),
                             TwipsToPixelsForDpi(r.width, dpi), TwipsToPixelsForDpi(r.height, dpi),
                             parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(w, WM_SETFONT, SendMessageW(GetAncestor(parent, GA_ROOT), WM_GETFONT, 0, 0), 0);
    return w;
}

} // namespace

AnchorPropertyPage::AnchorPropertyPage(Form& form, ApplyHandler onApply, std::string preselect)
    : form_(&form), page_(form), onApply_(std::move(onApply)), preselect_(std::move(preselect)),
      template_(kAnchorPageWidth, kAnchorPageHeight), caption_(WideFromUtf8(kAnchorPageCaption)) {}

AnchorPropertyPage::~AnchorPropertyPage() = default;

PROPSHEETPAGEW AnchorPropertyPage::Page() {
    RegisterFrameClass(FrameProc);
    return SheetPage(template_, caption_, PageDialogProc<AnchorPropertyPage>, this);
}

INT_PTR AnchorPropertyPage::OnMessage(HWND hwnd, UINT msg, WPARAM, LPARAM lp) {
    switch (msg) {
    case WM_CTLCOLORSTATIC: {
        const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
        if (id >= kFirstSideId && id < kFirstSideId + 4)
            return reinterpret_cast<INT_PTR>(BarBrush(id - kFirstSideId));
        return FALSE;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item.CtlID < kFirstSideId || item.CtlID >= kFirstSideId + 4) return FALSE;
        DrawBar(item);
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_DESTROY:
        hwnd_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

LRESULT CALLBACK AnchorPropertyPage::FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM:
        return SendMessageW(GetParent(hwnd), msg, wp, lp);
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void AnchorPropertyPage::OnInit(HWND hwnd) {
    hwnd_ = hwnd;
    HWND frame = nullptr;
    for (const AnchorPageElement& e : kAnchorPageLayout) {
        if (e.name == "lblTitle") {
            Child(hwnd, L"STATIC", WideFromUtf8(kAnchorPageTitle).c_str(), 0, 0, e.place, kTitleId);
        } else if (e.name == "lstCtrls") {
            Child(hwnd, L"LISTBOX", L"", LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                  e.place, kListId);
        } else if (e.name == "picFrame") {
            // A control parent, so that Tab reaches the bars inside it.
            frame = Child(hwnd, kFrameClass, L"", WS_CLIPCHILDREN,
                          WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, e.place, kFrameId);
        } else if (e.name == "cmdObject") {
            Child(frame, L"BUTTON", L"", BS_PUSHBUTTON | WS_DISABLED, 0, e.place, kObjectId);
        } else if (e.name == "lblSides") {
            // Drawn buttons: they take the focus and toggle with Space as with a click.
            Child(frame, L"BUTTON", L"", BS_OWNERDRAW | WS_TABSTOP, 0, e.place,
                  kFirstSideId + e.index);
        }
    }

    // The page's selection is the form: fill the list.
    page_.SelectionChanged();
    HWND list = GetDlgItem(hwnd, kListId);
    for (const std::string& entry : page_.Entries())
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(entry).c_str()));
    for (std::size_t i = 0; i < page_.Entries().size(); ++i)
        if (!preselect_.empty() && page_.Entries()[i] == preselect_) {
            SendMessageW(list, LB_SETCURSEL, i, 0);
            page_.SelectEntry(static_cast<int>(i));
        }
    ShowBars();
}

void AnchorPropertyPage::OnCommand(int id, int code) {
    if (id == kListId && code == LBN_SELCHANGE) {
        // The bars' code of the control left goes into the form model, as the sheet keeps a
        // page's edits when another page is chosen; Apply then stores it with the rest.
        if (barsEdited_) page_.Apply();
        barsEdited_ = false;
        const auto sel = SendMessageW(GetDlgItem(hwnd_, kListId), LB_GETCURSEL, 0, 0);
        page_.SelectEntry(sel == LB_ERR ? -1 : static_cast<int>(sel));
        ShowBars();
    } else if (id >= kFirstSideId && id < kFirstSideId + 4 &&
               (code == BN_CLICKED || code == BN_DOUBLECLICKED)) {
        page_.ToggleSide(id - kFirstSideId);
        barsEdited_ = true;
        ShowBars();
        PropSheet_Changed(GetParent(hwnd_), hwnd_);
    }
}

INT_PTR AnchorPropertyPage::OnNotify(const NMHDR& header) {
    if (header.code != static_cast<UINT>(PSN_APPLY)) return FALSE;
    page_.Apply();
    barsEdited_ = false;
    LONG_PTR result = PSNRET_NOERROR;
    if (onApply_ && !onApply_(hwnd_, *form_))
        result = PSNRET_INVALID_NOCHANGEPAGE;
    else
        page_.ClearChanged();
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

HBRUSH AnchorPropertyPage::BarBrush(int side) {
    const std::uint32_t rgb = page_.SideColor(side);
    // Stored as 0x00BBGGRR like the system's colours.
    const COLORREF colour = static_cast<COLORREF>(rgb);
    if (!brushes_[side] || brushColours_[side] != colour) {
        brushes_[side].reset(CreateSolidBrush(colour));
        brushColours_[side] = colour;
    }
    return brushes_[side].get();
}

void AnchorPropertyPage::DrawBar(const DRAWITEMSTRUCT& item) {
    FillRect(item.hDC, &item.rcItem, BarBrush(static_cast<int>(item.CtlID) - kFirstSideId));
    RECT edge = item.rcItem;
    DrawEdge(item.hDC, &edge, BDR_SUNKENOUTER, BF_RECT);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = item.rcItem;
        InflateRect(&focus, -2, -2);
        // Seen on black and on white alike.
        SetTextColor(item.hDC, RGB(0, 0, 0));
        SetBkColor(item.hDC, RGB(255, 255, 255));
        DrawFocusRect(item.hDC, &focus);
    }
}

void AnchorPropertyPage::ShowBars() {
    HWND frame = GetDlgItem(hwnd_, kFrameId);
    for (int j = 0; j < 4; ++j) InvalidateRect(GetDlgItem(frame, kFirstSideId + j), nullptr, TRUE);
}

} // namespace corvale::win32
