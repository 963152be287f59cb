#pragma once
// The file-dialog component in two layers, with the hook module between them:
//  - GCommonDialog fills the 76-byte record from plain arguments, shows the dialog through the
//    system and writes the answer back into the arguments;
//  - cCommonDialog is the property bag the application sees (set Filename, Filter, ...; call
//    ShowSave; read Filename back) and raises the hook's notifications as events;
//  - mDialogHook routes the system's hook callbacks to the GCommonDialog being shown.
// Everything here is portable; the system calls sit behind DialogApi (controls/win32/ has the
// real one, tests use a fake).
#include "controls/dialog_objects.h"
#include "controls/file_dialog_record.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvale {

struct DialogRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t Width() const { return right - left; }
    std::int32_t Height() const { return bottom - top; }
    friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

// What the component needs from the system.
class DialogApi {
  public:
    virtual ~DialogApi() = default;

    // Text crossing the record: UTF-8 inside, the system's ANSI code page in the record. Both
    // keep embedded NULs.
    virtual std::string ToAnsi(std::string_view utf8) = 0;
    virtual std::string FromAnsi(std::string_view ansi) = 0;

    // Shows the dialog the record describes; the answer lands in the record's buffers and
    // words (flags, filter index, name offsets). 1 = OK, 0 = cancelled or failed without detail.
    virtual std::int32_t OpenFileDialog(FileDialogRecord& record) = 0;
    virtual std::int32_t SaveFileDialog(FileDialogRecord& record) = 0;
    virtual std::uint32_t CommDlgExtendedError() = 0;
    // 0 on success with the title in buffer.
    virtual std::int16_t QueryFileTitle(const std::string& ansiFile, std::span<char> buffer) = 0;

    virtual WindowHandle GetParent(WindowHandle window) = 0;
    virtual std::optional<DialogRect> GetWindowRect(WindowHandle window) = 0;
    virtual void MoveWindow(WindowHandle window, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, bool repaint) = 0;
    virtual std::optional<DialogRect> WorkArea() = 0;
    virtual std::pair<std::int32_t, std::int32_t> ScreenPixels() = 0;

    virtual ModuleHandle LoadModule(const std::string& ansiName) = 0;
    virtual void ReleaseModule(ModuleHandle module) = 0;

    // The code field of the notification header lParam points to (0 for a null lParam).
    virtual std::int32_t NotifyCode(std::intptr_t lParam) = 0;
    // Sets the dialog's message result (the DWL_MSGRESULT slot).
    virtual void SetMessageResult(WindowHandle hDlg, std::intptr_t value) = 0;

    // Colour, font, print and page-setup dialogs: each shows the dialog its record describes and
    // writes the answer into the record (and what travels beside it). 1 = OK.
    virtual std::int32_t ChooseColorDialog(ColorDialogRecord& record) = 0;
    virtual std::int32_t ChooseFontDialog(FontDialogRecord& record) = 0;
    virtual std::int32_t PrintDialog(PrintDialogRecord& record) = 0;
    virtual std::int32_t PageSetupDialog(PageSetupRecord& record) = 0;

    virtual std::uint32_t SysColor(std::int32_t index) = 0;
    // A colour value that may name a system colour, as a plain RGB value; nullopt if it is none.
    virtual std::optional<std::uint32_t> TranslateColor(std::int32_t color) = 0;
    // Twips per screen pixel, vertically.
    virtual double TwipsPerPixelY() = 0;
    // A device context for the named printer (ANSI; empty = the default printer), 0 when there
    // is none. The caller deletes it.
    virtual DeviceContext CreatePrinterDC(const std::string& ansiDevice) = 0;
    virtual void DeleteDC(DeviceContext dc) = 0;

    // The help engine; a null file name is passed as no file.
    virtual void RunHelp(WindowHandle owner, const std::string* ansiFile, std::uint32_t command,
                         std::uintptr_t data) = 0;
    // Places the help window: the record goes to the help engine in movable global memory.
    virtual void PlaceHelpWindow(WindowHandle owner, const std::string* ansiFile,
                                 const HelpWindowRecord& record) = 0;
};

// The hook's forwarding targets: the object that receives a shown dialog's notifications.
class DialogEventSink {
  public:
    virtual ~DialogEventSink() = default;
    virtual std::intptr_t InitDialog(WindowHandle hDlg) = 0;
    virtual std::intptr_t FileChange(WindowHandle hDlg) = 0;
    virtual std::intptr_t FolderChange(WindowHandle hDlg) = 0;
    virtual std::intptr_t TypeChange(WindowHandle hDlg) = 0;
    virtual std::intptr_t DialogClose() = 0;
    virtual std::intptr_t WMCommand(WindowHandle hDlg, std::uintptr_t& wParam,
                                    std::intptr_t& lParam) = 0;
    // False refuses the OK button.
    virtual bool ConfirmOK() = 0;
};

namespace dialog_msg {
inline constexpr std::uint32_t kDestroy = 0x2;
inline constexpr std::uint32_t kNotify = 0x4E;
inline constexpr std::uint32_t kInitDialog = 0x110;
inline constexpr std::uint32_t kCommand = 0x111;
inline constexpr std::int32_t kSelChange = -602;
inline constexpr std::int32_t kFolderChange = -603;
inline constexpr std::int32_t kFileOk = -606;
inline constexpr std::int32_t kTypeChange = -607;
} // namespace dialog_msg

enum class DialogOutcome {
    Chosen,        // OK: the outputs hold the answer
    Cancelled,     // cancelled, or the dialog failed (see APIReturn and ExtendedError)
    FilterTooLong, // the filter's length does not fit its 16-bit count; no dialog was shown
    NameTooLong,   // Filename or FileTitle does not fit its buffer; no dialog was shown
};

// Arguments of the file functions. Outputs overwrite the inputs: Filename, FileTitle, Filter,
// FilterIndex, flags and (open only) ReadOnly.
struct FileDialogArgs {
    std::string Filename;
    std::string FileTitle;
    bool FileMustExist = false;   // open only
    bool MultiSelect = false;     // open only
    bool ReadOnly = false;        // open only
    bool HideReadOnly = false;    // open only
    bool OverWritePrompt = false; // save only
    std::string Filter;
    std::int32_t FilterIndex = 0;
    std::string InitDir;    // empty = none
    std::string DlgTitle;   // empty = the system's title
    std::string DefaultExt; // empty = none
    WindowHandle Owner = 0; // -1 = none
    std::int32_t flags = 0; // only bit 0x40 is read; receives the returned flags
    bool Hook = false;
    ModuleHandle hInstance = 0;
    std::int32_t TemplateName = 0;
    DialogEventSink* EventSink = nullptr;
    // Show the system's wide-character dialog: names outside the ANSI code page survive. The
    // record's texts are then UTF-8 and its buffer sizes count UTF-16 units.
    bool WideChars = false;
};

class GCommonDialog {
  public:
    explicit GCommonDialog(DialogApi& api) : api_(api) {}
    ~GCommonDialog();
    GCommonDialog(const GCommonDialog&) = delete;
    GCommonDialog& operator=(const GCommonDialog&) = delete;

    // The short forms clear bit 0x40 of flags and use no template.
    DialogOutcome VBGetOpenFileName(FileDialogArgs& args);
    DialogOutcome VBGetSaveFileName(FileDialogArgs& args);
    DialogOutcome VBGetOpenFileName2(FileDialogArgs& args);
    DialogOutcome VBGetSaveFileName2(FileDialogArgs& args);

    // The system's display title of a path; empty on failure.
    std::string VBGetFileTitle(const std::string& sFile);

    // What the hook procedure hands back to the system for one hook message.
    std::intptr_t DialogHook(WindowHandle hDlg, std::uint32_t msg, std::uintptr_t wParam,
                             std::intptr_t lParam);

    std::int32_t APIReturn() const { return apiReturn_; }
    std::uint32_t ExtendedError() const { return extendedError_; }
    DialogApi& Api() const { return api_; }

    // Colour, font, print and page-setup dialogs. True after OK; after anything else the
    // extended error is read (0 for a plain cancel) and the arguments keep their values, except
    // that VBChooseColor sets Color to -1.
    bool VBChooseColor(ColorDialogArgs& args);
    bool VBChooseFont(FontDialogArgs& args);
    bool VBPrintDlg(PrintDialogArgs& args);
    bool VBPageSetupDlg2(PageSetupArgs& args);
    // The same with whole-number margins: they are rounded on the way in and on the way out.
    bool VBPageSetupDlg(PageSetupArgs& args);

    // The custom-colour table, filled from system colours 0 to 15 on first use. A read outside
    // 0 to 15 gives -1; a write there is ignored.
    std::int32_t CustomColor(std::int32_t index);
    void SetCustomColor(std::int32_t index, std::int32_t color);

    // The device, driver and port of the last successful print dialog, and the first 122 bytes
    // of its device mode.
    const std::string& PrinterName() const { return printerName_; }
    const std::string& PrinterDriver() const { return printerDriver_; }
    const std::string& PrinterOutputPort() const { return printerPort_; }
    const DeviceModeCopy& PrinterDeviceMode() const { return printerDevMode_; }

  private:
    DialogOutcome Show(FileDialogArgs& args, bool open, ModuleHandle instance,
                       std::int32_t templateName);

    DialogApi& api_;
    std::int32_t apiReturn_ = 0;
    std::uint32_t extendedError_ = 0;
    DialogEventSink* sink_ = nullptr; // only while a hooked dialog is up

    void FillCustomColors();
    // The platform result and extended error of a colour, font, print or page-setup dialog.
    void Settle(std::int32_t result);
    // Where a record keeps its flags, and the flag and field that ask for the hook.
    struct HookFields {
        std::size_t flags;
        std::uint32_t enableHook;
        std::size_t hook;
    };
    // Shows a colour, font, print or page-setup dialog over its record: the flags go in (with
    // the hook asked for when `a` has one), the event sink is reachable while the dialog is up,
    // and the result and extended error are kept. Returns the dialog's result.
    template <class Record, class Args>
    std::int32_t ShowRecord(Record& r, std::uint32_t flags, HookFields at, const Args& a,
                            std::int32_t (DialogApi::*show)(Record&));

    std::array<std::uint32_t, 16> customColors_{};
    bool customColorsFilled_ = false;
    std::string printerName_, printerDriver_, printerPort_;
    DeviceModeCopy printerDevMode_;
};

// One module-wide slot naming the GCommonDialog whose hooked dialog is up. The slot does not
// own the object.
namespace mDialogHook {
void SetHookTarget(GCommonDialog* target);
void ClearHookTarget();
GCommonDialog* HookTarget();
// The body shared by the hook procedures: the target's DialogHook, or 0 with no target.
std::intptr_t RouteHook(WindowHandle hDlg, std::uint32_t msg, std::uintptr_t wParam,
                        std::intptr_t lParam);

// Sets the slot for one dialog and puts back what was there before when it ends.
class ScopedHookTarget {
  public:
    explicit ScopedHookTarget(GCommonDialog* target) : previous_(HookTarget()) {
        SetHookTarget(target);
    }
    ~ScopedHookTarget() { SetHookTarget(previous_); }
    ScopedHookTarget(const ScopedHookTarget&) = delete;
    ScopedHookTarget& operator=(const ScopedHookTarget&) = delete;

  private:
    GCommonDialog* previous_;
};
} // namespace mDialogHook

class cCommonDialog : public DialogEventSink {
  public:
    // The holder's handlers for the notifications of a hooked dialog. Every handler is optional.
    class Events {
      public:
        virtual ~Events() = default;
        virtual void InitDialog(WindowHandle hDlg) {}
        virtual void FileChange(WindowHandle hDlg) {}
        virtual void FolderChange(WindowHandle hDlg) {}
        virtual void TypeChange(WindowHandle hDlg) {}
        virtual void DialogClose() {}
        virtual void WMCommand(WindowHandle hDlg, std::uintptr_t& wParam, std::intptr_t& lParam) {}
        // Set bCancel to refuse the OK button.
        virtual void DialogOK(bool& bCancel) {}
    };

    explicit cCommonDialog(DialogApi& api) : api_(api) {}
    ~cCommonDialog() override;
    cCommonDialog(const cCommonDialog&) = delete;
    cCommonDialog& operator=(const cCommonDialog&) = delete;

    void SetEvents(Events* events) { events_ = events; }

    // Hook forwarding targets: each raises the event of the same name and returns 0.
    std::intptr_t WMCommand(WindowHandle hDlg, std::uintptr_t& wParam,
                            std::intptr_t& lParam) override {
        return Raise(&Events::WMCommand, hDlg, wParam, lParam);
    }
    std::intptr_t DialogClose() override { return Raise(&Events::DialogClose); }
    std::intptr_t TypeChange(WindowHandle h) override { return Raise(&Events::TypeChange, h); }
    std::intptr_t InitDialog(WindowHandle h) override { return Raise(&Events::InitDialog, h); }
    std::intptr_t FileChange(WindowHandle h) override { return Raise(&Events::FileChange, h); }
    std::intptr_t FolderChange(WindowHandle h) override { return Raise(&Events::FolderChange, h); }
    // Raises DialogOK with bCancel false and answers NOT bCancel.
    bool ConfirmOK() override;

    // Splits Filename: a multi-select answer gives its folder and the names (sFiles[0] is the
    // first); a single path gives the part before its last backslash and the part after it.
    void ParseMultiFileName(std::string& sDir, std::vector<std::string>& sFiles,
                            std::int32_t& iFileCount) const;

    // Centres the dialog (the hook window's parent after a file dialog) on the window
    // centreTo, or on the desktop work area when there is none.
    void CentreDialog(WindowHandle hDlg, std::optional<WindowHandle> centreTo);
    void GetDialogSize(WindowHandle hDlg, std::int32_t& left, std::int32_t& top,
                       std::int32_t& width, std::int32_t& height);

    bool CancelError() const { return cancelError_; }
    void SetCancelError(bool v) { cancelError_ = v; }
    const std::string& Filename() const { return filename_; }
    void SetFilename(std::string v) { filename_ = std::move(v); }
    const std::string& Filter() const { return filter_; }
    void SetFilter(std::string v) { filter_ = std::move(v); }
    std::int32_t FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(std::int32_t v) { filterIndex_ = v; }
    const std::string& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(std::string v) { defaultExt_ = std::move(v); }
    const std::string& DialogTitle() const { return dialogTitle_; }
    void SetDialogTitle(std::string v) { dialogTitle_ = std::move(v); }
    std::int32_t flags() const { return flags_; }
    void Setflags(std::int32_t v) { flags_ = v; }
    WindowHandle hWnd() const { return hWnd_; }
    void SethWnd(WindowHandle v) { hWnd_ = v; }
    const std::string& InitDir() const { return initDir_; }
    void SetInitDir(std::string v) { initDir_ = std::move(v); }
    // Stored only: the buffer sizes are fixed.
    std::int32_t MaxFileSize() const { return maxFileSize_; }
    void SetMaxFileSize(std::int32_t v) { maxFileSize_ = v; }
    const std::string& FileTitle() const { return fileTitle_; }
    void SetFileTitle(std::string v) { fileTitle_ = std::move(v); }
    bool HookDialog() const { return hookDialog_; }
    void SetHookDialog(bool v) { hookDialog_ = v; }
    ModuleHandle hInstance() const { return hInstance_; }
    void SethInstance(ModuleHandle v) { hInstance_ = v; }
    std::int32_t TemplateName() const { return templateName_; }
    void SetTemplateName(std::int32_t v) { templateName_ = v; }
    bool IsFileDialog() const { return isFileDialog_; }
    // Off (the ANSI record) unless the holder asks for the wide-character dialog.
    bool WideChars() const { return wideChars_; }
    void SetWideChars(bool v) { wideChars_ = v; }

    DialogOutcome ShowOpen();
    DialogOutcome ShowSave();

    // Loads a module holding dialog templates into hInstance (0 on failure). cdFreeLibrary
    // frees only a module loaded that way, once, and then clears hInstance.
    void cdLoadLibrary(const std::string& DllName);
    void cdFreeLibrary();

    // The last dialog's platform result and extended error (0 before any dialog).
    std::int32_t APIReturn() const { return dialog_ ? dialog_->APIReturn() : 0; }
    std::uint32_t ExtendedError() const { return dialog_ ? dialog_->ExtendedError() : 0; }

    // --- Colour, font, printer and help ------------------------------------------------------

    std::int32_t Color() const { return color_; }
    void SetColor(std::int32_t v) { color_ = v; }
    std::int32_t Copies() const { return copies_; }
    void SetCopies(std::int32_t v) { copies_ = v; }
    // The font object, created on first use; the Font... properties read and write it.
    const std::shared_ptr<DialogFont>& Font();
    void SetFont(std::shared_ptr<DialogFont> v) { font_ = std::move(v); }
    bool FontBold() { return Font()->Bold(); }
    void SetFontBold(bool v) { Font()->SetBold(v); }
    bool FontItalic() { return Font()->Italic; }
    void SetFontItalic(bool v) { Font()->Italic = v; }
    const std::string& FontName() { return Font()->Name; }
    void SetFontName(std::string v) { Font()->Name = std::move(v); }
    // Rounded to a whole number, halves to even.
    std::int32_t FontSize();
    void SetFontSize(double v) { Font()->Size = v; }
    bool FontStrikethru() { return Font()->Strikethrough; }
    void SetFontStrikethru(bool v) { Font()->Strikethrough = v; }
    bool FontUnderline() { return Font()->Underline; }
    void SetFontUnderline(bool v) { Font()->Underline = v; }
    std::int32_t FontColor() const { return fontColor_; }
    void SetFontColor(std::int32_t v) { fontColor_ = v; }
    std::int32_t FromPage() const { return fromPage_; }
    void SetFromPage(std::int32_t v) { fromPage_ = v; }
    std::int32_t ToPage() const { return toPage_; }
    void SetToPage(std::int32_t v) { toPage_ = v; }
    std::int32_t Min() const { return min_; }
    void SetMin(std::int32_t v) { min_ = v; }
    std::int32_t Max() const { return max_; }
    void SetMax(std::int32_t v) { max_ = v; }
    // The printer a successful print dialog hands its settings to (none by default).
    const std::shared_ptr<PrinterObject>& Object() const { return object_; }
    void SetObject(std::shared_ptr<PrinterObject> v) { object_ = std::move(v); }
    std::uint32_t HelpCommand() const { return helpCommand_; }
    void SetHelpCommand(std::uint32_t v) { helpCommand_ = v; }
    std::int32_t HelpContext() const { return helpContext_; }
    void SetHelpContext(std::int32_t v) { helpContext_ = v; }
    const std::string& HelpFile() const { return helpFile_; }
    void SetHelpFile(std::string v) { helpFile_ = std::move(v); }
    const std::string& HelpKey() const { return helpKey_; }
    void SetHelpKey(std::string v) { helpKey_ = std::move(v); }
    bool PrinterDefault() const { return printerDefault_; }
    void SetPrinterDefault(bool v) { printerDefault_ = v; }
    std::string PrinterName() const { return dialog_ ? dialog_->PrinterName() : std::string(); }
    std::string PrinterDriver() const { return dialog_ ? dialog_->PrinterDriver() : std::string(); }
    std::string PrinterOutputPort() const {
        return dialog_ ? dialog_->PrinterOutputPort() : std::string();
    }
    // The printer device context of the last successful print dialog; this object deletes it.
    DeviceContext hDC() const { return printerDC_.dc; }
    // Entry index of the custom-colour table; -1 outside 0 to 15, where writes are ignored.
    std::int32_t CustomColor(std::int32_t index) { return Dialog().CustomColor(index); }
    void SetCustomColor(std::int32_t index, std::int32_t v) { Dialog().SetCustomColor(index, v); }

    // No Show raises or reports anything on cancel: the result is false and the properties
    // keep their values.
    bool ShowColor();
    bool ShowFont();
    bool ShowPrinter();
    void ShowHelp();
    // Places the help window (HelpFile's) at x, y with size dx, dy and the given window type.
    void SetHelpPosition(std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy,
                         std::int32_t eWindowType);

  private:
    GCommonDialog& Dialog();
    FileDialogArgs ArgsFromFields();
    void FieldsFromArgs(const FileDialogArgs& args);
    // The window a file dialog's hook is given is a child of the real dialog window.
    WindowHandle DialogWindow(WindowHandle hDlg);

    DialogApi& api_;
    std::unique_ptr<GCommonDialog> dialog_;
    Events* events_ = nullptr;
    // What every dialog takes from the component: the owner, the flags and the hook.
    template <class Args> void TakeCommonSettings(Args& a) {
        a.Owner = hWnd_;
        a.flags = flags_;
        a.Hook = hookDialog_;
        a.EventSink = this;
    }
    // Raises one of the events when the holder listens.
    template <class... Params, class... Args>
    std::intptr_t Raise(void (Events::*event)(Params...), Args&... args) {
        if (events_) (events_->*event)(args...);
        return 0;
    }

    bool cancelError_ = false;
    std::string filename_;
    std::string filter_;
    std::int32_t filterIndex_ = 1;
    std::string defaultExt_;
    std::string dialogTitle_;
    std::int32_t flags_ = 0;
    WindowHandle hWnd_ = 0;
    std::string initDir_;
    std::int32_t maxFileSize_ = 0;
    std::string fileTitle_;
    bool hookDialog_ = false;
    ModuleHandle hInstance_ = 0;
    ModuleHandle loadedLibrary_ = 0; // the module cdLoadLibrary loaded and not yet freed
    std::int32_t templateName_ = 0;
    bool isFileDialog_ = false;
    bool wideChars_ = false;

    // A device context this object owns, deleted when replaced and when the object ends.
    struct OwnedDC {
        DialogApi& api;
        DeviceContext dc = 0;
        explicit OwnedDC(DialogApi& a) : api(a) {}
        ~OwnedDC() { Reset(0); }
        OwnedDC(const OwnedDC&) = delete;
        OwnedDC& operator=(const OwnedDC&) = delete;
        void Reset(DeviceContext next) {
            if (dc != 0 && dc != next) api.DeleteDC(dc);
            dc = next;
        }
    };

    std::int32_t color_ = 0;
    std::int32_t copies_ = 0;
    std::shared_ptr<DialogFont> font_;
    std::int32_t fontColor_ = 0;
    std::int32_t fromPage_ = 0;
    std::int32_t toPage_ = 0;
    std::int32_t min_ = 0;
    std::int32_t max_ = 0;
    std::shared_ptr<PrinterObject> object_;
    std::uint32_t helpCommand_ = 0;
    std::int32_t helpContext_ = 0;
    std::string helpFile_;
    std::string helpKey_;
    bool printerDefault_ = false;
    OwnedDC printerDC_{api_};
};

} // namespace corvale
