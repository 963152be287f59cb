// The colour, font, print and page-setup dialogs and the help calls of the dialog component: how
// each record is filled from the arguments and how the answer comes back.
#include "controls/common_dialog.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace corvale {

namespace {

std::uint32_t Low32(std::intptr_t value) {
    return static_cast<std::uint32_t>(static_cast<std::uintptr_t>(value));
}

// A count or page number held at the range of the record's 16-bit field instead of wrapping.
std::uint16_t ClampToWord(std::int32_t value) {
    return static_cast<std::uint16_t>(std::clamp<std::int32_t>(value, 0, 0xFFFF));
}

// To the nearest whole number, halves to even; out of range values are held at the limits.
std::int32_t RoundToInt32(double value) {
    const double r = std::nearbyint(value); // the default rounding mode: nearest, ties even
    if (!(r >= std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (r > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

// Points the hook slot at the dialog and hands its notifications to the sink while a hooked
// dialog is up.
class HookScope {
  public:
    HookScope(GCommonDialog* dialog, DialogEventSink*& slot, bool hook, DialogEventSink* sink)
        : slot_(slot) {
        if (!hook) return;
        target_.emplace(dialog);
        slot_ = sink;
    }
    ~HookScope() { slot_ = nullptr; }
    HookScope(const HookScope&) = delete;
    HookScope& operator=(const HookScope&) = delete;

  private:
    DialogEventSink*& slot_;
    std::optional<mDialogHook::ScopedHookTarget> target_;
};

// A device context made for one dialog and deleted after it.
class TemporaryDC {
  public:
    TemporaryDC(DialogApi& api, DeviceContext dc) : api_(api), dc_(dc) {}
    ~TemporaryDC() {
        if (dc_ != 0) api_.DeleteDC(dc_);
    }
    TemporaryDC(const TemporaryDC&) = delete;
    TemporaryDC& operator=(const TemporaryDC&) = delete;

  private:
    DialogApi& api_;
    DeviceContext dc_;
};

void ApplyToPrinter(PrinterObject* printer, std::int32_t copies, const DeviceModeCopy& mode) {
    if (!printer) return;
    printer->Copies = copies;
    printer->Orientation = mode.Orientation();
    printer->PaperSize = mode.PaperSize();
    printer->PrintQuality = mode.PrintQuality();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// GCommonDialog

void GCommonDialog::Settle(std::int32_t result) {
    apiReturn_ = result;
    // The dialogs answer 0 both for a cancel and for a failure; the extended error tells them
    // apart (0 after a cancel).
    if (result != 1) extendedError_ = api_.CommDlgExtendedError();
}

template <class Record, class Args>
std::int32_t GCommonDialog::ShowRecord(Record& r, std::uint32_t flags, HookFields at, const Args& a,
                                       std::int32_t (DialogApi::*show)(Record&)) {
    if (a.Hook) {
        flags |= at.enableHook;
        r.SetU32(at.hook, ofn::kPresent);
    }
    r.SetU32(at.flags, flags);
    std::int32_t result;
    {
        HookScope hook(this, sink_, a.Hook, a.EventSink);
        result = (api_.*show)(r);
    }
    Settle(result);
    return result;
}

void GCommonDialog::FillCustomColors() {
    if (customColorsFilled_) return;
    for (std::int32_t i = 0; i < 16; ++i) customColors_[i] = api_.SysColor(i);
    customColorsFilled_ = true;
}

std::int32_t GCommonDialog::CustomColor(std::int32_t index) {
    if (index < 0 || index > 15) return -1;
    FillCustomColors();
    return static_cast<std::int32_t>(customColors_[index]);
}

void GCommonDialog::SetCustomColor(std::int32_t index, std::int32_t color) {
    if (index < 0 || index > 15) return;
    FillCustomColors();
    customColors_[index] = static_cast<std::uint32_t>(color);
}

bool GCommonDialog::VBChooseColor(ColorDialogArgs& a) {
    FillCustomColors();
    ColorDialogRecord r;
    r.SetU32(cc::kStructSize, cc::kRecordSize);
    if (a.Owner != -1) r.SetU32(cc::kOwner, Low32(a.Owner));
    r.SetI32(cc::kResult, a.Color);
    r.customColors = customColors_;
    r.SetU32(cc::kCustColors, ofn::kPresent);

    std::uint32_t flags = (a.AnyColor ? cc::kAnyColor : cc::kSolidColor) | cc::kRgbInit;
    if (a.FullOpen) flags |= cc::kFullOpen;
    if (a.DisableFullOpen) flags |= cc::kPreventFullOpen;
    flags &= ~(cc::kEnableHook | cc::kEnableTemplate);
    const std::int32_t result = ShowRecord(r, flags, {cc::kFlags, cc::kEnableHook, cc::kHook}, a,
                                           &DialogApi::ChooseColorDialog);
    customColors_ = r.customColors; // colours added in the dialog stay, whatever the outcome
    if (result != 1) {
        a.Color = -1;
        return false;
    }
    a.Color = r.I32(cc::kResult);
    return true;
}

bool GCommonDialog::VBChooseFont(FontDialogArgs& a) {
    auto flags = static_cast<std::uint32_t>(a.flags);
    DeviceContext dc = 0;
    DeviceContext madeDC = 0;
    if (a.PrinterDC == -1) {
        if (flags & cf::kPrinterFonts)
            dc = madeDC = api_.CreatePrinterDC(api_.ToAnsi(printerName_));
    } else {
        dc = a.PrinterDC;
        flags |= cf::kPrinterFonts;
    }
    const TemporaryDC deleteAfter(api_, madeDC);
    if (!(flags & cf::kPrinterFonts)) flags |= cf::kScreenFonts;
    if (a.Color != 0) flags |= cf::kEffects;
    if (a.MinSize != 0 || a.MaxSize != 0) flags |= cf::kLimitSize;
    // No template is ever passed, and an Apply button would have no hook to answer it.
    flags &= ~(cf::kEnableHook | cf::kEnableTemplate | cf::kEnableTemplateHandle | cf::kApply);
    flags |= cf::kInitToLogFont;

    FontDialogRecord r;
    LogFontRecord& lfr = r.logFont;
    double twipsPerPixel = api_.TwipsPerPixelY();
    if (!(twipsPerPixel > 0)) twipsPerPixel = 15; // 96 dots an inch
    lfr.SetI32(lf::kHeight, -RoundToInt32(a.CurFont.Size * 20 / twipsPerPixel));
    lfr.SetI32(lf::kWeight, a.CurFont.Weight);
    lfr.bytes[lf::kItalic] = a.CurFont.Italic ? 1 : 0;
    lfr.bytes[lf::kUnderline] = a.CurFont.Underline ? 1 : 0;
    lfr.bytes[lf::kStrikeOut] = a.CurFont.Strikethrough ? 1 : 0;
    lfr.SetFaceName(api_.ToAnsi(a.CurFont.Name));

    r.SetU32(cf::kStructSize, cf::kRecordSize);
    if (a.Owner != -1) r.SetU32(cf::kOwner, Low32(a.Owner));
    r.dc = dc;
    r.SetU32(cf::kDC, Low32(dc));
    r.SetU32(cf::kLogFont, ofn::kPresent);
    r.SetI32(cf::kPointSize, RoundToInt32(a.CurFont.Size * 10));
    r.SetI32(cf::kColors, a.Color);
    r.SetI32(cf::kSizeMin, a.MinSize);
    // A lower limit alone leaves the sizes open upwards (0 as the upper one refuses them all).
    r.SetI32(cf::kSizeMax, a.MaxSize == 0 && a.MinSize != 0 ? cf::kLargestPointSize : a.MaxSize);
    const std::int32_t result = ShowRecord(r, flags, {cf::kFlags, cf::kEnableHook, cf::kHook}, a,
                                           &DialogApi::ChooseFontDialog);
    if (result != 1) return false;

    a.flags = r.I32(cf::kFlags);
    a.Color = r.I32(cf::kColors);
    DialogFont& font = a.CurFont;
    font.SetBold((r.U16(cf::kFontType) & cf::kBoldFontType) != 0);
    font.Italic = lfr.bytes[lf::kItalic] != 0;
    font.Strikethrough = lfr.bytes[lf::kStrikeOut] != 0;
    font.Underline = lfr.bytes[lf::kUnderline] != 0;
    font.Weight = lfr.I32(lf::kWeight);
    font.Size = r.I32(cf::kPointSize) / 10.0;
    font.Name = api_.FromAnsi(lfr.FaceName());
    return true;
}

bool GCommonDialog::VBPrintDlg(PrintDialogArgs& a) {
    std::uint32_t flags =
        static_cast<std::uint32_t>(a.flags) | pd::kUseDevModeCopiesAndCollate | pd::kReturnDC;
    if (a.DisablePageNumbers) flags |= pd::kNoPageNums;
    if (a.DisablePrintToFile) flags |= pd::kDisablePrintToFile;
    if (a.DisableSelection) flags |= pd::kNoSelection;
    if (a.PrintToFile) flags |= pd::kPrintToFile;
    if (!a.ShowPrintToFile) flags |= pd::kHidePrintToFile;
    if (a.PreventWarning) flags |= pd::kNoWarning;
    if (a.Collate) flags |= pd::kCollate;
    if (a.PrintRange == 1) flags |= pd::kPageNums;
    if (a.PrintRange == 2) flags |= pd::kSelection;
    flags &= ~(pd::kEnablePrintHook | pd::kEnableSetupHook | pd::kEnablePrintTemplate |
               pd::kEnableSetupTemplate);

    PrintDialogRecord r;
    r.SetU32(pd::kStructSize, pd::kRecordSize);
    r.SetU32(pd::kOwner, Low32(a.Owner));
    r.SetU16(pd::kFromPage, ClampToWord(a.FromPage));
    r.SetU16(pd::kToPage, ClampToWord(a.ToPage));
    r.SetU16(pd::kMinPage, 1);
    r.SetU16(pd::kMaxPage, 0xFFFF);
    r.SetU16(pd::kCopies, ClampToWord(a.Copies));
    const bool setup = flags & pd::kPrintSetup;
    const std::int32_t result =
        ShowRecord(r, flags,
                   {pd::kFlags, setup ? pd::kEnableSetupHook : pd::kEnablePrintHook,
                    setup ? pd::kSetupHook : pd::kPrintHook},
                   a, &DialogApi::PrintDialog);
    if (result != 1) return false;

    const std::uint32_t back = r.U32(pd::kFlags);
    a.flags = static_cast<std::int32_t>(back);
    a.hDC = r.dc;
    a.PrintRange = (back & pd::kPageNums) ? 1 : (back & pd::kSelection) ? 2 : 0;
    a.FromPage = r.U16(pd::kFromPage);
    a.ToPage = r.U16(pd::kToPage);
    a.PrintToFile = (back & pd::kPrintToFile) != 0;
    printerDevMode_ = DeviceModeCopy::From(r.devMode);
    if (back & pd::kCollate) {
        a.Collate = true;
        a.Copies = r.U16(pd::kCopies);
    } else {
        a.Collate = printerDevMode_.Collate() == 1;
        a.Copies = printerDevMode_.Copies();
    }
    const DeviceNames names = ParseDeviceNames(r.devNames);
    printerDriver_ = api_.FromAnsi(names.driver);
    printerName_ = api_.FromAnsi(names.device);
    printerPort_ = api_.FromAnsi(names.port);
    ApplyToPrinter(a.Printer, a.Copies, printerDevMode_);
    return true;
}

bool GCommonDialog::VBPageSetupDlg2(PageSetupArgs& a) {
    std::uint32_t flags = 0;
    if (a.DisableMargins) flags |= psd::kDisableMargins;
    if (a.DisableOrientation) flags |= psd::kDisableOrientation;
    if (a.DisablePaper) flags |= psd::kDisablePaper;
    if (a.DisablePrinter) flags |= psd::kDisablePrinter;
    const double scale = a.Units != 0 ? 100 : 1000;
    flags |= a.Units != 0 ? psd::kInHundredthsOfMillimeters : psd::kInThousandthsOfInches;

    PageSetupRecord r;
    r.SetU32(psd::kStructSize, psd::kRecordSize);
    if (a.Owner != -1) r.SetU32(psd::kOwner, Low32(a.Owner));
    // Margins are passed (and asked to be used) only when a set holds something.
    auto putRect = [&](std::size_t at, double l, double t, double rt, double b,
                       std::uint32_t useFlag) {
        r.SetI32(at + psd::kLeft, RoundToInt32(l * scale));
        r.SetI32(at + psd::kTop, RoundToInt32(t * scale));
        r.SetI32(at + psd::kRight, RoundToInt32(rt * scale));
        r.SetI32(at + psd::kBottom, RoundToInt32(b * scale));
        for (std::size_t side = 0; side < 16; side += 4)
            if (r.I32(at + side) != 0) flags |= useFlag;
    };
    putRect(psd::kMargin, a.LeftMargin, a.TopMargin, a.RightMargin, a.BottomMargin, psd::kMargins);
    putRect(psd::kMinMargin, a.MinLeftMargin, a.MinTopMargin, a.MinRightMargin, a.MinBottomMargin,
            psd::kMinMargins);
    const std::int32_t result =
        ShowRecord(r, flags, {psd::kFlags, psd::kEnablePageSetupHook, psd::kPageSetupHook}, a,
                   &DialogApi::PageSetupDialog);
    if (result != 1) return false;

    a.flags = r.I32(psd::kFlags);
    a.LeftMargin = r.I32(psd::kMargin + psd::kLeft) / scale;
    a.TopMargin = r.I32(psd::kMargin + psd::kTop) / scale;
    a.RightMargin = r.I32(psd::kMargin + psd::kRight) / scale;
    a.BottomMargin = r.I32(psd::kMargin + psd::kBottom) / scale;
    a.MinLeftMargin = r.I32(psd::kMinMargin + psd::kLeft) / scale;
    a.MinTopMargin = r.I32(psd::kMinMargin + psd::kTop) / scale;
    a.MinRightMargin = r.I32(psd::kMinMargin + psd::kRight) / scale;
    a.MinBottomMargin = r.I32(psd::kMinMargin + psd::kBottom) / scale;
    const DeviceModeCopy mode = DeviceModeCopy::From(r.devMode);
    a.PaperSize = mode.PaperSize();
    a.Orientation = mode.Orientation();
    a.PrintQuality = mode.PrintQuality();
    ApplyToPrinter(a.Printer, mode.Copies(), mode);
    return true;
}

bool GCommonDialog::VBPageSetupDlg(PageSetupArgs& a) {
    double* margins[] = {&a.LeftMargin, &a.MinLeftMargin, &a.RightMargin,  &a.MinRightMargin,
                         &a.TopMargin,  &a.MinTopMargin,  &a.BottomMargin, &a.MinBottomMargin};
    for (double* m : margins) *m = RoundToInt32(*m);
    if (!VBPageSetupDlg2(a)) return false;
    for (double* m : margins) *m = RoundToInt32(*m);
    return true;
}

// ---------------------------------------------------------------------------------------------
// cCommonDialog

const std::shared_ptr<DialogFont>& cCommonDialog::Font() {
    if (!font_) font_ = std::make_shared<DialogFont>();
    return font_;
}

std::int32_t cCommonDialog::FontSize() {
    return RoundToInt32(Font()->Size);
}

bool cCommonDialog::ShowColor() {
    isFileDialog_ = false;
    const auto f = static_cast<std::uint32_t>(flags_);
    ColorDialogArgs a;
    a.Color = static_cast<std::int32_t>(api_.TranslateColor(color_).value_or(0xFFFFFFFFu));
    a.AnyColor = FlagSet(f, cc::kAnyColor);
    a.FullOpen = FlagSet(f, cc::kFullOpen);
    a.DisableFullOpen = FlagSet(f, cc::kPreventFullOpen);
    TakeCommonSettings(a);
    if (!Dialog().VBChooseColor(a)) return false;
    color_ = a.Color;
    return true;
}

bool cCommonDialog::ShowFont() {
    isFileDialog_ = false;
    FontDialogArgs a;
    a.CurFont = *Font();
    a.PrinterDC = -1;
    a.Color = fontColor_;
    a.MinSize = min_;
    a.MaxSize = max_;
    TakeCommonSettings(a);
    if (!Dialog().VBChooseFont(a)) return false;
    *font_ = a.CurFont;
    flags_ = a.flags;
    fontColor_ = a.Color;
    return true;
}

bool cCommonDialog::ShowPrinter() {
    isFileDialog_ = false;
    const auto f = static_cast<std::uint32_t>(flags_);
    PrintDialogArgs a;
    a.hDC = printerDC_.dc;
    a.DisablePageNumbers = !FlagSet(f, pd::kPageNums);
    a.DisableSelection = FlagSet(f, pd::kNoSelection);
    a.ShowPrintToFile = !FlagSet(f, pd::kHidePrintToFile);
    a.DisablePrintToFile = FlagSet(f, pd::kDisablePrintToFile);
    a.PrintToFile = FlagSet(f, pd::kPrintToFile);
    a.Collate = FlagSet(f, pd::kCollate);
    a.PreventWarning = FlagSet(f, pd::kNoWarning);
    a.Copies = copies_; // held at the record's range there
    a.FromPage = fromPage_;
    a.ToPage = toPage_;
    a.Printer = object_.get();
    TakeCommonSettings(a);
    if (!Dialog().VBPrintDlg(a)) return false;
    printerDC_.Reset(a.hDC);
    copies_ = a.Copies;
    fromPage_ = a.FromPage;
    toPage_ = a.ToPage;
    flags_ = a.flags;
    return true;
}

void cCommonDialog::ShowHelp() {
    isFileDialog_ = false;
    const std::string file = api_.ToAnsi(helpFile_);
    api_.RunHelp(hWnd_, helpFile_.empty() ? nullptr : &file, helpCommand_, 0);
}

void cCommonDialog::SetHelpPosition(std::int32_t x, std::int32_t y, std::int32_t dx,
                                    std::int32_t dy, std::int32_t eWindowType) {
    const std::string file = api_.ToAnsi(helpFile_);
    api_.PlaceHelpWindow(hWnd_, helpFile_.empty() ? nullptr : &file,
                         MakeHelpWindowRecord(x, y, dx, dy, eWindowType));
}

} // namespace corvale
