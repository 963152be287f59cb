#include "controls/common_dialog.h"
#include "dialog_fake_api.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace corvale;
using corvale::dialog_test::FakeDialogApi;
using corvale::dialog_test::FakeNotify;
using namespace std::string_literals;

std::string Buffer(const std::vector<char>& b) {
    return std::string(b.begin(), b.end());
}

// Writes an answer into the record the way the system does.
void Answer(FileDialogRecord& r, std::string_view file, std::string_view title, std::uint32_t flags,
            std::int32_t filterIndex) {
    std::fill(r.file.begin(), r.file.end(), '\0');
    std::copy(file.begin(), file.end(), r.file.begin());
    std::fill(r.fileTitle.begin(), r.fileTitle.end(), '\0');
    std::copy(title.begin(), title.end(), r.fileTitle.begin());
    r.SetFlags(flags);
    r.SetU32(ofn::kFilterIndex, static_cast<std::uint32_t>(filterIndex));
}

// The save dialog exactly as the report export sets it up.
struct SaveDialogTest : ::testing::Test {
    FakeDialogApi api;
    cCommonDialog dlg{api};
    void SetUpLikeTheReportExport(std::string proposed) {
        dlg.SetDialogTitle("List Save Location");
        dlg.SetCancelError(true);
        dlg.SethWnd(0x1234);
        dlg.SetFilter("Text Files (*.txt)|*.txt");
        dlg.SetFilename(std::move(proposed));
    }
};

TEST_F(SaveDialogTest, RecordHoldsTheProposalFilterTitleAndFreshFlags) {
    SetUpLikeTheReportExport("C:\\Users\\me\\Desktop\\Corvale_By_Varnholt.txt");
    dlg.Setflags(0x1000 | 0x20); // neither is a save flag: not merged
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Cancelled);
    ASSERT_EQ(api.shown.size(), 1u);
    const FileDialogRecord& r = api.shown[0];
    EXPECT_EQ(r.U32(ofn::kStructSize), 76u);
    EXPECT_EQ(r.U32(ofn::kOwner), 0x1234u);
    EXPECT_EQ(r.U32(ofn::kInstance), 0u);
    EXPECT_EQ(r.filter, "Text Files (*.txt)\0*.txt\0\0"s);
    EXPECT_NE(r.U32(ofn::kFilter), 0u);
    EXPECT_EQ(r.U32(ofn::kCustomFilter), 0u);
    EXPECT_EQ(r.U32(ofn::kFilterIndex), 1u); // set when the object is made
    EXPECT_EQ(r.U32(ofn::kMaxFile), 260u);
    EXPECT_EQ(r.U32(ofn::kMaxFileTitle), 260u);
    const std::string proposed = "C:\\Users\\me\\Desktop\\Corvale_By_Varnholt.txt";
    EXPECT_EQ(Buffer(r.file), proposed + std::string(260 - proposed.size(), '\0'));
    EXPECT_EQ(Buffer(r.fileTitle), std::string(260, '\0'));
    EXPECT_EQ(r.U32(ofn::kInitialDir), 0u); // unset texts are passed as no string
    EXPECT_EQ(r.U32(ofn::kDefExt), 0u);
    EXPECT_NE(r.U32(ofn::kTitle), 0u);
    EXPECT_EQ(r.title, "List Save Location");
    EXPECT_EQ(r.Flags(), ofn::kHideReadOnly);
    EXPECT_EQ(r.U32(ofn::kHook), 0u);
    EXPECT_EQ(r.U32(ofn::kTemplateName), 0u);
    EXPECT_EQ(api.saveCalls, 1);
    EXPECT_EQ(api.openCalls, 0);
}

TEST_F(SaveDialogTest, OkWritesTheAnswerBackIntoTheProperties) {
    SetUpLikeTheReportExport("C:\\x.txt");
    api.answer = [](FileDialogRecord& r) {
        Answer(r, "D:\\Reports\\r\xE9sum\xE9.txt", "r\xE9sum\xE9.txt", 0x4 | 0x80000, 1);
        return 1;
    };
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Chosen);
    EXPECT_EQ(dlg.Filename(), "D:\\Reports\\résumé.txt");
    EXPECT_EQ(dlg.FileTitle(), "résumé.txt");
    EXPECT_EQ(dlg.Filter(), "Text Files (*.txt)\0*.txt"s);
    EXPECT_EQ(dlg.FilterIndex(), 1);
    EXPECT_EQ(dlg.flags(), 0x80004);
    EXPECT_EQ(dlg.APIReturn(), 1);
    EXPECT_TRUE(dlg.IsFileDialog());
}

TEST_F(SaveDialogTest, CancelEmptiesTheOutputsAndFailureReadsTheExtendedError) {
    SetUpLikeTheReportExport("C:\\x.txt");
    dlg.SetFileTitle("x.txt");
    dlg.Setflags(0x2);
    api.extendedError = 0x3003;
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Cancelled);
    EXPECT_EQ(dlg.Filename(), "");
    EXPECT_EQ(dlg.FileTitle(), "");
    EXPECT_EQ(dlg.Filter(), "");
    EXPECT_EQ(dlg.flags(), 0);
    EXPECT_EQ(dlg.FilterIndex(), 0);
    EXPECT_EQ(dlg.ExtendedError(), 0u);    // not read for a plain cancel
    EXPECT_EQ(api.shown[0].Flags(), 0x6u); // 0x2 asked for the overwrite prompt

    SetUpLikeTheReportExport("C:\\x.txt");
    api.answer = [](FileDialogRecord&) { return 0xFFFF; };
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Cancelled);
    EXPECT_EQ(dlg.APIReturn(), 0xFFFF);
    EXPECT_EQ(dlg.ExtendedError(), 0x3003u);
    EXPECT_EQ(dlg.Filename(), "");
}

TEST_F(SaveDialogTest, NamesThatLeaveNoRoomForTheTerminatorFailBeforeTheDialog) {
    SetUpLikeTheReportExport(std::string(259, 'a'));
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Cancelled);
    EXPECT_EQ(api.saveCalls, 1);

    for (std::size_t length : {260u, 261u}) {
        SetUpLikeTheReportExport(std::string(length, 'a'));
        EXPECT_EQ(dlg.ShowSave(), DialogOutcome::NameTooLong) << length;
        EXPECT_EQ(dlg.Filename(), std::string(length, 'a')); // left as it was
    }
    SetUpLikeTheReportExport("C:\\x.txt");
    dlg.SetFileTitle(std::string(260, 't'));
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::NameTooLong);
    EXPECT_EQ(api.saveCalls, 1);

    // The limit counts ANSI characters: 259 two-byte UTF-8 characters still fit.
    std::string accented;
    for (int i = 0; i < 259; ++i) accented += "é";
    SetUpLikeTheReportExport(accented);
    dlg.SetFileTitle("");
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Cancelled);
    EXPECT_EQ(api.saveCalls, 2);
    EXPECT_EQ(api.shown.back().file[258], '\xE9');
}

TEST_F(SaveDialogTest, FilterLongerThanA16BitCountFails) {
    SetUpLikeTheReportExport("x");
    dlg.SetFilter(std::string(32767, 'f'));
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::Cancelled);
    dlg.SetFilter(std::string(32768, 'f'));
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::FilterTooLong);
    EXPECT_EQ(api.saveCalls, 1);
}

TEST_F(SaveDialogTest, FilterIndexZeroIsPassedUnchangedByTheSaveDialog) {
    SetUpLikeTheReportExport("x");
    dlg.SetFilterIndex(0);
    dlg.ShowSave();
    EXPECT_EQ(api.shown[0].FilterIndex(), 0);
}

TEST_F(SaveDialogTest, TemplateIsUsedOnlyWithAModule) {
    SetUpLikeTheReportExport("x");
    dlg.Setflags(0x40);
    dlg.SetTemplateName(101);
    dlg.ShowSave();
    EXPECT_EQ(api.shown[0].Flags() & ofn::kEnableTemplate, 0u);
    EXPECT_EQ(api.shown[0].U32(ofn::kInstance), 0u);
    EXPECT_EQ(api.shown[0].U32(ofn::kTemplateName), 0u);

    dlg.cdLoadLibrary("templates.dll");
    ASSERT_EQ(api.loaded, std::vector<std::string>{"templates.dll"});
    dlg.Setflags(0x40);
    dlg.ShowSave();
    const FileDialogRecord& r = api.shown[1];
    EXPECT_EQ(r.Flags(), ofn::kHideReadOnly | ofn::kEnableTemplate);
    EXPECT_EQ(r.instance, dlg.hInstance());
    EXPECT_EQ(r.U32(ofn::kInstance), static_cast<std::uint32_t>(dlg.hInstance()));
    EXPECT_EQ(r.U32(ofn::kTemplateName), 101u);

    // A module loaded above 2 GB (a large-address-aware 32-bit process) reads as negative in a
    // signed field: it is still a module, and its templates are used.
    const ModuleHandle high = static_cast<std::int32_t>(0x80400000u);
    dlg.SethInstance(high);
    dlg.Setflags(0x40);
    dlg.ShowSave();
    EXPECT_EQ(api.shown[2].Flags() & ofn::kEnableTemplate, ofn::kEnableTemplate);
    EXPECT_EQ(api.shown[2].instance, high);
    EXPECT_EQ(api.shown[2].U32(ofn::kInstance), 0x80400000u);
}

TEST_F(SaveDialogTest, ShortFormsNeverUseATemplate) {
    GCommonDialog g(api);
    FileDialogArgs a;
    a.flags = 0x40;
    a.hInstance = 0x400000;
    a.TemplateName = 7;
    g.VBGetSaveFileName(a);
    EXPECT_EQ(api.shown[0].Flags() & ofn::kEnableTemplate, 0u);
    EXPECT_EQ(api.shown[0].instance, 0);
    a.flags = 0x40;
    g.VBGetOpenFileName(a);
    EXPECT_EQ(api.shown[1].Flags() & ofn::kEnableTemplate, 0u);
}

TEST_F(SaveDialogTest, OwnerMinusOneMeansNoOwner) {
    GCommonDialog g(api);
    FileDialogArgs a;
    a.Owner = -1;
    g.VBGetSaveFileName2(a);
    EXPECT_EQ(api.shown[0].U32(ofn::kOwner), 0u);
}

TEST_F(SaveDialogTest, TextsAreConvertedToAnsiForTheRecord) {
    SetUpLikeTheReportExport("x");
    dlg.SetDialogTitle("Sauvegardé");
    dlg.SetInitDir("C:\\Données");
    dlg.SetDefaultExt("txt");
    dlg.SetFilter("Texte é|*.txt");
    dlg.ShowSave();
    const FileDialogRecord& r = api.shown[0];
    EXPECT_EQ(r.title, "Sauvegard\xE9");
    EXPECT_EQ(r.initialDir, "C:\\Donn\xE9"
                            "es");
    EXPECT_EQ(r.defExt, "txt");
    EXPECT_NE(r.U32(ofn::kInitialDir), 0u);
    EXPECT_NE(r.U32(ofn::kDefExt), 0u);
    EXPECT_EQ(r.filter, "Texte \xE9\0*.txt\0\0"s);
}

struct OpenDialogTest : ::testing::Test {
    FakeDialogApi api;
    cCommonDialog dlg{api};
};

TEST_F(OpenDialogTest, FlagsComeFromTheFlagWordAndZeroIndexShowsTheFirstPair) {
    dlg.Setflags(0x1 | 0x4 | 0x1000 | 0x2 | 0x20);
    dlg.SetFilterIndex(0);
    dlg.ShowOpen();
    ASSERT_EQ(api.openCalls, 1);
    EXPECT_EQ(api.shown[0].Flags(), 0x1005u);
    EXPECT_EQ(api.shown[0].FilterIndex(), 1);
    EXPECT_EQ(api.shown[0].U32(ofn::kMaxFile), 260u);
    EXPECT_EQ(dlg.FilterIndex(), -1); // cancelled open dialog
}

TEST_F(OpenDialogTest, ReadOnlyAnswerShowsInTheReturnedFlags) {
    api.answer = [](FileDialogRecord& r) {
        Answer(r, "C:\\a.txt", "a.txt", 0x1 | 0x4, 2);
        return 1;
    };
    dlg.SetFilter("A|*.a|B|*.b");
    EXPECT_EQ(dlg.ShowOpen(), DialogOutcome::Chosen);
    EXPECT_EQ(dlg.flags(), 0x5);
    EXPECT_EQ(dlg.FilterIndex(), 2);
    EXPECT_EQ(dlg.Filter(), "B\0*.b"s);

    GCommonDialog g(api);
    FileDialogArgs a;
    EXPECT_EQ(g.VBGetOpenFileName2(a), DialogOutcome::Chosen);
    EXPECT_TRUE(a.ReadOnly);
}

TEST_F(OpenDialogTest, MultiSelectUsesLargeBuffersAndReturnsTheWholeBuffer) {
    dlg.Setflags(0x200);
    dlg.SetFilename(std::string(8191, 'm'));
    api.answer = [](FileDialogRecord& r) {
        Answer(r, "C:\\dir\0one.txt\0two.txt\0"s, "", r.Flags(), 1);
        return 1;
    };
    EXPECT_EQ(dlg.ShowOpen(), DialogOutcome::Chosen);
    EXPECT_EQ(api.shown[0].U32(ofn::kMaxFile), 8192u);
    EXPECT_EQ(api.shown[0].U32(ofn::kMaxFileTitle), 8192u);
    EXPECT_EQ(api.shown[0].Flags(), 0x80200u);
    EXPECT_EQ(dlg.Filename().size(), 8192u);

    std::string dir;
    std::vector<std::string> files;
    std::int32_t count = 0;
    dlg.ParseMultiFileName(dir, files, count);
    EXPECT_EQ(dir, "C:\\dir");
    EXPECT_EQ(files, (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(count, 2);

    dlg.Setflags(0x200);
    dlg.SetFilename(std::string(8192, 'm'));
    EXPECT_EQ(dlg.ShowOpen(), DialogOutcome::NameTooLong);
    EXPECT_EQ(api.openCalls, 1);
}

TEST(DialogParse, SingleAndMultiSelectAnswers) {
    FakeDialogApi api;
    cCommonDialog dlg(api);
    std::string dir = "stale";
    std::vector<std::string> files{"stale"};
    std::int32_t count = 9;

    dlg.SetFilename("C:\\report.txt");
    dlg.ParseMultiFileName(dir, files, count);
    EXPECT_EQ(dir, "C:");
    EXPECT_EQ(files, std::vector<std::string>{"report.txt"});
    EXPECT_EQ(count, 1);

    dlg.SetFilename("\\report.txt"); // the only backslash is the first character
    dlg.ParseMultiFileName(dir, files, count);
    EXPECT_EQ(dir, "");
    EXPECT_EQ(files, std::vector<std::string>{"\\report.txt"});

    dlg.SetFilename("C:\\dir\\one.txt\0\0\0"s); // multi-select answer with one file
    dlg.ParseMultiFileName(dir, files, count);
    EXPECT_EQ(dir, "");
    EXPECT_EQ(files, std::vector<std::string>{"C:\\dir\\one.txt"});
    EXPECT_EQ(count, 1);

    dlg.SetFilename("C:\\d\0a\0b\0c\0\0"s);
    dlg.ParseMultiFileName(dir, files, count);
    EXPECT_EQ(dir, "C:\\d");
    EXPECT_EQ(files, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(count, 3);
}

// Records what the holder's event handlers see.
struct RecordingEvents : cCommonDialog::Events {
    std::vector<std::string> seen;
    bool refuseOk = false;
    void InitDialog(WindowHandle h) override { seen.push_back("init " + std::to_string(h)); }
    void FileChange(WindowHandle h) override { seen.push_back("file " + std::to_string(h)); }
    void FolderChange(WindowHandle h) override { seen.push_back("folder " + std::to_string(h)); }
    void TypeChange(WindowHandle h) override { seen.push_back("type " + std::to_string(h)); }
    void DialogClose() override { seen.push_back("close"); }
    void WMCommand(WindowHandle h, std::uintptr_t& w, std::intptr_t& l) override {
        seen.push_back("command " + std::to_string(w) + " " + std::to_string(l));
    }
    void DialogOK(bool& cancel) override {
        seen.push_back(cancel ? "ok(cancel)" : "ok");
        cancel = refuseOk;
    }
};

TEST(DialogHook, HookedDialogRoutesEveryMessageKindToTheEvents) {
    FakeDialogApi api;
    cCommonDialog dlg(api);
    RecordingEvents events;
    dlg.SetEvents(&events);
    dlg.SetHookDialog(true);

    std::vector<std::intptr_t> results;
    api.answer = [&](FileDialogRecord& r) {
        EXPECT_NE(mDialogHook::HookTarget(), nullptr);
        EXPECT_EQ(r.Flags() & 0x80020u, 0x80020u);
        EXPECT_NE(r.U32(ofn::kHook), 0u);
        FakeNotify sel{-602}, folder{-603}, type{-607}, ok{-606}, other{-601};
        auto send = [&](std::uint32_t msg, std::uintptr_t w, std::intptr_t l) {
            results.push_back(mDialogHook::RouteHook(77, msg, w, l));
        };
        send(0x110, 0, 0);
        send(0x111, 1, 5);
        send(0x4E, 0, reinterpret_cast<std::intptr_t>(&sel));
        send(0x4E, 0, reinterpret_cast<std::intptr_t>(&folder));
        send(0x4E, 0, reinterpret_cast<std::intptr_t>(&type));
        send(0x4E, 0, reinterpret_cast<std::intptr_t>(&other));
        events.refuseOk = true;
        send(0x4E, 0, reinterpret_cast<std::intptr_t>(&ok));
        events.refuseOk = false;
        send(0x4E, 0, reinterpret_cast<std::intptr_t>(&ok));
        send(0x200, 0, 0); // anything else
        send(0x2, 0, 0);
        return 0;
    };
    dlg.ShowSave();

    EXPECT_EQ(events.seen, (std::vector<std::string>{"init 77", "command 1 5", "file 77",
                                                     "folder 77", "type 77", "ok", "ok", "close"}));
    EXPECT_EQ(results, (std::vector<std::intptr_t>{0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    using Result = std::pair<WindowHandle, std::intptr_t>;
    EXPECT_EQ(api.messageResults, (std::vector<Result>{{77, 1}, {77, 0}}));

    // After the dialog the slot is empty and the hook answers 0 without events.
    EXPECT_EQ(mDialogHook::HookTarget(), nullptr);
    FakeNotify ok{-606};
    EXPECT_EQ(mDialogHook::RouteHook(77, 0x4E, 0, reinterpret_cast<std::intptr_t>(&ok)), 0);
    EXPECT_EQ(events.seen.size(), 8u);
}

TEST(DialogHook, UnhookedDialogSetsNoTargetAndFailedChecksLeaveNoneBehind) {
    FakeDialogApi api;
    cCommonDialog dlg(api);
    api.answer = [](FileDialogRecord& r) {
        EXPECT_EQ(mDialogHook::HookTarget(), nullptr);
        EXPECT_EQ(r.U32(ofn::kHook), 0u);
        return 0;
    };
    dlg.ShowSave();
    dlg.SetHookDialog(true);
    dlg.SetFilename(std::string(300, 'x'));
    EXPECT_EQ(dlg.ShowSave(), DialogOutcome::NameTooLong);
    EXPECT_EQ(mDialogHook::HookTarget(), nullptr);
}

TEST(DialogHook, DialogHookWithoutASinkDoesNothing) {
    FakeDialogApi api;
    GCommonDialog g(api);
    FakeNotify ok{-606};
    EXPECT_EQ(g.DialogHook(1, 0x4E, 0, reinterpret_cast<std::intptr_t>(&ok)), 0);
    EXPECT_EQ(g.DialogHook(1, 0x110, 0, 0), 0);
    EXPECT_TRUE(api.messageResults.empty());
}

struct CentreTest : ::testing::Test {
    FakeDialogApi api;
    cCommonDialog dlg{api};
    void SetUp() override {
        api.parents[5] = 50;                           // hook child 5 inside dialog window 50
        api.rects[5] = DialogRect{0, 0, 10, 10};       // the child
        api.rects[50] = DialogRect{10, 20, 311, 221};  // the dialog: 301 x 201
        api.rects[9] = DialogRect{100, 100, 700, 500}; // an owner window
    }
};

TEST_F(CentreTest, FileDialogMovesTheParentOntoTheGivenWindow) {
    dlg.ShowSave(); // a file dialog was the last shown
    dlg.CentreDialog(5, WindowHandle{9});
    ASSERT_EQ(api.moves.size(), 1u);
    EXPECT_EQ(api.moves[0].window, 50);
    EXPECT_EQ(api.moves[0].x, 100 + (600 - 301) / 2);
    EXPECT_EQ(api.moves[0].y, 100 + (400 - 201) / 2);
    EXPECT_EQ(api.moves[0].w, 301);
    EXPECT_EQ(api.moves[0].h, 201);
    EXPECT_TRUE(api.moves[0].repaint);

    std::int32_t l, t, w, h;
    dlg.GetDialogSize(5, l, t, w, h);
    EXPECT_EQ(l, 10);
    EXPECT_EQ(t, 20);
    EXPECT_EQ(w, 301);
    EXPECT_EQ(h, 201);
}

TEST_F(CentreTest, WithoutAWindowItUsesTheWorkAreaThenTheScreen) {
    api.rects[7] = DialogRect{0, 0, 301, 201};
    api.workArea = DialogRect{0, 0, 1000, 740};
    dlg.CentreDialog(7, std::nullopt); // no file dialog yet: hDlg itself moves
    api.workArea.reset();
    api.screen = {200, 100}; // smaller than the dialog: truncation toward zero
    dlg.CentreDialog(7, std::nullopt);
    ASSERT_EQ(api.moves.size(), 2u);
    EXPECT_EQ(api.moves[0].window, 7);
    EXPECT_EQ(api.moves[0].x, 349);
    EXPECT_EQ(api.moves[0].y, 269);
    EXPECT_EQ(api.moves[1].x, -50); // (200 - 301) / 2 = -50.5
    EXPECT_EQ(api.moves[1].y, -50); // (100 - 201) / 2 = -50.5
}

TEST_F(CentreTest, TargetWithoutPositiveExtentMovesNothing) {
    api.rects[7] = DialogRect{0, 0, 301, 201};
    api.rects[8] = DialogRect{-500, -400, 0, -10};
    dlg.CentreDialog(7, WindowHandle{8});
    dlg.CentreDialog(7, WindowHandle{12345}); // no such window
    EXPECT_TRUE(api.moves.empty());
}

TEST(DialogLibrary, LoadedTemplateModuleIsFreedExactlyOnce) {
    FakeDialogApi api;
    {
        cCommonDialog dlg(api);
        dlg.cdLoadLibrary("a.dll");
        const ModuleHandle first = dlg.hInstance();
        EXPECT_NE(first, 0);
        dlg.cdFreeLibrary();
        dlg.cdFreeLibrary();
        EXPECT_EQ(api.freed, std::vector<ModuleHandle>{first});
        EXPECT_EQ(dlg.hInstance(), 0);

        dlg.cdLoadLibrary("missing.dll");
        EXPECT_EQ(dlg.hInstance(), 0);
        dlg.cdFreeLibrary();
        EXPECT_EQ(api.freed.size(), 1u);

        dlg.SethInstance(0x999); // a module the dialog did not load is never freed
        dlg.cdFreeLibrary();
        EXPECT_EQ(api.freed.size(), 1u);

        dlg.cdLoadLibrary("b.dll"); // freed when the dialog object ends
    }
    EXPECT_EQ(api.freed.size(), 2u);
}

TEST(DialogFileTitle, TitleOnSuccessEmptyOnFailure) {
    FakeDialogApi api;
    GCommonDialog g(api);
    api.fileTitleText = "r\xE9sum\xE9";
    EXPECT_EQ(g.VBGetFileTitle("C:\\résumé.txt"), "résumé");
    EXPECT_EQ(api.titleAsked, "C:\\r\xE9sum\xE9.txt");
    api.fileTitleResult = -1;
    EXPECT_EQ(g.VBGetFileTitle("C:\\x.txt"), "");
}

} // namespace
