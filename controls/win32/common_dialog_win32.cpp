#include "controls/win32/common_dialog_win32.h"

#include "controls/win32/dialog_records_win32.h"
#include "platform/win32/dpi.h"
#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include <commdlg.h>
#include <olectl.h>
#include <winspool.h>

#include <algorithm>
#include <cstddef>

namespace corvale::win32 {

namespace {

HWND AsHwnd(WindowHandle h) {
    return reinterpret_cast<HWND>(h);
}

DWORD BufferLength(std::uint32_t declared, const std::vector<char>& buffer) {
    return static_cast<DWORD>(std::min<std::size_t>(declared, buffer.size()));
}

std::int32_t CallFileDialogW(FileDialogRecord& record, bool open);

// The 76-byte record as the platform's own structure. On 32-bit Windows this is the same
// layout; on 64-bit Windows the pointers are wider and the old-size constant is larger.
std::int32_t CallFileDialog(FileDialogRecord& record, bool open) {
    if (record.wide) return CallFileDialogW(record, open);
    if (record.file.empty() || record.fileTitle.empty()) return 0;
#if !defined(_WIN64)
    static_assert(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == ofn::kRecordSize);
    static_assert(offsetof(OPENFILENAMEA, Flags) == ofn::kFlags);
#endif
    OPENFILENAMEA o{};
    o.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    o.hwndOwner = AsHwnd(record.Owner());
    if (record.instance != 0) o.hInstance = reinterpret_cast<HINSTANCE>(record.instance);
    if (record.Has(ofn::kFilter)) o.lpstrFilter = record.filter.c_str();
    o.nFilterIndex = record.U32(ofn::kFilterIndex);
    if (record.Has(ofn::kFile)) {
        o.lpstrFile = record.file.data();
        o.nMaxFile = BufferLength(record.U32(ofn::kMaxFile), record.file);
    }
    if (record.Has(ofn::kFileTitle)) {
        o.lpstrFileTitle = record.fileTitle.data();
        o.nMaxFileTitle = BufferLength(record.U32(ofn::kMaxFileTitle), record.fileTitle);
    }
    if (record.Has(ofn::kInitialDir)) o.lpstrInitialDir = record.initialDir.c_str();
    if (record.Has(ofn::kTitle)) o.lpstrTitle = record.title.c_str();
    o.Flags = record.Flags();
    if (record.Has(ofn::kDefExt)) o.lpstrDefExt = record.defExt.c_str();
    if (record.Has(ofn::kHook)) o.lpfnHook = DialogHookProc;
    if (record.Flags() & ofn::kEnableTemplate)
        o.lpTemplateName = MAKEINTRESOURCEA(record.U32(ofn::kTemplateName));

    const BOOL result = open ? GetOpenFileNameA(&o) : GetSaveFileNameA(&o);

    record.SetFlags(o.Flags);
    record.SetU32(ofn::kFilterIndex, o.nFilterIndex);
    record.SetU16(ofn::kFileOffset, o.nFileOffset);
    record.SetU16(ofn::kFileExtension, o.nFileExtension);
    return result;
}

// A UTF-8 text of the record as a wide string (empty when the record has none).
std::wstring WideField(const FileDialogRecord& record, std::size_t offset, const std::string& s) {
    return record.Has(offset) ? WideFromUtf8(s) : std::wstring();
}

// A wide buffer of the declared size holding the text of a record buffer up to its first NUL.
std::wstring WideBuffer(const std::vector<char>& utf8, std::uint32_t size) {
    std::wstring out = WideFromUtf8(TrimAtNull(std::string_view(utf8.data(), utf8.size())));
    if (out.size() >= size) out.resize(size > 0 ? size - 1 : 0);
    out.resize(size, L'\0');
    return out;
}

// The same record through the wide-character dialog: every text goes as UTF-16, every answer
// comes back as UTF-8, whole buffers included (a multiple selection keeps its NULs).
std::int32_t CallFileDialogW(FileDialogRecord& record, bool open) {
    const std::uint32_t fileSize = record.U32(ofn::kMaxFile);
    const std::uint32_t titleSize = record.U32(ofn::kMaxFileTitle);
    if (fileSize == 0 || titleSize == 0) return 0;
    const std::wstring filter = WideField(record, ofn::kFilter, record.filter);
    const std::wstring initialDir = WideField(record, ofn::kInitialDir, record.initialDir);
    const std::wstring title = WideField(record, ofn::kTitle, record.title);
    const std::wstring defExt = WideField(record, ofn::kDefExt, record.defExt);
    std::wstring file = WideBuffer(record.file, fileSize);
    std::wstring fileTitle = WideBuffer(record.fileTitle, titleSize);

    OPENFILENAMEW o{};
    o.lStructSize = sizeof o;
    o.hwndOwner = AsHwnd(record.Owner());
    if (record.instance != 0) o.hInstance = reinterpret_cast<HINSTANCE>(record.instance);
    if (record.Has(ofn::kFilter)) o.lpstrFilter = filter.c_str();
    o.nFilterIndex = record.U32(ofn::kFilterIndex);
    o.lpstrFile = file.data();
    o.nMaxFile = fileSize;
    o.lpstrFileTitle = fileTitle.data();
    o.nMaxFileTitle = titleSize;
    if (record.Has(ofn::kInitialDir)) o.lpstrInitialDir = initialDir.c_str();
    if (record.Has(ofn::kTitle)) o.lpstrTitle = title.c_str();
    o.Flags = record.Flags();
    if (record.Has(ofn::kDefExt)) o.lpstrDefExt = defExt.c_str();
    if (record.Has(ofn::kHook)) o.lpfnHook = DialogHookProc;
    if (record.Flags() & ofn::kEnableTemplate)
        o.lpTemplateName = MAKEINTRESOURCEW(record.U32(ofn::kTemplateName));

    const BOOL result = open ? GetOpenFileNameW(&o) : GetSaveFileNameW(&o);

    if (result) {
        const std::string fileUtf8 = Utf8FromWide(file);
        const std::string titleUtf8 = Utf8FromWide(fileTitle);
        record.file.assign(fileUtf8.begin(), fileUtf8.end());
        record.fileTitle.assign(titleUtf8.begin(), titleUtf8.end());
    }
    record.SetFlags(o.Flags);
    record.SetU32(ofn::kFilterIndex, o.nFilterIndex);
    record.SetU16(ofn::kFileOffset, o.nFileOffset);
    record.SetU16(ofn::kFileExtension, o.nFileExtension);
    return result;
}

class Win32DialogApi final : public DialogApi {
  public:
    std::string ToAnsi(std::string_view utf8) override { return AnsiFromUtf8(utf8); }
    std::string FromAnsi(std::string_view ansi) override { return Utf8FromAnsi(ansi); }

    std::int32_t OpenFileDialog(FileDialogRecord& record) override {
        return CallFileDialog(record, true);
    }
    std::int32_t SaveFileDialog(FileDialogRecord& record) override {
        return CallFileDialog(record, false);
    }
    std::uint32_t CommDlgExtendedError() override { return ::CommDlgExtendedError(); }
    std::int16_t QueryFileTitle(const std::string& ansiFile, std::span<char> buffer) override {
        const WORD size = static_cast<WORD>(std::min<std::size_t>(buffer.size(), 0xFFFF));
        return ::GetFileTitleA(ansiFile.c_str(), buffer.data(), size);
    }

    WindowHandle GetParent(WindowHandle window) override {
        return reinterpret_cast<WindowHandle>(::GetParent(AsHwnd(window)));
    }
    std::optional<DialogRect> GetWindowRect(WindowHandle window) override {
        RECT r{};
        if (!::GetWindowRect(AsHwnd(window), &r)) return std::nullopt;
        return DialogRect{r.left, r.top, r.right, r.bottom};
    }
    void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, bool repaint) override {
        ::MoveWindow(AsHwnd(window), x, y, width, height, repaint ? TRUE : FALSE);
    }
    std::optional<DialogRect> WorkArea() override {
        RECT r{};
        if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) return std::nullopt;
        return DialogRect{r.left, r.top, r.right, r.bottom};
    }
    std::pair<std::int32_t, std::int32_t> ScreenPixels() override {
        return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }

    ModuleHandle LoadModule(const std::string& ansiName) override {
        // A bare name: the program's own folder, then the system folder; never the current one.
        const std::wstring name = wide_text_detail::ToWide(CP_ACP, ansiName);
        HMODULE m = LoadShippedLibrary(name);
        if (!m && name.find_first_of(L"\\/:") == std::wstring::npos)
            m = LoadSystemLibrary(name.c_str());
        return reinterpret_cast<ModuleHandle>(m);
    }
    void ReleaseModule(ModuleHandle module) override {
        if (module != 0) ::FreeLibrary(reinterpret_cast<HMODULE>(module));
    }

    std::int32_t NotifyCode(std::intptr_t lParam) override {
        if (lParam == 0) return 0;
        return static_cast<std::int32_t>(reinterpret_cast<const NMHDR*>(lParam)->code);
    }
    void SetMessageResult(WindowHandle hDlg, std::intptr_t value) override {
        SetWindowLongPtrA(AsHwnd(hDlg), DWLP_MSGRESULT, value);
    }

    std::int32_t ChooseColorDialog(ColorDialogRecord& r) override { return CallChooseColor(r); }
    std::int32_t ChooseFontDialog(FontDialogRecord& r) override { return CallChooseFont(r); }
    std::int32_t PrintDialog(PrintDialogRecord& r) override { return CallPrintDlg(r); }
    std::int32_t PageSetupDialog(PageSetupRecord& r) override { return CallPageSetupDlg(r); }

    std::uint32_t SysColor(std::int32_t index) override { return GetSysColor(index); }
    std::optional<std::uint32_t> TranslateColor(std::int32_t color) override {
        COLORREF rgb = 0;
        if (OleTranslateColor(static_cast<OLE_COLOR>(color), nullptr, &rgb) != S_OK)
            return std::nullopt;
        return rgb;
    }
    double TwipsPerPixelY() override { return ScreenTwipsPerPixel(); }
    DeviceContext CreatePrinterDC(const std::string& ansiDevice) override {
        std::string device = ansiDevice;
        if (device.empty()) {
            char name[512] = {};
            DWORD size = sizeof name;
            if (!GetDefaultPrinterA(name, &size)) return 0;
            device = name;
        }
        return reinterpret_cast<DeviceContext>(
            CreateDCA(nullptr, device.c_str(), nullptr, nullptr));
    }
    void DeleteDC(DeviceContext dc) override {
        if (dc != 0) ::DeleteDC(reinterpret_cast<HDC>(dc));
    }

    void RunHelp(WindowHandle owner, const std::string* ansiFile, std::uint32_t command,
                 std::uintptr_t data) override {
        CallWinHelp(AsHwnd(owner), ansiFile ? ansiFile->c_str() : nullptr, command, data);
    }
    void PlaceHelpWindow(WindowHandle owner, const std::string* ansiFile,
                         const HelpWindowRecord& record) override {
        SetHelpWindow(AsHwnd(owner), ansiFile ? ansiFile->c_str() : nullptr, record);
    }
};

} // namespace

DialogApi& SystemDialogApi() {
    static Win32DialogApi api;
    return api;
}

UINT_PTR CALLBACK DialogHookProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return static_cast<UINT_PTR>(
        mDialogHook::RouteHook(reinterpret_cast<WindowHandle>(h), m, w, l));
}

} // namespace corvale::win32
