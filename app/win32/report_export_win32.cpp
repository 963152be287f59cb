#include "app/win32/report_export_win32.h"

#include "app/ModMain.h"
#include "controls/file_dialog_record.h"
#include "controls/win32/common_dialog_win32.h"
#include "platform/win32/text_seams.h"
#include "platform/win32/wide_text.h"

#include <objbase.h>
#include <shlobj.h>

#include <array>

namespace corvale::win32 {

namespace {

// An item identifier list from the shell, freed on every path.
class ItemIdList {
  public:
    ItemIdList() = default;
    ~ItemIdList() { CoTaskMemFree(p_); }
    ItemIdList(const ItemIdList&) = delete;
    ItemIdList& operator=(const ItemIdList&) = delete;
    PIDLIST_ABSOLUTE* Out() { return &p_; }
    PCIDLIST_ABSOLUTE Get() const { return p_; }

  private:
    PIDLIST_ABSOLUTE p_ = nullptr;
};

} // namespace

std::string GetSpecialFolderPath(int folderId) {
    // The wide form: a desktop folder named outside the ANSI code page is found as it is.
    std::array<wchar_t, MAX_PATH> buffer{};
    ItemIdList list;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, list.Out())) || !list.Get()) return {};
    if (!SHGetPathFromIDListW(list.Get(), buffer.data())) return {};
    buffer.back() = L'\0';
    return Utf8FromWide(buffer.data());
}

std::string DefaultReportPath() {
    return MakeReportPath(GetSpecialFolderPath(0));
}

SaveListResult SaveListWithSystemDialog(HWND owner, std::string& reportPath,
                                        const ListControl& list, const YieldFn& yield,
                                        cCommonDialog::Events* dialogEvents) {
    Win32FileWriter writer;
    const auto showMessage = [owner](const std::string& message) {
        // The message box runs a message loop of its own; the window's handler that called
        // the save counts it as a yield.
        wchar_t caption[128] = {};
        if (owner) GetWindowTextW(owner, caption, 128);
        MessageBoxW(owner, WideFromUtf8(message).c_str(), caption[0] ? caption : L"Corvale",
                    MB_OK | MB_ICONEXCLAMATION);
    };
    const SaveListSeams seams{SystemDialogApi(), writer, yield, dialogEvents, showMessage};
    return SaveListThroughDialog(reinterpret_cast<WindowHandle>(owner), reportPath, list, seams);
}

bool CopyListToSystemClipboard(HWND owner, const ListControl& list) {
    Win32Clipboard clipboard(owner);
    return CopyListToClipboard(list, clipboard);
}

} // namespace corvale::win32
