// The designer's property sheet under Wine (or Windows), driven through its real controls from a
// second thread while the sheet runs its modal loop; then the design data is read back from disk.
#include "app/designer/designer.h"
#include "controls/win32/anchor_page_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <thread>

namespace corvale::designer {
namespace {

namespace fs = std::filesystem;
using win32::AnchorPropertyPage;

constexpr int kApplyButton = 0x3021;

// A copy of the program's design data in a folder of its own.
struct DesignCopy {
    fs::path dir;
    explicit DesignCopy(const char* name) {
        dir = fs::temp_directory_path() / (std::string("corvale-designer-") + name);
        fs::remove_all(dir);
        fs::copy(fs::path(CORVALE_SOURCE_DIR) / "app" / "forms", dir, fs::copy_options::recursive);
    }
    ~DesignCopy() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    DesignDataFile Open(const char* name) const {
        std::string error;
        auto f = DesignDataFile::Open(dir / name, error);
        if (!f) ADD_FAILURE() << error;
        return std::move(*f);
    }
};

HWND FindSheet(DWORD thread) {
    HWND found = nullptr;
    for (int tries = 0; tries < 200 && !found; ++tries) {
        EnumThreadWindows(
            thread,
            [](HWND w, LPARAM lp) -> BOOL {
                wchar_t cls[16] = {};
                GetClassNameW(w, cls, 16);
                if (IsWindowVisible(w) && std::wstring(cls) == L"#32770") {
                    *reinterpret_cast<HWND*>(lp) = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        if (!found) Sleep(50);
    }
    return found;
}

void Click(HWND w, int x = 3, int y = 3) {
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Runs show() on this thread; drive(sheet, page) runs on another one once the sheet is up.
void WithSheet(const std::function<void()>& show,
               const std::function<void(HWND sheet, HWND page)>& drive) {
    const DWORD self = GetCurrentThreadId();
    std::thread driver([&] {
        HWND sheet = FindSheet(self);
        if (!sheet) return;
        HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        drive(sheet, page);
        if (IsWindow(sheet)) PostMessageW(sheet, WM_COMMAND, IDCANCEL, 0);
    });
    show();
    driver.join();
}

HWND Side(HWND page, int j) {
    return GetDlgItem(GetDlgItem(page, AnchorPropertyPage::kFrameId),
                      AnchorPropertyPage::kFirstSideId + j);
}

TEST(DesignerAnchors, BarClicksEnableApplyAndApplyWritesTheCode) {
    DesignCopy copy("anchors");
    DesignDataFile file = copy.Open("FrmDetailService.json");
    bool applyBefore = true, applyAfterClick = false, applyAfterApply = true;
    std::string tagAfterApply;
    WithSheet([&] { EXPECT_TRUE(ShowProperties(nullptr, file, "Text1", std::nullopt)); },
              [&](HWND sheet, HWND page) {
                  HWND apply = GetDlgItem(sheet, kApplyButton);
                  applyBefore = IsWindowEnabled(apply);
                  Click(Side(page, 2)); // right: anchored -> free
                  Click(Side(page, 3)); // bottom
                  applyAfterClick = IsWindowEnabled(apply);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
                  applyAfterApply = IsWindowEnabled(apply);
                  tagAfterApply = copy.Open("FrmDetailService.json").Model().Find("Text1")->tag;
              });
    EXPECT_FALSE(applyBefore);
    EXPECT_TRUE(applyAfterClick);
    EXPECT_FALSE(applyAfterApply);
    EXPECT_EQ(tagAfterApply, "TTFF*/");
    EXPECT_EQ(copy.Open("FrmDetailService.json").Model().Find("Text1")->tag, "TTFF*/");
}

TEST(DesignerAnchors, ListClickThenOkWritesThatControl) {
    DesignCopy copy("anchors-list");
    DesignDataFile file = copy.Open("FrmMain.json");
    int entries = 0;
    WithSheet([&] { EXPECT_TRUE(ShowProperties(nullptr, file, "Anchor1", std::nullopt)); },
              [&](HWND sheet, HWND page) {
                  HWND list = GetDlgItem(page, AnchorPropertyPage::kListId);
                  entries = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
                  const auto at = SendMessageW(list, LB_FINDSTRINGEXACT, -1,
                                               reinterpret_cast<LPARAM>(L"Label1"));
                  RECT r{};
                  SendMessageW(list, LB_GETITEMRECT, at, reinterpret_cast<LPARAM>(&r));
                  Click(list, r.left + 2, r.top + 2); // "TFFT"
                  Click(Side(page, 1));               // top anchored too
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              });
    EXPECT_EQ(entries, 21); // the positioned controls of FrmMain
    const Form form = copy.Open("FrmMain.json").Model();
    EXPECT_EQ(form.Find("Label1")->tag, "TTFT*/");
    EXPECT_EQ(form.Find("Label3")->tag, "TTFF*/"); // given the default code when listed
    EXPECT_EQ(form.Find("Timer1")->tag, "");
    EXPECT_EQ(form.Find("ListView1")->tag, "TTTT*/");
}

TEST(DesignerAnchors, CancelWritesNothing) {
    DesignCopy copy("anchors-cancel");
    DesignDataFile file = copy.Open("FrmMain.json");
    const std::string before = file.Text();
    WithSheet([&] { ShowProperties(nullptr, file, "ListView1", std::nullopt); },
              [&](HWND sheet, HWND page) {
                  Click(Side(page, 0));
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              });
    EXPECT_EQ(copy.Open("FrmMain.json").Text(), before);
}

} // namespace
} // namespace corvale::designer
