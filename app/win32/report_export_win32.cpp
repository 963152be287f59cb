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
    std::array<char, ofn::kSingleBuffer> buffer{};
    ItemIdList list;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folderId, list.Out())) || !list.Get()) return {};
    if (!SHGetPathFromIDListA(list.Get(), buffer.data())) return {};
    return Utf8FromAnsi(TrimAtNull(std::string_view(buffer.data(), buffer.size())));
}

std::string DefaultReportPath() {
    return MakeReportPath(GetSpecialFolderPath(0));
}

SaveListResult SaveListWithSystemDialog(HWND owner, std::string& reportPath,
                                        const ListControl& list, const YieldFn& yield,
                                        cCommonDialog::Events* dialogEvents) {
    Win32FileWriter writer;
    const SaveListSeams seams{SystemDialogApi(), writer, yield, dialogEvents};
    return SaveListThroughDialog(reinterpret_cast<WindowHandle>(owner), reportPath, list, seams);
}

bool CopyListToSystemClipboard(HWND owner, const ListControl& list) {
    Win32Clipboard clipboard(owner);
    return CopyListToClipboard(list, clipboard);
}

} // namespace corvale::win32
