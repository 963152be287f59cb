#include "imaging/win32/source_image_page_window.h"

#include "platform/win32/dpi.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/wide_text.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

namespace corvale::win32 {
namespace {

constexpr std::int32_t kPageWidth = 5445; // twips, as the anchors page
constexpr std::int32_t kPageHeight = 2940;
// Posted when the stored picture did not decode, so that the page is up when it is said.
constexpr UINT kStoredPictureUnreadable = WM_APP + 1;

// x, y, w, h in pixels at 96 dpi, placed at the DPI the page is on (its dialog font, and so its
// size, follow it).
HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int x,
           int y, int w, int h, int id) {
    const UINT dpi = DpiForWindow(parent);
    HWND c = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, ScaleForDpi(x, dpi),
                             ScaleForDpi(y, dpi), ScaleForDpi(w, dpi), ScaleForDpi(h, dpi), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, SendMessageW(GetAncestor(parent, GA_ROOT), WM_GETFONT, 0, 0), 0);
    return c;
}

} // namespace

SourceImagePropertyPage::SourceImagePropertyPage(Bytes picture, std::string pictureName,
                                                 SIZE wanted, ApplyHandler onApply,
                                                 Complaint complain)
    : initial_(std::move(picture)), initialName_(std::move(pictureName)), wanted_(wanted),
      onApply_(std::move(onApply)), complain_(std::move(complain)),
      template_(kPageWidth, kPageHeight), caption_(WideFromUtf8(kSourceImagePageCaption)) {}

SourceImagePropertyPage::~SourceImagePropertyPage() {
    OnDestroy();
}

PROPSHEETPAGEW SourceImagePropertyPage::Page() {
    return SheetPage(template_, caption_, PageDialogProc<SourceImagePropertyPage>, this);
}

INT_PTR SourceImagePropertyPage::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
    case WM_DROPFILES:
        OnDrop(reinterpret_cast<HDROP>(wp));
        return TRUE;
    case kStoredPictureUnreadable:
        if (complain_)
            complain_(hwnd, "The stored picture " + initialName_ +
                                " could not be read; the control shows nothing.");
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default:
        return FALSE;
    }
}

void SourceImagePropertyPage::OnInit(HWND hwnd) {
    hwnd_ = hwnd;
    // Buttons on the left, the preview beside them, the icon list and the description across
    // the page (an entry such as "016x016 {32 bit, True Color Alpha}" needs the width).
    Child(hwnd, L"BUTTON", L"Browse", BS_PUSHBUTTON | WS_TABSTOP, 0, 8, 8, 110, 24, cmdBrowse);
    Child(hwnd, L"BUTTON", L"From Clipboard", BS_PUSHBUTTON | WS_TABSTOP, 0, 8, 38, 110, 24,
          cmdClipBoard);
    Child(hwnd, L"BUTTON", L"Clear Image", BS_PUSHBUTTON | WS_TABSTOP, 0, 8, 68, 110, 24, Command1);
    HWND icons = Child(hwnd, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, 8,
                       140, 347, 200, cboIcon);
    arial_.reset(CreateFontW(FontHeightForDpi(900, DpiForWindow(hwnd)), 0, 0, 0, FW_NORMAL, FALSE,
                             FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                             WideFromUtf8(kIconListFont).c_str()));
    if (arial_) SendMessageW(icons, WM_SETFONT, reinterpret_cast<WPARAM>(arial_.get()), TRUE);
    Child(hwnd, L"STATIC", L"", SS_LEFTNOWORDWRAP, 0, 8, 170, 347, 18, lblFormat);
    HWND frame = Child(hwnd, L"STATIC", L"", SS_WHITERECT, WS_EX_CLIENTEDGE, 126, 8, 229, 124,
                       ucAlphaImage1);

    // The preview: an alpha image control filling the frame.
    RECT inner{};
    GetClientRect(frame, &inner);
    host_ = std::make_unique<AlphaImageHost>(frame);
    host_->SetBackground(GetSysColorBrush(COLOR_WINDOW)); // as the white frame
    aicAlphaImage& preview = host_->Add("ucAlphaImage1", inner, {});
    preview.InitProperties();
    preview.ScaleMethod(AlphaScaleMethod::FitNoEnlarge);
    preview.Show();
    preview_ = &preview;
    page_ = std::make_unique<ppgSourceImage>(preview);
    page_->Show(initial_, wanted_.cx, wanted_.cy);
    if (!initial_.empty() && !page_->HasPicture())
        PostMessageW(hwnd, kStoredPictureUnreadable, 0, 0);
    DragAcceptFiles(hwnd, TRUE);
    FillIconList();
    ShowState();
}

void SourceImagePropertyPage::OnDestroy() {
    page_.reset();
    preview_ = nullptr;
    host_.reset();
    arial_.reset();
    hwnd_ = nullptr;
}

void SourceImagePropertyPage::FillIconList() {
    HWND icons = GetDlgItem(hwnd_, cboIcon);
    SendMessageW(icons, CB_RESETCONTENT, 0, 0);
    // The drop-down is at least as wide as the widest entry.
    RECT box{};
    GetWindowRect(icons, &box);
    int widest = box.right - box.left;
    const WindowDc dc(icons);
    const Selection font(dc.get(),
                         reinterpret_cast<HGDIOBJ>(SendMessageW(icons, WM_GETFONT, 0, 0)));
    for (const std::string& e : page_->IconEntries()) {
        const std::wstring text = WideFromUtf8(e);
        SendMessageW(icons, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        SIZE extent{};
        GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
        const UINT dpi = DpiForWindow(icons);
        widest = std::max<int>(widest, extent.cx + SystemMetricForDpi(SM_CXVSCROLL, dpi) +
                                           ScaleForDpi(8, dpi));
    }
    SendMessageW(icons, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest), 0);
}

void SourceImagePropertyPage::ShowState() {
    if (!page_ || !hwnd_) return;
    SetDlgItemTextW(hwnd_, lblFormat, WideFromUtf8(page_->Description()).c_str());
    InvalidateRect(GetDlgItem(hwnd_, ucAlphaImage1), nullptr, TRUE);
    if (page_->Changed()) PropSheet_Changed(GetParent(hwnd_), hwnd_);
}

bool SourceImagePropertyPage::LoadFile(const std::string& fileName) {
    if (!page_) return false;
    if (!page_->LoadFile(fileName, wanted_.cx, wanted_.cy)) {
        ShowState();
        if (complain_) complain_(hwnd_, "The picture could not be loaded from " + fileName + ".");
        return false;
    }
    FillIconList();
    ShowState();
    return true;
}

void SourceImagePropertyPage::Browse() {
    const std::wstring filter = WideFromUtf8(SelectImageFilter(preview_->GDIplusEnabled()));
    const std::wstring title = WideFromUtf8(kSelectImageTitle);
    std::vector<wchar_t> name(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = kSelectImageFlags;
    if (GetOpenFileNameW(&ofn)) LoadFile(Utf8FromWide(name.data()));
}

void SourceImagePropertyPage::FromClipboard() {
    const bool ok = page_->LoadClipboard(
        [this](aicAlphaImage& preview) {
            if (preview.LoadImage_FromClipboard()) return true;
            // A copied file loads like Browse.
            std::vector<std::string> files;
            return c32bppDIB::GetPastedFileNames(files) && !files.empty() &&
                   preview.LoadImage_FromFile(files.front(), wanted_.cx, wanted_.cy);
        },
        wanted_.cx, wanted_.cy);
    if (!ok && complain_) complain_(hwnd_, "The clipboard holds no picture this control can show.");
    FillIconList();
    ShowState();
}

void SourceImagePropertyPage::OnCommand(int id, int code) {
    if (!page_) return;
    if (id == cmdBrowse && code == BN_CLICKED) {
        Browse();
    } else if (id == cmdClipBoard && code == BN_CLICKED) {
        FromClipboard();
    } else if (id == Command1 && code == BN_CLICKED) {
        page_->Clear();
        FillIconList();
        ShowState();
    } else if (id == cboIcon && code == CBN_SELCHANGE) {
        const auto sel = SendDlgItemMessageW(hwnd_, cboIcon, CB_GETCURSEL, 0, 0);
        if (sel != CB_ERR) page_->PickIcon(static_cast<int>(sel));
        ShowState();
    }
}

void SourceImagePropertyPage::OnDrop(HDROP drop) {
    std::wstring name;
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        name.resize(length + 1);
        DragQueryFileW(drop, 0, name.data(), length + 1);
        name.resize(length);
    }
    DragFinish(drop);
    if (!name.empty()) LoadFile(Utf8FromWide(name));
}

INT_PTR SourceImagePropertyPage::OnNotify(const NMHDR& header) {
    if (header.code != static_cast<UINT>(PSN_APPLY)) return FALSE;
    LONG_PTR result = PSNRET_NOERROR;
    if (page_ && page_->Changed()) {
        const std::optional<Bytes> picture = page_->StoredImage();
        if (!picture) {
            // Never handed over as "no picture": that would remove the stored one.
            if (complain_)
                complain_(hwnd_, "This picture cannot be stored (it cannot be made into a PNG).");
            result = PSNRET_INVALID_NOCHANGEPAGE;
        } else if (onApply_ && !onApply_(hwnd_, *picture)) {
            result = PSNRET_INVALID_NOCHANGEPAGE;
        } else {
            page_->ClearChanged();
        }
    }
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

} // namespace corvale::win32
