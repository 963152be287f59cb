#include "app/designer/designer.h"

#include "controls/common_dialog.h"
#include "controls/win32/anchor_page_window.h"
#include "controls/win32/common_dialog_win32.h"
#include "imaging/win32/source_image_page_window.h"
#include "platform/win32/wide_text.h"

#include <commctrl.h>
#include <ole2.h>

#include <memory>

namespace corvale::designer {
namespace {

constexpr wchar_t kWindowClass[] = L"CorvaleDesigner";
constexpr wchar_t kTitle[] = L"Corvale Designer";
constexpr int kListId = 200;
constexpr int kOpenId = 201;
constexpr int kPropertiesId = 202;
constexpr int kPathId = 203;

void Complain(HWND owner, const std::string& text) {
    MessageBoxW(owner, WideFromUtf8(text).c_str(), kTitle, MB_OK | MB_ICONEXCLAMATION);
}

std::string ListText(const Control& c) {
    return c.DisplayName() + "  (" + std::string(ControlKindName(c.kind)) + ")";
}

bool HoldsAnchor(const Form& form) {
    for (const Control& c : form.controls)
        if (c.kind == ControlKind::Anchor) return true;
    return false;
}

int ShowSheet(HWND owner, const std::string& caption, PROPSHEETPAGEW page) {
    const std::wstring title = WideFromUtf8(caption);
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.dwFlags = PSH_PROPSHEETPAGE | PSH_PROPTITLE | PSH_NOCONTEXTHELP;
    h.hwndParent = owner;
    h.hInstance = GetModuleHandleW(nullptr);
    h.pszCaption = title.c_str();
    h.nPages = 1;
    h.ppsp = &page;
    return static_cast<int>(PropertySheetW(&h));
}

// The main window: the open file's path, its controls, Open and Properties buttons.
class MainWindow {
  public:
    bool Create(HINSTANCE instance) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = Proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        RegisterClassExW(&wc);
        hwnd_ = CreateWindowExW(0, kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 420, 420, nullptr, nullptr, instance, this);
        return hwnd_ != nullptr;
    }
    HWND Hwnd() const { return hwnd_; }

    bool Open(const std::filesystem::path& path) {
        std::string error;
        auto file = DesignDataFile::Open(path, error);
        if (!file) {
            Complain(hwnd_, error);
            return false;
        }
        file_ = std::make_shared<DesignDataFile>(std::move(*file));
        FillList();
        return true;
    }

    void AskAndOpen() {
        cCommonDialog dialog(win32::SystemDialogApi());
        dialog.SethWnd(reinterpret_cast<WindowHandle>(hwnd_));
        dialog.SetDialogTitle("Open Design Data");
        dialog.SetFilter("Design Data (*.json)|*.json|All Files (*.*)|*.*");
        dialog.Setflags(0x1000); // the file must exist
        if (dialog.ShowOpen() == DialogOutcome::Chosen && !dialog.Filename().empty())
            Open(PathFromUtf8(dialog.Filename()));
    }

    // Properties of the control named like this ("Name" or "Name(3)").
    void ShowFor(const std::string& displayName) {
        if (!file_) return;
        // The sheet works on this file object to the end, whatever is opened meanwhile.
        const std::shared_ptr<DesignDataFile> file = file_;
        for (const Control& c : file->Model().controls)
            if (c.DisplayName() == displayName) {
                const std::string name = c.name;
                const auto index = c.index;
                if (!ShowProperties(hwnd_, *file, name, index))
                    Complain(hwnd_, displayName + " has no property page in this designer.");
                else if (file == file_)
                    FillList(); // the sheet may have read the file again
                return;
            }
        Complain(hwnd_, "There is no control " + displayName + " on " + file_->Model().name + ".");
    }

  private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrW(
                hwnd, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
        switch (msg) {
        case WM_CREATE:
            self->hwnd_ = hwnd;
            self->OnCreate();
            return 0;
        case WM_SIZE:
            self->OnSize(LOWORD(lp), HIWORD(lp));
            return 0;
        case WM_COMMAND:
            self->OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
    }

    HWND Make(const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int id) {
        HWND w = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
        SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
        return w;
    }

    void OnCreate() {
        Make(L"STATIC", L"No design data open", SS_PATHELLIPSIS, 0, kPathId);
        Make(L"LISTBOX", L"", LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, kListId);
        Make(L"BUTTON", L"&Open...", BS_PUSHBUTTON | WS_TABSTOP, 0, kOpenId);
        Make(L"BUTTON", L"&Properties...", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, kPropertiesId);
    }

    void OnSize(int w, int h) {
        MoveWindow(GetDlgItem(hwnd_, kPathId), 8, 8, w - 16, 18, TRUE);
        MoveWindow(GetDlgItem(hwnd_, kListId), 8, 30, w - 16, h - 74, TRUE);
        MoveWindow(GetDlgItem(hwnd_, kOpenId), 8, h - 36, 100, 28, TRUE);
        MoveWindow(GetDlgItem(hwnd_, kPropertiesId), w - 108, h - 36, 100, 28, TRUE);
    }

    void OnCommand(int id, int code) {
        if (id == kOpenId) {
            AskAndOpen();
        } else if (id == kPropertiesId || (id == kListId && code == LBN_DBLCLK)) {
            const auto sel = SendDlgItemMessageW(hwnd_, kListId, LB_GETCURSEL, 0, 0);
            if (!file_ || sel == LB_ERR || static_cast<std::size_t>(sel) >= names_.size()) return;
            ShowFor(names_[static_cast<std::size_t>(sel)]);
        }
    }

    void FillList() {
        HWND list = GetDlgItem(hwnd_, kListId);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        names_.clear();
        for (const Control& c : file_->Model().controls) {
            SendMessageW(list, LB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(WideFromUtf8(ListText(c)).c_str()));
            names_.push_back(c.DisplayName());
        }
        SetDlgItemTextW(hwnd_, kPathId, file_->Path().wstring().c_str());
        SetWindowTextW(hwnd_,
                       (std::wstring(kTitle) + L" - " + WideFromUtf8(file_->Model().name)).c_str());
    }

    HWND hwnd_ = nullptr;
    std::shared_ptr<DesignDataFile> file_;
    std::vector<std::string> names_; // display names in list order (unsorted list)
};

} // namespace

// A failed save, told in a message owned by the sheet (so that closing it leaves the window
// under the sheet disabled). When the file changed on disk the user may read it again; the
// sheet then closes, as its edits were made on what was read before.
void ComplainAboutSave(HWND page, DesignDataFile& file, const std::string& what,
                       const std::string& error) {
    HWND sheet = GetParent(page);
    if (!file.ChangedOnDisk()) {
        Complain(sheet, what + " not saved: " + error);
        return;
    }
    const std::wstring text = WideFromUtf8(
        what + " not saved: " + error +
        ".\n\nRead the file again? The changes made on this page since the last Apply are "
        "dropped.");
    if (MessageBoxW(sheet, text.c_str(), kTitle, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    std::string reloadError;
    if (!file.Reload(reloadError)) {
        Complain(sheet, reloadError);
        return;
    }
    PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

PageKind PageFor(const Form& form, const Control& control) {
    if (control.kind == ControlKind::AlphaImage) return PageKind::ImageSource;
    if (control.kind == ControlKind::Anchor) return PageKind::Anchors;
    if (control.position && HoldsAnchor(form)) return PageKind::Anchors;
    return PageKind::None;
}

bool ShowProperties(HWND owner, DesignDataFile& file, const std::string& name,
                    std::optional<std::int32_t> index) {
    const Control* control = file.Model().Find(name, index);
    if (!control) return false;
    const std::string caption = control->DisplayName();
    switch (PageFor(file.Model(), *control)) {
    case PageKind::Anchors: {
        Form working = file.Model();
        const std::string preselect =
            control->kind == ControlKind::Anchor ? std::string() : AnchorListEntry(*control);
        win32::AnchorPropertyPage page(
            working,
            [&](HWND page, const Form& edited) {
                std::string error;
                if (file.SaveTags(edited, error)) return true;
                ComplainAboutSave(page, file, "The anchors were", error);
                return false;
            },
            preselect);
        ShowSheet(owner, caption, page.Page());
        return true;
    }
    case PageKind::ImageSource: {
        const Bytes* stored = control->properties.GetBytes("Image");
        const TwipsRect place = control->position.value_or(TwipsRect{});
        const std::string name = control->name;
        const auto index = control->index;
        win32::SourceImagePropertyPage page(
            stored ? *stored : Bytes{}, file.PictureFileOf(name, index),
            SIZE{win32::TwipsToPixels(place.width), win32::TwipsToPixels(place.height)},
            [&, name, index](HWND page, const Bytes& picture) {
                std::string error;
                if (file.SavePicture(name, index, picture, error)) return true;
                ComplainAboutSave(page, file, "The picture was", error);
                return false;
            },
            [](HWND page, const std::string& text) { Complain(GetParent(page), text); });
        ShowSheet(owner, caption, page.Page());
        return true;
    }
    case PageKind::None:
        return false;
    }
    return false;
}

int RunDesigner(HINSTANCE instance, const std::wstring& file, const std::string& openControl) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    MainWindow window;
    if (!window.Create(instance)) return 1;
    ShowWindow(window.Hwnd(), SW_SHOWNORMAL);
    UpdateWindow(window.Hwnd());
    if (!file.empty() ? window.Open(std::filesystem::path(file)) : (window.AskAndOpen(), true))
        if (!openControl.empty()) window.ShowFor(openControl);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window.Hwnd(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    OleUninitialize();
    return static_cast<int>(msg.wParam);
}

} // namespace corvale::designer
