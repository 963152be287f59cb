// The colour, font, print and page-setup dialogs and the help calls against the dialog system in
// memory: what each record holds when the dialog opens and what comes back.
#include "controls/common_dialog.h"
#include "dialog_fake_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace corvale;
using corvale::dialog_test::FakeDialogApi;
using namespace std::string_literals;

std::vector<std::uint8_t> Bytes(std::string_view s) {
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

// A device-names block: header of offsets, then the three texts.
std::vector<std::uint8_t> DevNames(std::string_view driver, std::string_view device,
                                   std::string_view port) {
    std::string texts =
        std::string(driver) + '\0' + std::string(device) + '\0' + std::string(port) + '\0';
    const auto d = static_cast<char>(8), v = static_cast<char>(8 + driver.size() + 1),
               p = static_cast<char>(8 + driver.size() + device.size() + 2);
    return Bytes(std::string{d, 0, v, 0, p, 0, 0, 0} + texts);
}

// A device-mode block of 156 bytes (0xEE where nothing is set) with the fields the dialogs read.
std::vector<std::uint8_t> DevMode(std::int16_t orientation, std::int16_t paper, std::int16_t copies,
                                  std::int16_t quality, std::int16_t collate) {
    std::vector<std::uint8_t> block(156, 0xEE);
    auto put = [&](std::size_t at, std::int16_t v) {
        block[at] = static_cast<std::uint8_t>(v);
        block[at + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8);
    };
    put(dm::kOrientation, orientation);
    put(dm::kPaperSize, paper);
    put(dm::kCopies, copies);
    put(dm::kPrintQuality, quality);
    put(dm::kCollate, collate);
    return block;
}

TEST(DialogBlocks, DeviceNamesAreReadWithinTheBlock) {
    const DeviceNames n = ParseDeviceNames(DevNames("winspool", "Laser 5", "LPT1:"));
    EXPECT_EQ(n.driver, "winspool");
    EXPECT_EQ(n.device, "Laser 5");
    EXPECT_EQ(n.port, "LPT1:");

    // Offsets past the end, a text without its NUL, a block shorter than its header.
    std::vector<std::uint8_t> bad = Bytes("\x08\x00\xFF\x7F\x0C\x00\x00\x00"
                                          "abc\0xyz"s);
    const DeviceNames b = ParseDeviceNames(bad);
    EXPECT_EQ(b.driver, "abc");
    EXPECT_EQ(b.device, "");
    EXPECT_EQ(b.port, "xyz"); // runs to the end of the block
    EXPECT_EQ(ParseDeviceNames(Bytes("\x08\x00"s)).device, "");
    EXPECT_EQ(ParseDeviceNames({}).driver, "");
}

TEST(DialogBlocks, DeviceModeCopyKeeps122BytesAndFaceNameFits31) {
    const std::vector<std::uint8_t> full = DevMode(2, 9, 3, -4, 1);
    const DeviceModeCopy m = DeviceModeCopy::From(full);
    EXPECT_EQ(m.bytes.size(), 122u);
    EXPECT_EQ(m.Orientation(), 2);
    EXPECT_EQ(m.PrintQuality(), -4);
    EXPECT_EQ(m.bytes[121], 0xEE);
    const DeviceModeCopy shortCopy = DeviceModeCopy::From(std::span(full).first(50));
    EXPECT_EQ(shortCopy.PaperSize(), 9);
    EXPECT_EQ(shortCopy.Copies(), 0); // beyond the short block

    LogFontRecord f;
    f.SetFaceName(std::string(40, 'x'));
    EXPECT_EQ(f.FaceName(), std::string(31, 'x'));
    EXPECT_EQ(f.bytes[lf::kFaceName + 31], 0);
    f.SetFaceName("Arial");
    EXPECT_EQ(f.FaceName(), "Arial");
    EXPECT_EQ(f.bytes[lf::kFaceName + 6], 0); // the longer name is gone
}

struct ColorTest : ::testing::Test {
    FakeDialogApi api;
    cCommonDialog dlg{api};
};

TEST_F(ColorTest, CustomColorTableStartsFromTheSystemColoursAndIgnoresOtherIndices) {
    EXPECT_EQ(dlg.CustomColor(0), static_cast<std::int32_t>(FakeDialogApi::Sys(0)));
    EXPECT_EQ(dlg.CustomColor(15), static_cast<std::int32_t>(FakeDialogApi::Sys(15)));
    EXPECT_EQ(dlg.CustomColor(16), -1);
    EXPECT_EQ(dlg.CustomColor(-1), -1);
    dlg.SetCustomColor(16, 0x123456);
    dlg.SetCustomColor(-1, 0x123456);
    dlg.SetCustomColor(3, 0x00ABCDEF);
    EXPECT_EQ(dlg.CustomColor(16), -1);
    EXPECT_EQ(dlg.CustomColor(3), 0x00ABCDEF);

    // The dialog gets the table and what it changes there stays, even after a cancel.
    api.colorAnswer = [](ColorDialogRecord& r) {
        EXPECT_EQ(r.customColors[3], 0x00ABCDEFu);
        EXPECT_EQ(r.customColors[4], FakeDialogApi::Sys(4));
        r.customColors[5] = 0x55;
        return 0;
    };
    EXPECT_FALSE(dlg.ShowColor());
    EXPECT_EQ(dlg.CustomColor(5), 0x55);
}

TEST_F(ColorTest, RecordAndFlagsFromTheFlagWord) {
    dlg.SethWnd(0x4321);
    dlg.SetColor(0x00102030);
    dlg.Setflags(0x100 | 0x2 | 0x4 | 0x10 | 0x20 | 0x40);
    dlg.ShowColor();
    dlg.Setflags(0);
    dlg.SetHookDialog(true);
    api.colorAnswer = [](ColorDialogRecord&) {
        EXPECT_NE(mDialogHook::HookTarget(), nullptr);
        return 0;
    };
    dlg.ShowColor();
    ASSERT_EQ(api.colorShown.size(), 2u);
    const ColorDialogRecord& r = api.colorShown[0];
    EXPECT_EQ(r.U32(cc::kStructSize), 36u);
    EXPECT_EQ(r.U32(cc::kOwner), 0x4321u);
    EXPECT_EQ(r.U32(cc::kResult), 0x00102030u);
    EXPECT_NE(r.U32(cc::kCustColors), 0u);
    EXPECT_EQ(r.U32(cc::kFlags), 0x100u | 0x1 | 0x2 | 0x4); // only the three bits are taken
    EXPECT_EQ(r.U32(cc::kHook), 0u);
    EXPECT_EQ(api.colorShown[1].U32(cc::kFlags), 0x80u | 0x1 | 0x10); // solid colour, hooked
    EXPECT_NE(api.colorShown[1].U32(cc::kHook), 0u);
    EXPECT_EQ(mDialogHook::HookTarget(), nullptr);
    EXPECT_EQ(dlg.flags(), 0); // receives nothing back
}

TEST_F(ColorTest, OutcomesOfTheShowAndOfTheUnderlyingFunction) {
    dlg.SetColor(static_cast<std::int32_t>(0x8000000F)); // a system colour
    api.colorAnswer = [](ColorDialogRecord& r) {
        EXPECT_EQ(r.U32(cc::kResult), FakeDialogApi::Sys(15));
        return 0;
    };
    EXPECT_FALSE(dlg.ShowColor());
    EXPECT_EQ(dlg.Color(), static_cast<std::int32_t>(0x8000000F)); // cancel keeps it
    EXPECT_EQ(dlg.ExtendedError(), 0u);

    dlg.SetColor(0x7F000000); // not a colour: passed as -1
    api.extendedError = 0xFFFF;
    api.colorAnswer = [](ColorDialogRecord& r) {
        EXPECT_EQ(r.U32(cc::kResult), 0xFFFFFFFFu);
        return 0;
    };
    EXPECT_FALSE(dlg.ShowColor());
    EXPECT_EQ(dlg.ExtendedError(), 0xFFFFu); // a failure is told apart from a cancel
    EXPECT_EQ(dlg.Color(), 0x7F000000);

    api.colorAnswer = [](ColorDialogRecord& r) {
        r.SetU32(cc::kResult, 0x00C0FFEE);
        return 1;
    };
    EXPECT_TRUE(dlg.ShowColor());
    EXPECT_EQ(dlg.Color(), 0x00C0FFEE);
    EXPECT_EQ(dlg.APIReturn(), 1);
    EXPECT_FALSE(dlg.IsFileDialog());

    GCommonDialog g(api);
    ColorDialogArgs a;
    a.Color = 0x112233;
    a.Owner = -1;
    api.colorAnswer = [](ColorDialogRecord&) { return 0; };
    EXPECT_FALSE(g.VBChooseColor(a));
    EXPECT_EQ(a.Color, -1);
    EXPECT_EQ(api.colorShown.back().U32(cc::kOwner), 0u);
}

struct FontTest : ::testing::Test {
    FakeDialogApi api;
    cCommonDialog dlg{api};
};

TEST_F(FontTest, FlagRulesAndTheDeviceContext) {
    // Hook, template, template-handle and apply bits cleared; others kept.
    dlg.Setflags(0x8 | 0x10 | 0x20 | 0x200 | 0x4);
    dlg.ShowFont();
    dlg.Setflags(0x2); // printer fonts: the current printer's context, deleted after
    dlg.SetFontColor(0xFF);
    dlg.SetMin(8);
    dlg.SetMax(0);
    dlg.SetHookDialog(true);
    dlg.ShowFont();
    ASSERT_EQ(api.fontShown.size(), 2u);
    EXPECT_EQ(api.fontShown[0].U32(cf::kFlags), 0x4u | 0x1 | 0x40);
    EXPECT_EQ(api.fontShown[0].dc, 0);
    EXPECT_EQ(api.fontShown[0].U32(cf::kHook), 0u);
    const FontDialogRecord& r = api.fontShown[1];
    EXPECT_EQ(r.U32(cf::kFlags), 0x2u | 0x100 | 0x2000 | 0x40 | 0x8);
    EXPECT_NE(r.U32(cf::kHook), 0u);
    EXPECT_EQ(api.printerDCsMade, std::vector<std::string>{""}); // the default printer
    EXPECT_EQ(r.dc, 0x7001);
    EXPECT_EQ(api.deletedDCs, std::vector<DeviceContext>{0x7001});
    EXPECT_EQ(r.I32(cf::kColors), 0xFF);
    EXPECT_EQ(r.I32(cf::kSizeMin), 8);
    EXPECT_EQ(r.I32(cf::kSizeMax), 1638); // no upper limit rather than none allowed

    // A given context is used as it is and asks for printer fonts.
    GCommonDialog g(api);
    FontDialogArgs a;
    a.PrinterDC = 0x9999;
    g.VBChooseFont(a);
    EXPECT_EQ(api.fontShown[2].dc, 0x9999);
    EXPECT_EQ(api.fontShown[2].U32(cf::kFlags), 0x2u | 0x40);
    EXPECT_EQ(api.deletedDCs.size(), 1u);
}

TEST_F(FontTest, LogicalFontFromTheFontObject) {
    dlg.SetFontName("Tr\xC3\xA9"
                    "buchet"); // UTF-8 "Trébuchet"
    dlg.SetFontSize(12);
    dlg.SetFontBold(true);
    dlg.SetFontItalic(true);
    dlg.SetFontStrikethru(true);
    dlg.ShowFont();
    api.twipsPerPixelY = 10; // 144 dots an inch
    dlg.SetFontSize(8.25);   // 16.5 pixels: halves go to even
    dlg.ShowFont();
    api.twipsPerPixelY = 12;
    dlg.SetFontSize(10); // 16.67 pixels
    dlg.ShowFont();
    ASSERT_EQ(api.fontShown.size(), 3u);
    const LogFontRecord& f = api.fontShown[0].logFont;
    EXPECT_EQ(f.I32(lf::kHeight), -16);
    EXPECT_EQ(f.I32(lf::kWeight), 700);
    EXPECT_EQ(f.bytes[lf::kItalic], 1);
    EXPECT_EQ(f.bytes[lf::kUnderline], 0);
    EXPECT_EQ(f.bytes[lf::kStrikeOut], 1);
    EXPECT_EQ(f.FaceName(), "Tr\xE9"
                            "buchet"); // ANSI
    EXPECT_EQ(api.fontShown[0].I32(cf::kPointSize), 120);
    EXPECT_EQ(api.fontShown[1].logFont.I32(lf::kHeight), -16);
    EXPECT_EQ(api.fontShown[1].I32(cf::kPointSize), 82); // 82.5 to even
    EXPECT_EQ(api.fontShown[2].logFont.I32(lf::kHeight), -17);
}

TEST_F(FontTest, OkFillsTheFontObjectCancelChangesNothing) {
    const std::shared_ptr<DialogFont> font = dlg.Font(); // created on first use
    dlg.SetFontName("Tahoma");
    dlg.Setflags(0x4);
    dlg.SetFontColor(5);
    EXPECT_FALSE(dlg.ShowFont());
    EXPECT_EQ(dlg.FontName(), "Tahoma");
    EXPECT_EQ(dlg.flags(), 0x4);
    EXPECT_EQ(dlg.FontColor(), 5);

    api.fontAnswer = [](FontDialogRecord& r) {
        r.logFont.SetFaceName("Courier \xC9");
        r.logFont.SetI32(lf::kWeight, 300);
        r.logFont.bytes[lf::kUnderline] = 1;
        r.SetI32(cf::kPointSize, 95);
        r.SetU16(cf::kFontType, 0x100); // bold type, but the weight has the last word
        r.SetU32(cf::kFlags, 0x141);
        r.SetU32(cf::kColors, 0x0000FF00);
        return 1;
    };
    EXPECT_TRUE(dlg.ShowFont());
    EXPECT_EQ(dlg.Font(), font); // the same object, now holding the choice
    EXPECT_EQ(font->Name, "Courier \xC3\x89");
    EXPECT_EQ(font->Weight, 300);
    EXPECT_FALSE(dlg.FontBold());
    EXPECT_TRUE(dlg.FontUnderline());
    EXPECT_FALSE(dlg.FontItalic());
    EXPECT_DOUBLE_EQ(font->Size, 9.5);
    EXPECT_EQ(dlg.FontSize(), 10); // 9.5 rounds to even
    dlg.SetFontSize(8.5);
    EXPECT_EQ(dlg.FontSize(), 8);
    EXPECT_EQ(dlg.flags(), 0x141);
    EXPECT_EQ(dlg.FontColor(), 0x0000FF00);
}

struct PrintTest : ::testing::Test {
    FakeDialogApi api;
    std::optional<cCommonDialog> dlg{std::in_place, api};
    static std::int32_t Answer(PrintDialogRecord& r, std::uint32_t flags, DeviceContext dc) {
        r.SetU32(pd::kFlags, flags);
        r.SetU16(pd::kFromPage, 3);
        r.SetU16(pd::kToPage, 65535);
        r.SetU16(pd::kCopies, 4);
        r.dc = dc;
        r.devMode = DevMode(2, 9, 7, -3, 1);
        r.devNames = DevNames("winspool", "Laser \xE9", "LPT1:");
        return 1;
    }
};

TEST_F(PrintTest, FlagWordOfShowPrinter) {
    dlg->ShowPrinter(); // flags 0: print-to-file shown, page numbers off
    dlg->Setflags(0x2 | 0x4 | 0x100000 | 0x80000 | 0x20 | 0x10 | 0x80 | 0x1000 | 0x4000);
    dlg->SetCopies(0x12345);
    dlg->SetFromPage(2);
    dlg->SetToPage(70000);
    dlg->SethWnd(0x77);
    dlg->ShowPrinter();
    dlg->Setflags(0x40); // print setup: the setup hook
    dlg->SetHookDialog(true);
    dlg->ShowPrinter();
    ASSERT_EQ(api.printShown.size(), 3u);
    const PrintDialogRecord& r0 = api.printShown[0];
    EXPECT_EQ(r0.U32(pd::kFlags), 0x8u | 0x40000 | 0x100);
    EXPECT_EQ(r0.U32(pd::kStructSize), 66u);
    EXPECT_EQ(r0.U16(pd::kMinPage), 1);
    EXPECT_EQ(r0.U16(pd::kMaxPage), 65535);
    const PrintDialogRecord& r1 = api.printShown[1];
    EXPECT_EQ(r1.U32(pd::kFlags),
              0x2u | 0x4 | 0x100000 | 0x80000 | 0x20 | 0x10 | 0x80 | 0x40000 | 0x100);
    EXPECT_EQ(r1.U16(pd::kCopies), 65535); // held at the 16-bit range, not wrapped
    EXPECT_EQ(r1.U16(pd::kToPage), 65535);
    EXPECT_EQ(r1.U16(pd::kFromPage), 2);
    EXPECT_EQ(r1.U32(pd::kOwner), 0x77u);
    EXPECT_EQ(r1.U32(pd::kPrintHook) | r1.U32(pd::kSetupHook), 0u);
    const PrintDialogRecord& r2 = api.printShown[2];
    EXPECT_EQ(r2.U32(pd::kFlags) & 0x3000u, 0x2000u);
    EXPECT_NE(r2.U32(pd::kSetupHook), 0u);
    EXPECT_EQ(r2.U32(pd::kPrintHook), 0u);

    GCommonDialog g(api); // the print range and the hook of the print dialog itself
    PrintDialogArgs a;
    a.FromPage = -1;
    a.Copies = -1;
    a.PrintRange = 2;
    a.ShowPrintToFile = true;
    a.Hook = true;
    g.VBPrintDlg(a);
    EXPECT_EQ(api.printShown[3].U32(pd::kFlags), 0x1u | 0x40000 | 0x100 | 0x1000);
    EXPECT_NE(api.printShown[3].U32(pd::kPrintHook), 0u);
    EXPECT_EQ(api.printShown[3].U16(pd::kFromPage), 0);
    EXPECT_EQ(api.printShown[3].U16(pd::kCopies), 0);
}

TEST_F(PrintTest, OkKeepsThePrinterDetailsAndTheDeviceContext) {
    auto printer = std::make_shared<PrinterObject>();
    dlg->SetObject(printer);
    api.printAnswer = [](PrintDialogRecord& r) { return Answer(r, 0x2 | 0x40100, 0xD1); };
    EXPECT_TRUE(dlg->ShowPrinter());
    EXPECT_EQ(dlg->PrinterName(), "Laser \xC3\xA9");
    EXPECT_EQ(dlg->PrinterDriver(), "winspool");
    EXPECT_EQ(dlg->PrinterOutputPort(), "LPT1:");
    EXPECT_EQ(dlg->Copies(), 7); // from the device mode without PD_COLLATE
    EXPECT_EQ(dlg->FromPage(), 3);
    EXPECT_EQ(dlg->ToPage(), 65535);
    EXPECT_EQ(dlg->flags(), 0x40102);
    EXPECT_EQ(dlg->hDC(), 0xD1);
    EXPECT_EQ(printer->Copies, 7);
    EXPECT_EQ(printer->Orientation, 2);
    EXPECT_EQ(printer->PaperSize, 9);
    EXPECT_EQ(printer->PrintQuality, -3);

    // With PD_COLLATE the record's count; the old context is deleted when a new one comes.
    api.printAnswer = [](PrintDialogRecord& r) { return Answer(r, 0x10 | 0x20, 0xD2); };
    EXPECT_TRUE(dlg->ShowPrinter());
    EXPECT_EQ(dlg->Copies(), 4);
    EXPECT_EQ(api.deletedDCs, std::vector<DeviceContext>{0xD1});

    GCommonDialog g(api);
    PrintDialogArgs a;
    api.printAnswer = [](PrintDialogRecord& r) { return Answer(r, 0x1 | 0x20, 0xD3); };
    EXPECT_TRUE(g.VBPrintDlg(a));
    EXPECT_EQ(a.PrintRange, 2);
    EXPECT_TRUE(a.PrintToFile);
    EXPECT_TRUE(a.Collate); // device-mode collate 1
    EXPECT_EQ(a.hDC, 0xD3);
    EXPECT_EQ(g.PrinterDeviceMode().bytes[121], 0xEE);

    dlg.reset(); // the kept context goes with the object
    EXPECT_EQ(api.deletedDCs, (std::vector<DeviceContext>{0xD1, 0xD2}));
}

TEST_F(PrintTest, FailureChangesNothingAndKeepsTheExtendedError) {
    api.printAnswer = [](PrintDialogRecord& r) { return Answer(r, 0x2, 0xD1); };
    dlg->ShowPrinter();
    dlg->SetCopies(2);
    dlg->Setflags(0x2);
    api.extendedError = 0x1008;
    api.printAnswer = [](PrintDialogRecord& r) {
        Answer(r, 0x20, 0);
        r.devNames = DevNames("x", "Other", "y");
        return 0;
    };
    EXPECT_FALSE(dlg->ShowPrinter());
    EXPECT_EQ(dlg->ExtendedError(), 0x1008u);
    EXPECT_EQ(dlg->PrinterName(), "Laser \xC3\xA9");
    EXPECT_EQ(dlg->Copies(), 2);
    EXPECT_EQ(dlg->flags(), 0x2);
    EXPECT_EQ(dlg->FromPage(), 3);
    EXPECT_EQ(dlg->hDC(), 0xD1);
    EXPECT_TRUE(api.deletedDCs.empty());
}

TEST(PageSetup, MarginsScaledInBothUnitsAndBack) {
    FakeDialogApi api;
    GCommonDialog g(api);
    PrinterObject printer;
    PageSetupArgs a;
    a.LeftMargin = 1.0625; // inches: thousandths, 1062.5 to even
    a.TopMargin = 0.25;
    a.MinBottomMargin = 0.1;
    a.DisableOrientation = true;
    a.DisablePrinter = true;
    a.Printer = &printer;
    api.pageSetupAnswer = [](PageSetupRecord& r) {
        r.SetI32(psd::kMargin + psd::kRight, 1500);
        r.devMode = DevMode(1, 5, 2, 300, 0);
        return 1;
    };
    EXPECT_TRUE(g.VBPageSetupDlg2(a));
    const PageSetupRecord& r = api.pageSetupShown[0];
    EXPECT_EQ(r.U32(psd::kStructSize), 84u);
    EXPECT_EQ(r.U32(psd::kFlags), 0x4u | 0x100 | 0x20 | 0x2 | 0x1);
    EXPECT_EQ(r.I32(psd::kMargin + psd::kLeft), 1062);
    EXPECT_EQ(r.I32(psd::kMargin + psd::kTop), 250);
    EXPECT_EQ(r.I32(psd::kMinMargin + psd::kBottom), 100);
    EXPECT_DOUBLE_EQ(a.RightMargin, 1.5);
    EXPECT_DOUBLE_EQ(a.LeftMargin, 1.062);
    EXPECT_EQ(a.PaperSize, 5);
    EXPECT_EQ(a.PrintQuality, 300);
    EXPECT_EQ(printer.Copies, 2);

    // Millimetres in hundredths; whole-number margins through the short form; no margins given
    // leaves the dialog its own, and a hook.
    PageSetupArgs m;
    m.Units = 1;
    m.LeftMargin = 12.4;
    m.Hook = true;
    api.pageSetupAnswer = [](PageSetupRecord& r) {
        r.SetI32(psd::kMargin + psd::kLeft, 1250);
        return 1;
    };
    EXPECT_TRUE(g.VBPageSetupDlg(m));
    EXPECT_EQ(api.pageSetupShown[1].I32(psd::kMargin + psd::kLeft), 1200);
    EXPECT_EQ(api.pageSetupShown[1].U32(psd::kFlags), 0x8u | 0x2 | 0x2000);
    EXPECT_NE(api.pageSetupShown[1].U32(psd::kPageSetupHook), 0u);
    EXPECT_DOUBLE_EQ(m.LeftMargin, 12); // 12.5 back, to even

    PageSetupArgs none;
    api.pageSetupAnswer = [](PageSetupRecord&) { return 0; };
    EXPECT_FALSE(g.VBPageSetupDlg2(none));
    EXPECT_EQ(api.pageSetupShown[2].U32(psd::kFlags), 0x4u);
}

TEST(DialogHelp, ShowHelpAndTheHelpWindowRecord) {
    FakeDialogApi api;
    cCommonDialog dlg(api);
    dlg.SethWnd(0x55);
    dlg.ShowHelp(); // no file: none passed
    dlg.SetHelpFile("C:\\Aide\\r\xC3\xA9sum\xC3\xA9.hlp");
    dlg.SetHelpCommand(0x3);
    dlg.SetHelpContext(42); // stored only
    dlg.ShowHelp();
    dlg.SetHelpPosition(10, 20, 300, -1, 5);
    ASSERT_EQ(api.helpCalls.size(), 3u);
    EXPECT_EQ(api.helpCalls[0].file, std::nullopt);
    EXPECT_EQ(api.helpCalls[1].owner, 0x55);
    EXPECT_EQ(api.helpCalls[1].file, "C:\\Aide\\r\xE9sum\xE9.hlp");
    EXPECT_EQ(api.helpCalls[1].command, 3u);
    EXPECT_EQ(api.helpCalls[1].data, 0u);
    ASSERT_TRUE(api.helpCalls[2].window);
    const auto& b = api.helpCalls[2].window->bytes;
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.end()),
              (std::vector<std::uint8_t>{26, 0, 0, 0,   10,  0,   0,   0, 20, 0, 0, 0, 44,
                                         1,  0, 0, 255, 255, 255, 255, 5, 0,  0, 0, 0, 0}));
    EXPECT_EQ(dlg.HelpContext(), 42);
}

} // namespace
