#include "controls/win32/dialog_records_win32.h"

#include "controls/win32/common_dialog_win32.h"

#include <cstddef>
#include <cstring>

namespace corvale::win32 {

namespace {

static_assert(cf::kEnableTemplateHandle == CF_ENABLETEMPLATEHANDLE && cf::kApply == CF_APPLY);

#if !defined(_WIN64)
// On the 32-bit target every record is the platform's structure, byte for byte.
static_assert(sizeof(CHOOSECOLORA) == cc::kRecordSize);
static_assert(offsetof(CHOOSECOLORA, rgbResult) == cc::kResult);
static_assert(offsetof(CHOOSECOLORA, lpCustColors) == cc::kCustColors);
static_assert(offsetof(CHOOSECOLORA, Flags) == cc::kFlags);
static_assert(offsetof(CHOOSECOLORA, lpfnHook) == cc::kHook);
static_assert(offsetof(CHOOSECOLORA, lpTemplateName) == cc::kTemplateName);

static_assert(sizeof(CHOOSEFONTA) == cf::kRecordSize);
static_assert(offsetof(CHOOSEFONTA, hDC) == cf::kDC);
static_assert(offsetof(CHOOSEFONTA, iPointSize) == cf::kPointSize);
static_assert(offsetof(CHOOSEFONTA, Flags) == cf::kFlags);
static_assert(offsetof(CHOOSEFONTA, rgbColors) == cf::kColors);
static_assert(offsetof(CHOOSEFONTA, lpfnHook) == cf::kHook);
static_assert(offsetof(CHOOSEFONTA, hInstance) == cf::kInstance);
static_assert(offsetof(CHOOSEFONTA, nFontType) == cf::kFontType);
static_assert(offsetof(CHOOSEFONTA, nSizeMin) == cf::kSizeMin);
static_assert(offsetof(CHOOSEFONTA, nSizeMax) == cf::kSizeMax);

static_assert(sizeof(PRINTDLGA) == pd::kRecordSize);
static_assert(offsetof(PRINTDLGA, hDC) == pd::kDC);
static_assert(offsetof(PRINTDLGA, Flags) == pd::kFlags);
static_assert(offsetof(PRINTDLGA, nFromPage) == pd::kFromPage);
static_assert(offsetof(PRINTDLGA, nCopies) == pd::kCopies);
static_assert(offsetof(PRINTDLGA, hInstance) == pd::kInstance);
static_assert(offsetof(PRINTDLGA, lpfnPrintHook) == pd::kPrintHook);
static_assert(offsetof(PRINTDLGA, lpfnSetupHook) == pd::kSetupHook);
static_assert(offsetof(PRINTDLGA, hSetupTemplate) == pd::kSetupTemplate);

static_assert(sizeof(PAGESETUPDLGA) == psd::kRecordSize);
static_assert(offsetof(PAGESETUPDLGA, Flags) == psd::kFlags);
static_assert(offsetof(PAGESETUPDLGA, ptPaperSize) == psd::kPaperSize);
static_assert(offsetof(PAGESETUPDLGA, rtMinMargin) == psd::kMinMargin);
static_assert(offsetof(PAGESETUPDLGA, rtMargin) == psd::kMargin);
static_assert(offsetof(PAGESETUPDLGA, hInstance) == psd::kInstance);
static_assert(offsetof(PAGESETUPDLGA, lpfnPageSetupHook) == psd::kPageSetupHook);
static_assert(offsetof(PAGESETUPDLGA, hPageSetupTemplate) == psd::kTemplate);
#endif

// The help-window record is the start of the platform's (which pads the 2-byte name to 4).
static_assert(offsetof(HELPWININFOA, wMax) == hwi::kWindowType);
static_assert(offsetof(HELPWININFOA, rgchMember) == hwi::kMember);
// The logical font has one layout everywhere.
static_assert(sizeof(LOGFONTA) == lf::kRecordSize);
static_assert(offsetof(LOGFONTA, lfFaceName) == lf::kFaceName);
// The device-mode fields that are read from the kept copy.
static_assert(offsetof(DEVMODEA, dmOrientation) == dm::kOrientation);
static_assert(offsetof(DEVMODEA, dmPaperSize) == dm::kPaperSize);
static_assert(offsetof(DEVMODEA, dmCopies) == dm::kCopies);
static_assert(offsetof(DEVMODEA, dmPrintQuality) == dm::kPrintQuality);
static_assert(offsetof(DEVMODEA, dmCollate) == dm::kCollate);

// A 32-bit handle field as the platform's handle (sign-extended, as 64-bit Windows does).
template <typename Handle, std::size_t N>
Handle HandleField(const ByteRecord<N>& r, std::size_t offset) {
    return reinterpret_cast<Handle>(static_cast<std::intptr_t>(r.I32(offset)));
}

// A template-name field: a resource number, or none.
template <std::size_t N> LPCSTR ResourceField(const ByteRecord<N>& r, std::size_t offset) {
    const std::uint32_t id = r.U32(offset);
    return id != 0 ? MAKEINTRESOURCEA(id) : nullptr;
}

// A global memory block the dialog handed back: copied out, then freed.
class ReturnedBlock {
  public:
    explicit ReturnedBlock(HGLOBAL block) : block_(block) {}
    ~ReturnedBlock() {
        if (block_) GlobalFree(block_);
    }
    ReturnedBlock(const ReturnedBlock&) = delete;
    ReturnedBlock& operator=(const ReturnedBlock&) = delete;

    std::vector<std::uint8_t> Bytes() const {
        if (!block_) return {};
        const SIZE_T size = GlobalSize(block_);
        const auto* p = static_cast<const std::uint8_t*>(GlobalLock(block_));
        if (!p) return {};
        std::vector<std::uint8_t> out(p, p + size);
        GlobalUnlock(block_);
        return out;
    }

  private:
    HGLOBAL block_;
};

void PutRect(PageSetupRecord& r, std::size_t at, const RECT& rect) {
    r.SetI32(at + psd::kLeft, rect.left);
    r.SetI32(at + psd::kTop, rect.top);
    r.SetI32(at + psd::kRight, rect.right);
    r.SetI32(at + psd::kBottom, rect.bottom);
}

RECT GetRect(const PageSetupRecord& r, std::size_t at) {
    return RECT{r.I32(at + psd::kLeft), r.I32(at + psd::kTop), r.I32(at + psd::kRight),
                r.I32(at + psd::kBottom)};
}

} // namespace

CHOOSECOLORA ToPlatform(ColorDialogRecord& r) {
    static_assert(sizeof(COLORREF) == sizeof(r.customColors[0]));
    CHOOSECOLORA c{};
    c.lStructSize = sizeof c;
    c.hwndOwner = HandleField<HWND>(r, cc::kOwner);
    c.hInstance = HandleField<HWND>(r, cc::kInstance);
    c.rgbResult = r.U32(cc::kResult);
    if (r.Has(cc::kCustColors)) c.lpCustColors = reinterpret_cast<COLORREF*>(r.customColors.data());
    c.Flags = r.U32(cc::kFlags);
    c.lCustData = r.U32(cc::kCustData);
    if (r.Has(cc::kHook)) c.lpfnHook = DialogHookProc;
    c.lpTemplateName = ResourceField(r, cc::kTemplateName);
    return c;
}

CHOOSEFONTA ToPlatform(FontDialogRecord& r, LOGFONTA& font) {
    std::memcpy(&font, r.logFont.bytes.data(), sizeof font);
    CHOOSEFONTA f{};
    f.lStructSize = sizeof f;
    f.hwndOwner = HandleField<HWND>(r, cf::kOwner);
    f.hDC = reinterpret_cast<HDC>(r.dc);
    if (r.Has(cf::kLogFont)) f.lpLogFont = &font;
    f.iPointSize = r.I32(cf::kPointSize);
    f.Flags = r.U32(cf::kFlags);
    f.rgbColors = r.U32(cf::kColors);
    f.lCustData = r.U32(cf::kCustData);
    if (r.Has(cf::kHook)) f.lpfnHook = DialogHookProc;
    f.lpTemplateName = ResourceField(r, cf::kTemplateName);
    f.hInstance = HandleField<HINSTANCE>(r, cf::kInstance);
    f.nFontType = r.U16(cf::kFontType);
    f.nSizeMin = r.I32(cf::kSizeMin);
    f.nSizeMax = r.I32(cf::kSizeMax);
    return f;
}

PRINTDLGA ToPlatform(const PrintDialogRecord& r) {
    PRINTDLGA p{};
    p.lStructSize = sizeof p;
    p.hwndOwner = HandleField<HWND>(r, pd::kOwner);
    p.hDevMode = HandleField<HGLOBAL>(r, pd::kDevMode);
    p.hDevNames = HandleField<HGLOBAL>(r, pd::kDevNames);
    p.hDC = reinterpret_cast<HDC>(r.dc);
    p.Flags = r.U32(pd::kFlags);
    p.nFromPage = r.U16(pd::kFromPage);
    p.nToPage = r.U16(pd::kToPage);
    p.nMinPage = r.U16(pd::kMinPage);
    p.nMaxPage = r.U16(pd::kMaxPage);
    p.nCopies = r.U16(pd::kCopies);
    p.hInstance = HandleField<HINSTANCE>(r, pd::kInstance);
    p.lCustData = r.U32(pd::kCustData);
    if (r.Has(pd::kPrintHook)) p.lpfnPrintHook = DialogHookProc;
    if (r.Has(pd::kSetupHook)) p.lpfnSetupHook = DialogHookProc;
    p.lpPrintTemplateName = ResourceField(r, pd::kPrintTemplateName);
    p.lpSetupTemplateName = ResourceField(r, pd::kSetupTemplateName);
    p.hPrintTemplate = HandleField<HGLOBAL>(r, pd::kPrintTemplate);
    p.hSetupTemplate = HandleField<HGLOBAL>(r, pd::kSetupTemplate);
    return p;
}

PAGESETUPDLGA ToPlatform(const PageSetupRecord& r) {
    PAGESETUPDLGA s{};
    s.lStructSize = sizeof s;
    s.hwndOwner = HandleField<HWND>(r, psd::kOwner);
    s.hDevMode = HandleField<HGLOBAL>(r, psd::kDevMode);
    s.hDevNames = HandleField<HGLOBAL>(r, psd::kDevNames);
    s.Flags = r.U32(psd::kFlags);
    s.ptPaperSize = POINT{r.I32(psd::kPaperSize), r.I32(psd::kPaperSize + 4)};
    s.rtMinMargin = GetRect(r, psd::kMinMargin);
    s.rtMargin = GetRect(r, psd::kMargin);
    s.hInstance = HandleField<HINSTANCE>(r, psd::kInstance);
    s.lCustData = r.U32(psd::kCustData);
    if (r.Has(psd::kPageSetupHook)) s.lpfnPageSetupHook = DialogHookProc;
    s.lpPageSetupTemplateName = ResourceField(r, psd::kTemplateName);
    s.hPageSetupTemplate = HandleField<HGLOBAL>(r, psd::kTemplate);
    return s;
}

std::int32_t CallChooseColor(ColorDialogRecord& r) {
    CHOOSECOLORA c = ToPlatform(r);
    const BOOL result = ChooseColorA(&c);
    r.SetU32(cc::kResult, c.rgbResult);
    r.SetU32(cc::kFlags, c.Flags);
    return result;
}

std::int32_t CallChooseFont(FontDialogRecord& r) {
    LOGFONTA font;
    CHOOSEFONTA f = ToPlatform(r, font);
    const BOOL result = ChooseFontA(&f);
    std::memcpy(r.logFont.bytes.data(), &font, sizeof font);
    r.SetI32(cf::kPointSize, f.iPointSize);
    r.SetU32(cf::kFlags, f.Flags);
    r.SetU32(cf::kColors, f.rgbColors);
    r.SetU16(cf::kFontType, f.nFontType);
    return result;
}

std::int32_t CallPrintDlg(PrintDialogRecord& r) {
    PRINTDLGA p = ToPlatform(r);
    const BOOL result = PrintDlgA(&p);
    const ReturnedBlock mode(p.hDevMode), names(p.hDevNames);
    r.devMode = mode.Bytes();
    r.devNames = names.Bytes();
    r.SetU32(pd::kDevMode, r.devMode.empty() ? 0 : ofn::kPresent);
    r.SetU32(pd::kDevNames, r.devNames.empty() ? 0 : ofn::kPresent);
    r.dc = reinterpret_cast<DeviceContext>(p.hDC);
    r.SetU32(pd::kDC, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p.hDC)));
    r.SetU32(pd::kFlags, p.Flags);
    r.SetU16(pd::kFromPage, p.nFromPage);
    r.SetU16(pd::kToPage, p.nToPage);
    r.SetU16(pd::kCopies, p.nCopies);
    return result;
}

std::int32_t CallPageSetupDlg(PageSetupRecord& r) {
    PAGESETUPDLGA s = ToPlatform(r);
    const BOOL result = PageSetupDlgA(&s);
    const ReturnedBlock mode(s.hDevMode), names(s.hDevNames);
    r.devMode = mode.Bytes();
    r.devNames = names.Bytes();
    r.SetU32(psd::kDevMode, r.devMode.empty() ? 0 : ofn::kPresent);
    r.SetU32(psd::kDevNames, r.devNames.empty() ? 0 : ofn::kPresent);
    r.SetU32(psd::kFlags, s.Flags);
    r.SetI32(psd::kPaperSize, s.ptPaperSize.x);
    r.SetI32(psd::kPaperSize + 4, s.ptPaperSize.y);
    PutRect(r, psd::kMinMargin, s.rtMinMargin);
    PutRect(r, psd::kMargin, s.rtMargin);
    return result;
}

void CallWinHelp(HWND owner, const char* file, UINT command, ULONG_PTR data) {
    WinHelpA(owner, file, command, data);
}

void SetHelpWindow(HWND owner, const char* file, const HelpWindowRecord& record) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, hwi::kRecordSize);
    if (!block) return;
    if (void* p = GlobalLock(block)) {
        std::memcpy(p, record.bytes.data(), hwi::kRecordSize);
        WinHelpA(owner, file, HELP_SETWINPOS, reinterpret_cast<ULONG_PTR>(p));
        GlobalUnlock(block);
    }
    GlobalFree(block);
}

} // namespace corvale::win32
