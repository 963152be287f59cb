// The designer's property sheet under Wine (or Windows), driven through its real controls from a
// second thread while the sheet runs its modal loop; then the design data is read back from disk.
#include "app/designer/designer.h"
#include "controls/win32/anchor_page_window.h"
#include "imaging/win32/source_image_page_window.h"
#include "platform/win32/dpi.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <iterator>

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

struct DialogSearch {
    const wchar_t* title;
    HWND except;
    HWND found;
    bool sheet = false; // only a property sheet (not a message box it raised)
};

BOOL CALLBACK MatchDialog(HWND w, LPARAM lp) {
    auto& s = *reinterpret_cast<DialogSearch*>(lp);
    wchar_t cls[16] = {}, text[64] = {};
    GetClassNameW(w, cls, 16);
    GetWindowTextW(w, text, 64);
    if (w != s.except && IsWindowVisible(w) && std::wstring(cls) == L"#32770" &&
        (!s.title || std::wstring(text) == s.title) &&
        (!s.sheet || SendMessageW(w, PSM_GETCURRENTPAGEHWND, 0, 0) != 0)) {
        s.found = w;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog window of the thread, other than except (and titled so, when title is set).
HWND FindDialog(DWORD thread, const wchar_t* title = nullptr, HWND except = nullptr) {
    DialogSearch search{title, except, nullptr};
    for (int tries = 0; tries < 200 && !search.found; ++tries) {
        EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    return search.found;
}

HWND FindSheet(DWORD thread) {
    DialogSearch search{nullptr, nullptr, nullptr, true};
    for (int tries = 0; tries < 200 && !search.found; ++tries) {
        EnumThreadWindows(thread, MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    return search.found;
}

void Click(HWND w, int x = 3, int y = 3) {
    SendMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// Runs show() on this thread; drive(sheet, page) runs on another one once the sheet is up.
DWORD g_uiThread = 0;
void WithSheet(const std::function<void()>& show,
               const std::function<void(HWND sheet, HWND page)>& drive) {
    const DWORD self = GetCurrentThreadId();
    g_uiThread = self;
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

// Clicks a list entry as the user would.
void ClickEntry(HWND list, const wchar_t* entry) {
    const auto at = SendMessageW(list, LB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(entry));
    RECT r{};
    SendMessageW(list, LB_GETITEMRECT, at, reinterpret_cast<LPARAM>(&r));
    Click(list, r.left + 2, r.top + 2);
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

TEST(DesignerAnchors, KeyboardTogglesABarAndChoosingAnotherControlKeepsTheEdit) {
    DesignCopy copy("anchors-keys");
    DesignDataFile file = copy.Open("FrmMain.json");
    HWND focused = nullptr, left = nullptr;
    WithSheet([&] { ShowProperties(nullptr, file, "Anchor1", std::nullopt); },
              [&](HWND sheet, HWND page) {
                  HWND list = GetDlgItem(page, AnchorPropertyPage::kListId);
                  ClickEntry(list, L"Label1");                  // "TFFT"
                  SendMessageW(sheet, WM_NEXTDLGCTL, 0, FALSE); // Tab: the left bar
                  focused = FocusOf(g_uiThread);
                  left = Side(page, 0);
                  SendMessageW(focused, WM_KEYDOWN, VK_SPACE, 0x00390001);
                  SendMessageW(focused, WM_KEYUP, VK_SPACE, 0xC0390001);
                  ClickEntry(list, L"Label2"); // Label1's edit is not dropped
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              });
    EXPECT_EQ(focused, left);
    const Form form = copy.Open("FrmMain.json").Model();
    EXPECT_EQ(form.Find("Label1")->tag, "FFFT*/");
    EXPECT_EQ(form.Find("Label2")->tag, "TFFT*/");
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

using win32::SourceImagePropertyPage;

std::wstring Text(HWND w) {
    wchar_t buffer[256] = {};
    GetWindowTextW(w, buffer, 256);
    return buffer;
}

std::wstring TestFile(const char* relative) {
    return fs::absolute(fs::path(CORVALE_TESTDATA_DIR) / relative).wstring();
}

// Browse: the "Select Image" dialog comes up; the file name is typed in and OK pressed.
// Returns the number of file types the dialog offers.
int BrowseTo(HWND page, const std::wstring& file) {
    PostMessageW(GetDlgItem(page, SourceImagePropertyPage::cmdBrowse), BM_CLICK, 0, 0);
    HWND dialog = FindDialog(g_uiThread, L"Select Image");
    if (!dialog) return -1;
    const int types = static_cast<int>(SendDlgItemMessageW(dialog, 0x470, CB_GETCOUNT, 0, 0));
    SetDlgItemTextW(dialog, 0x47C, file.c_str()); // the file name box
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    for (int tries = 0; tries < 100 && IsWindow(dialog); ++tries) Sleep(50);
    return types;
}

// Keeps the text of the child with a long text (a message box's message).
BOOL CALLBACK LongestText(HWND w, LPARAM lp) {
    if (GetWindowTextLengthW(w) > 10) *reinterpret_cast<std::wstring*>(lp) = Text(w);
    return TRUE;
}

// A file dropped on the page, as the shell would hand it over.
void Drop(HWND page, const std::wstring& file) {
    const SIZE_T bytes = sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t);
    HGLOBAL h = GlobalAlloc(GHND, bytes);
    auto* d = static_cast<DROPFILES*>(GlobalLock(h));
    d->pFiles = sizeof(DROPFILES);
    d->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(d) + sizeof(DROPFILES), file.c_str(),
                file.size() * sizeof(wchar_t));
    GlobalUnlock(h);
    PostMessageW(page, WM_DROPFILES, reinterpret_cast<WPARAM>(h), 0);
}

Bytes StoredImage(const DesignCopy& copy, const char* control) {
    const DesignDataFile file = copy.Open("FrmMain.json");
    const Bytes* b = file.Model().Find(control)->properties.GetBytes("Image");
    return b ? *b : Bytes{};
}

TEST(DesignerImageSource, BrowsePickIconApplyThenClearApply) {
    DesignCopy copy("image");
    DesignDataFile file = copy.Open("FrmMain.json");
    struct {
        std::wstring initialDescription, iconDescription;
        bool applyBefore = true, applyAfterPick = false;
        int fileTypes = 0, iconEntries = 0;
        Bytes appliedIcon, afterClear = {1};
    } seen;
    WithSheet([&] { EXPECT_TRUE(ShowProperties(nullptr, file, "aicAlphaImage6", std::nullopt)); },
              [&](HWND sheet, HWND page) {
                  HWND apply = GetDlgItem(sheet, kApplyButton);
                  HWND icons = GetDlgItem(page, SourceImagePropertyPage::cboIcon);
                  HWND format = GetDlgItem(page, SourceImagePropertyPage::lblFormat);
                  seen.initialDescription = Text(format);
                  seen.applyBefore = IsWindowEnabled(apply);
                  seen.fileTypes = BrowseTo(page, TestFile("bmp_ico_gif/disc.ico"));
                  seen.iconEntries = static_cast<int>(SendMessageW(icons, CB_GETCOUNT, 0, 0));
                  SendMessageW(icons, CB_SETCURSEL, 0, 0); // 016x016
                  SendMessageW(page, WM_COMMAND,
                               MAKEWPARAM(SourceImagePropertyPage::cboIcon, CBN_SELCHANGE),
                               reinterpret_cast<LPARAM>(icons));
                  seen.iconDescription = Text(format);
                  seen.applyAfterPick = IsWindowEnabled(apply);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
                  seen.appliedIcon = StoredImage(copy, "aicAlphaImage6");
                  PostMessageW(GetDlgItem(page, SourceImagePropertyPage::Command1), BM_CLICK, 0, 0);
                  Sleep(200);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              });
    seen.afterClear = StoredImage(copy, "aicAlphaImage6");

    EXPECT_EQ(seen.initialDescription, L"48 x 48 - PNG file");
    EXPECT_FALSE(seen.applyBefore);
    EXPECT_GE(seen.fileTypes, 9); // ten with GDI+ (Tiff), nine without
    EXPECT_EQ(seen.iconEntries, 2);
    EXPECT_EQ(seen.iconDescription, L"16 x 16");
    EXPECT_TRUE(seen.applyAfterPick);
    // The stored picture is the picked entry, even where another entry fits the control better.
    c32bppDIB decoded;
    ASSERT_TRUE(decoded.LoadPicture_Stream(seen.appliedIcon, 48, 48));
    EXPECT_EQ(decoded.Width(), 16);
    EXPECT_EQ(decoded.Height(), 16);
    EXPECT_TRUE(seen.afterClear.empty());
    // Neither the replaced picture file nor the cleared one is left behind.
    EXPECT_FALSE(fs::exists(copy.dir / "pictures" / "link_share.png"));
    for (const auto& entry : fs::directory_iterator(copy.dir / "pictures"))
        EXPECT_EQ(entry.path().stem().string().find("aicAlphaImage6"), std::string::npos);
}

TEST(DesignerImageSource, BadPictureIsReportedAndChangesNothing) {
    DesignCopy copy("image-bad");
    DesignDataFile file = copy.Open("FrmMain.json");
    const std::string before = file.Text();
    const Bytes logo = StoredImage(copy, "aicAlphaImage1");
    std::wstring message, description;
    bool applyEnabled = true;
    WithSheet([&] { ShowProperties(nullptr, file, "aicAlphaImage1", std::nullopt); },
              [&](HWND sheet, HWND page) {
                  Drop(page, TestFile("services_win10.json"));
                  HWND box = FindDialog(g_uiThread, L"Corvale Designer", sheet);
                  if (box) {
                      EnumChildWindows(box, LongestText, reinterpret_cast<LPARAM>(&message));
                      SendMessageW(box, WM_COMMAND, IDOK, 0);
                  }
                  Sleep(200);
                  description = Text(GetDlgItem(page, SourceImagePropertyPage::lblFormat));
                  applyEnabled = IsWindowEnabled(GetDlgItem(sheet, kApplyButton));
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              });
    EXPECT_NE(message.find(L"could not be loaded"), std::wstring::npos) << message;
    EXPECT_NE(description.find(L"PNG file"), std::wstring::npos); // the logo is still shown
    EXPECT_FALSE(applyEnabled);
    EXPECT_EQ(copy.Open("FrmMain.json").Text(), before);
    EXPECT_EQ(StoredImage(copy, "aicAlphaImage1"), logo);
}

TEST(DesignerImageSource, DroppedBitmapIsStoredAsItsControlWouldSaveIt) {
    DesignCopy copy("image-drop");
    DesignDataFile file = copy.Open("FrmMain.json");
    WithSheet([&] { ShowProperties(nullptr, file, "aicAlphaImage5", std::nullopt); },
              [&](HWND sheet, HWND page) {
                  Drop(page, TestFile("bmp_ico_gif/rgb24.bmp"));
                  Sleep(300);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              });
    const Bytes stored = StoredImage(copy, "aicAlphaImage5");
    c32bppDIB original, decoded;
    ASSERT_TRUE(original.LoadPicture_File(Utf8FromPath(TestFile("bmp_ico_gif/rgb24.bmp"))));
    ASSERT_TRUE(decoded.LoadPicture_Stream(stored));
    EXPECT_EQ(decoded.Width(), original.Width());
    EXPECT_EQ(decoded.Height(), original.Height());
    // A PNG encoding when the control can make one (zlib or GDI+), rewriting the control's own
    // PNG file; else the bitmap file itself, in a file of its own.
    const bool png = PictureExtension(stored) == "png";
    EXPECT_TRUE(png || PictureExtension(stored) == "bmp");
    EXPECT_TRUE(fs::exists(copy.dir / "pictures" / (png ? "link_chat.png" : "aicAlphaImage5.bmp")));
    EXPECT_TRUE(png) << "no PNG encoder under this system";
}

TEST(DesignerImageSource, ClipboardBitmapIsTakenAndStored) {
    DesignCopy copy("image-clipboard");
    DesignDataFile file = copy.Open("FrmMain.json");
    WithSheet([&] { ShowProperties(nullptr, file, "aicAlphaImage4", std::nullopt); },
              [&](HWND sheet, HWND page) {
                  const std::uint32_t pixels[6 * 4] = {};
                  HBITMAP bitmap = CreateBitmap(6, 4, 1, 32, pixels);
                  if (OpenClipboard(nullptr)) {
                      EmptyClipboard();
                      if (!SetClipboardData(CF_BITMAP, bitmap)) DeleteObject(bitmap);
                      CloseClipboard();
                  }
                  SendMessageW(page, WM_COMMAND,
                               MAKEWPARAM(SourceImagePropertyPage::cmdClipBoard, BN_CLICKED), 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              });
    c32bppDIB decoded;
    ASSERT_TRUE(decoded.LoadPicture_Stream(StoredImage(copy, "aicAlphaImage4")));
    EXPECT_EQ(decoded.Width(), 6);
    EXPECT_EQ(decoded.Height(), 4);
}

// The message box the page raised: its text and owner; answered with answer.
struct Box {
    std::wstring text;
    HWND owner = nullptr;
};
Box AnswerBox(HWND sheet, int answer) {
    Box b;
    HWND box = FindDialog(g_uiThread, L"Corvale Designer", sheet);
    if (!box) return b;
    EnumChildWindows(box, LongestText, reinterpret_cast<LPARAM>(&b.text));
    b.owner = GetWindow(box, GW_OWNER);
    PostMessageW(box, WM_COMMAND, answer, 0);
    for (int tries = 0; tries < 100 && IsWindow(box); ++tries) Sleep(20);
    return b;
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DesignerSaving, FailuresAreToldByTheSheetAndEditsMadeOnDiskAreKept) {
    DesignCopy copy("saving");
    const fs::path json = copy.dir / "FrmDetailService.json";
    DesignDataFile file = copy.Open("FrmDetailService.json");
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND sheetSeen = nullptr;
    Box readOnly, stale;
    bool ownerEnabled = true, sheetClosed = false;
    std::string edited;
    WithSheet([&] { ShowProperties(owner, file, "Text1", std::nullopt); },
              [&](HWND sheet, HWND page) {
                  sheetSeen = sheet;
                  SetFileAttributesW(json.c_str(), FILE_ATTRIBUTE_READONLY);
                  Click(Side(page, 2));
                  PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
                  readOnly = AnswerBox(sheet, IDOK);
                  ownerEnabled = IsWindowEnabled(owner); // still under the modal sheet
                  SetFileAttributesW(json.c_str(), FILE_ATTRIBUTE_NORMAL);
                  // Someone else edits the file while the sheet is up.
                  edited = ReadText(json);
                  edited.replace(edited.find("Detailed Service Info"), 21, "Service Details");
                  std::ofstream(json, std::ios::binary) << edited;
                  PostMessageW(sheet, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
                  stale = AnswerBox(sheet, IDYES); // read it again
                  for (int tries = 0; tries < 250 && IsWindow(sheet); ++tries) Sleep(20);
                  sheetClosed = !IsWindow(sheet);
              });
    DestroyWindow(owner);
    EXPECT_NE(readOnly.text.find(L"read-only"), std::wstring::npos) << readOnly.text;
    EXPECT_EQ(readOnly.owner, sheetSeen);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_NE(stale.text.find(L"changed on disk"), std::wstring::npos) << stale.text;
    EXPECT_EQ(stale.owner, sheetSeen);
    EXPECT_TRUE(sheetClosed);
    EXPECT_EQ(ReadText(json), edited); // the stale copy was not written over it
    EXPECT_EQ(file.Model().caption, "Service Details");
}

// Pixels of the preview that differ from the window colour.
int MarkedPixels(HWND frame) {
    RECT r{};
    GetClientRect(frame, &r);
    HDC dc = GetDC(frame);
    const COLORREF blank = GetSysColor(COLOR_WINDOW);
    int marked = 0;
    for (int y = 0; y < r.bottom; y += 2)
        for (int x = 0; x < r.right; x += 2)
            if ((GetPixel(dc, x, y) & 0xFFFFFF) != blank) ++marked;
    ReleaseDC(frame, dc);
    return marked;
}

TEST(DesignerImageSource, UnreadableStoredPictureIsNamedAndClearEmptiesThePreview) {
    DesignCopy copy("image-preview");
    std::ofstream(copy.dir / "pictures" / "banner.png", std::ios::binary) << "not a picture";
    DesignDataFile file = copy.Open("FrmMain.json");
    Box unreadable;
    WithSheet([&] { ShowProperties(nullptr, file, "aicAlphaImage4", std::nullopt); },
              [&](HWND sheet, HWND) { unreadable = AnswerBox(sheet, IDOK); });
    EXPECT_NE(unreadable.text.find(L"pictures/banner.png"), std::wstring::npos) << unreadable.text;

    int before = 0, afterClear = -1;
    WithSheet([&] { ShowProperties(nullptr, file, "aicAlphaImage1", std::nullopt); },
              [&](HWND, HWND page) {
                  HWND frame = GetDlgItem(page, SourceImagePropertyPage::ucAlphaImage1);
                  Sleep(200);
                  before = MarkedPixels(frame);
                  SendMessageW(page, WM_COMMAND,
                               MAKEWPARAM(SourceImagePropertyPage::Command1, BN_CLICKED), 0);
                  RedrawWindow(frame, nullptr, nullptr, RDW_UPDATENOW);
                  Sleep(200);
                  afterClear = MarkedPixels(frame);
              });
    EXPECT_GT(before, 50); // the logo
    EXPECT_EQ(afterClear, 0);
}

// Whether the window's text, in its own font, fits its client area less margin pixels.
bool TextFits(HWND w, int margin) {
    RECT r{};
    GetClientRect(w, &r);
    const std::wstring text = Text(w);
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(w, WM_GETFONT, 0, 0)));
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    return !text.empty() && extent.cx + margin <= r.right;
}

TEST(DesignerImageSource, IconEntriesAreNotCut) {
    DesignCopy copy("image-icons");
    DesignDataFile file = copy.Open("FrmMain.json");
    int entries = 0, cut = 0;
    WithSheet(
        [&] { ShowProperties(nullptr, file, "aicAlphaImage6", std::nullopt); },
        [&](HWND, HWND page) {
            HWND icons = GetDlgItem(page, SourceImagePropertyPage::cboIcon);
            Drop(page, TestFile("bmp_ico_gif/disc.ico"));
            for (int tries = 0; tries < 100 && !SendMessageW(icons, CB_GETCOUNT, 0, 0); ++tries)
                Sleep(20);
            COMBOBOXINFO info{};
            info.cbSize = sizeof info;
            GetComboBoxInfo(icons, &info);
            const auto dropped = SendMessageW(icons, CB_GETDROPPEDWIDTH, 0, 0);
            HDC dc = GetDC(icons);
            HGDIOBJ old =
                SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(icons, WM_GETFONT, 0, 0)));
            entries = static_cast<int>(SendMessageW(icons, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < entries; ++i) {
                wchar_t entry[128] = {};
                SendMessageW(icons, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
                SIZE extent{};
                GetTextExtentPoint32W(dc, entry, static_cast<int>(wcslen(entry)), &extent);
                // In the closed box and in the open list alike.
                if (extent.cx > info.rcItem.right - info.rcItem.left || extent.cx > dropped) ++cut;
            }
            SelectObject(dc, old);
            ReleaseDC(icons, dc);
        });
    EXPECT_EQ(entries, 2);
    EXPECT_EQ(cut, 0);
}

constexpr wchar_t kDpiChild[] = L"CORVALE_DESIGNER_DPI_CHILD";

// Runs the DPI test again in a process that starts with the prefix set to 144 dots an inch (the
// DPI is read once at start-up), then puts the setting back.
DWORD RunAt144Dpi() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 100;
    DWORD before = 0, size = sizeof before, type = 0;
    const bool had = RegQueryValueExW(key, L"LogPixels", nullptr, &type,
                                      reinterpret_cast<BYTE*>(&before), &size) == ERROR_SUCCESS;
    const DWORD dpi = 144;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof dpi);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=DesignerDpi.*";
    SetEnvironmentVariableW(kDpiChild, L"1");
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    DWORD code = 101;
    if (CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                       &child)) {
        if (WaitForSingleObject(child.hProcess, 120000) != WAIT_OBJECT_0)
            TerminateProcess(child.hProcess, 102);
        GetExitCodeProcess(child.hProcess, &code);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    SetEnvironmentVariableW(kDpiChild, nullptr);
    if (had && type == REG_DWORD)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before),
                       sizeof before);
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    return code;
}

TEST(DesignerDpi, PagesLayOutForTheirDpi) {
    if (GetEnvironmentVariableW(kDpiChild, nullptr, 0) == 0) {
        EXPECT_EQ(RunAt144Dpi(), 0u) << "the run at 144 dpi failed (its output is above)";
        return;
    }
    ASSERT_EQ(win32::SystemDpi(), 144u);
    DesignCopy copy("dpi");
    DesignDataFile file = copy.Open("FrmMain.json");
    bool titleFits = false, clipboardFits = false;
    RECT list{};
    WithSheet([&] { ShowProperties(nullptr, file, "Anchor1", std::nullopt); },
              [&](HWND, HWND page) {
                  titleFits = TextFits(GetDlgItem(page, AnchorPropertyPage::kTitleId), 0);
                  GetWindowRect(GetDlgItem(page, AnchorPropertyPage::kListId), &list);
              });
    WithSheet([&] { ShowProperties(nullptr, file, "aicAlphaImage1", std::nullopt); },
              [&](HWND, HWND page) {
                  clipboardFits =
                      TextFits(GetDlgItem(page, SourceImagePropertyPage::cmdClipBoard), 9);
              });
    EXPECT_TRUE(titleFits);
    EXPECT_TRUE(clipboardFits);
    EXPECT_EQ(list.right - list.left, win32::TwipsToPixelsForDpi(2385, 144)); // not 96-dpi 159
}

} // namespace
} // namespace corvale::designer
