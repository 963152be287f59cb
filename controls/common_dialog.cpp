#include "controls/common_dialog.h"

#include <algorithm>
#include <array>

namespace corvale {

namespace {

// Length in UTF-16 units, the unit the filter's 16-bit count is taken in.
std::size_t Utf16Length(std::string_view utf8) {
    std::size_t n = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) == 0x80) continue; // continuation byte
        n += c >= 0xF0 ? 2 : 1;           // four-byte sequences need a surrogate pair
    }
    return n;
}

std::uint32_t Low32(std::intptr_t value) {
    return static_cast<std::uint32_t>(static_cast<std::uintptr_t>(value));
}

// A text the record carries by pointer: an empty one is passed as no string.
void PutOptionalText(DialogApi& api, FileDialogRecord& record, std::size_t offset,
                     std::string& slot, const std::string& text) {
    if (text.empty()) return;
    slot = record.wide ? text : api.ToAnsi(text);
    record.SetU32(offset, ofn::kPresent);
}

// The buffer of a wide-character record: the UTF-8 text, then NULs to at least the declared
// size; the size the system gets (in UTF-16 units) is the record's max-file field.
bool FillWideBuffer(std::string_view text, std::size_t size, std::vector<char>& buffer) {
    if (Utf16Length(text) >= size) return false;
    buffer.assign(std::max(size, text.size() + 1), '\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    return true;
}

GCommonDialog* g_hookTarget = nullptr;

} // namespace

// ---------------------------------------------------------------------------------------------
// mDialogHook

namespace mDialogHook {

void SetHookTarget(GCommonDialog* target) {
    g_hookTarget = target;
}
void ClearHookTarget() {
    g_hookTarget = nullptr;
}
GCommonDialog* HookTarget() {
    return g_hookTarget;
}

std::intptr_t RouteHook(WindowHandle hDlg, std::uint32_t msg, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    GCommonDialog* target = HookTarget();
    return target ? target->DialogHook(hDlg, msg, wParam, lParam) : 0;
}

} // namespace mDialogHook

// ---------------------------------------------------------------------------------------------
// GCommonDialog

GCommonDialog::~GCommonDialog() {
    if (mDialogHook::HookTarget() == this) mDialogHook::ClearHookTarget();
}

DialogOutcome GCommonDialog::VBGetOpenFileName(FileDialogArgs& args) {
    args.flags &= ~static_cast<std::int32_t>(ofn::kEnableTemplate);
    return Show(args, true, 0, 0);
}

DialogOutcome GCommonDialog::VBGetSaveFileName(FileDialogArgs& args) {
    args.flags &= ~static_cast<std::int32_t>(ofn::kEnableTemplate);
    return Show(args, false, 0, 0);
}

DialogOutcome GCommonDialog::VBGetOpenFileName2(FileDialogArgs& args) {
    return Show(args, true, args.hInstance, args.TemplateName);
}

DialogOutcome GCommonDialog::VBGetSaveFileName2(FileDialogArgs& args) {
    return Show(args, false, args.hInstance, args.TemplateName);
}

DialogOutcome GCommonDialog::Show(FileDialogArgs& args, bool open, ModuleHandle instance,
                                  std::int32_t templateName) {
    // Every check comes before anything is shown or remembered.
    if (Utf16Length(args.Filter) > ofn::kMaxFilterLength) return DialogOutcome::FilterTooLong;

    const bool multi = open && args.MultiSelect;
    const std::size_t bufferSize = multi ? ofn::kMultiBuffer : ofn::kSingleBuffer;
    FileDialogRecord record;
    record.wide = args.WideChars;
    const auto fromRecord = [&](std::string_view t) {
        return record.wide ? std::string(t) : api_.FromAnsi(t);
    };
    const bool filled =
        record.wide ? FillWideBuffer(args.Filename, bufferSize, record.file) &&
                          FillWideBuffer(args.FileTitle, bufferSize, record.fileTitle)
                    : FillBuffer(api_.ToAnsi(args.Filename), bufferSize, record.file) &&
                          FillBuffer(api_.ToAnsi(args.FileTitle), bufferSize, record.fileTitle);
    if (!filled) return DialogOutcome::NameTooLong;

    std::uint32_t flags =
        open ? OpenDialogFlags(args.ReadOnly, args.HideReadOnly, args.FileMustExist, multi)
             : SaveDialogFlags(args.OverWritePrompt);

    record.SetU32(ofn::kStructSize, ofn::kRecordSize);
    if (args.Owner != -1) record.SetU32(ofn::kOwner, Low32(args.Owner));
    PutOptionalText(api_, record, ofn::kInitialDir, record.initialDir, args.InitDir);
    PutOptionalText(api_, record, ofn::kDefExt, record.defExt, args.DefaultExt);
    PutOptionalText(api_, record, ofn::kTitle, record.title, args.DlgTitle);

    std::optional<mDialogHook::ScopedHookTarget> hookTarget;
    if (args.Hook) {
        hookTarget.emplace(this);
        record.SetU32(ofn::kHook, ofn::kPresent);
        flags |= ofn::kExplorer | ofn::kEnableHook;
        sink_ = args.EventSink;
    }
    if (FlagSet(static_cast<std::uint32_t>(args.flags), ofn::kEnableTemplate) && instance != 0) {
        record.instance = instance;
        record.SetU32(ofn::kInstance, Low32(instance));
        flags |= ofn::kEnableTemplate;
        record.SetU32(ofn::kTemplateName, static_cast<std::uint32_t>(templateName));
    }

    const std::string converted = ConvertFilter(args.Filter);
    record.filter = record.wide ? converted : api_.ToAnsi(converted);
    record.SetU32(ofn::kFilter, ofn::kPresent);
    record.SetU32(ofn::kFilterIndex, static_cast<std::uint32_t>(args.FilterIndex));
    record.SetU32(ofn::kFile, ofn::kPresent);
    record.SetU32(ofn::kMaxFile, static_cast<std::uint32_t>(bufferSize));
    record.SetU32(ofn::kFileTitle, ofn::kPresent);
    record.SetU32(ofn::kMaxFileTitle, static_cast<std::uint32_t>(bufferSize));
    record.SetFlags(flags);

    apiReturn_ = open ? api_.OpenFileDialog(record) : api_.SaveFileDialog(record);
    sink_ = nullptr;
    hookTarget.reset();

    if (apiReturn_ == 1) {
        const std::string_view file(record.file.data(), record.file.size());
        if (multi) {
            args.Filename = fromRecord(file);
        } else {
            args.Filename = fromRecord(TrimAtNull(file));
            args.FileTitle = fromRecord(
                TrimAtNull(std::string_view(record.fileTitle.data(), record.fileTitle.size())));
        }
        args.flags = static_cast<std::int32_t>(record.Flags());
        args.FilterIndex = record.FilterIndex();
        args.Filter = FilterLookup(converted, args.FilterIndex);
        if (open && FlagSet(record.Flags(), ofn::kReadOnly)) args.ReadOnly = true;
        return DialogOutcome::Chosen;
    }

    if (apiReturn_ != 0) extendedError_ = api_.CommDlgExtendedError();
    args.Filename.clear();
    args.FileTitle.clear();
    args.Filter.clear();
    args.flags = 0;
    args.FilterIndex = open ? -1 : 0;
    return DialogOutcome::Cancelled;
}

std::string GCommonDialog::VBGetFileTitle(const std::string& sFile) {
    std::array<char, ofn::kSingleBuffer> buffer{};
    if (api_.QueryFileTitle(api_.ToAnsi(sFile), buffer) != 0) return {};
    return api_.FromAnsi(TrimAtNull(std::string_view(buffer.data(), buffer.size())));
}

std::intptr_t GCommonDialog::DialogHook(WindowHandle hDlg, std::uint32_t msg, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
    if (!sink_) return 0;
    switch (msg) {
    case dialog_msg::kInitDialog:
        return sink_->InitDialog(hDlg);
    case dialog_msg::kCommand:
        sink_->WMCommand(hDlg, wParam, lParam);
        return 0;
    case dialog_msg::kDestroy:
        sink_->DialogClose();
        return 0;
    case dialog_msg::kNotify:
        switch (api_.NotifyCode(lParam)) {
        case dialog_msg::kSelChange:
            return sink_->FileChange(hDlg);
        case dialog_msg::kFolderChange:
            return sink_->FolderChange(hDlg);
        case dialog_msg::kTypeChange:
            return sink_->TypeChange(hDlg);
        case dialog_msg::kFileOk:
            if (!sink_->ConfirmOK()) {
                api_.SetMessageResult(hDlg, 1);
                return 1;
            }
            api_.SetMessageResult(hDlg, 0);
            return 0;
        default:
            return 0;
        }
    default:
        return 0;
    }
}

// ---------------------------------------------------------------------------------------------
// cCommonDialog

cCommonDialog::~cCommonDialog() {
    if (loadedLibrary_ != 0) api_.ReleaseModule(loadedLibrary_);
}

GCommonDialog& cCommonDialog::Dialog() {
    if (!dialog_) dialog_ = std::make_unique<GCommonDialog>(api_);
    return *dialog_;
}

bool cCommonDialog::ConfirmOK() {
    bool cancel = false;
    if (events_) events_->DialogOK(cancel);
    return !cancel;
}

void cCommonDialog::ParseMultiFileName(std::string& sDir, std::vector<std::string>& sFiles,
                                       std::int32_t& iFileCount) const {
    sDir.clear();
    sFiles.clear();
    iFileCount = 0;
    const std::string_view name(filename_);
    const std::size_t doubleNul = name.find(std::string_view("\0\0", 2));

    if (doubleNul == std::string_view::npos) {
        iFileCount = 1;
        const std::size_t slash = name.rfind('\\');
        if (slash != std::string_view::npos && slash > 0) {
            sDir = std::string(name.substr(0, slash));
            sFiles.emplace_back(name.substr(slash + 1));
        } else {
            sFiles.emplace_back(name);
        }
        return;
    }

    std::string_view rest = name.substr(0, doubleNul);
    for (std::size_t nul; (nul = rest.find('\0')) != std::string_view::npos;) {
        const std::string_view piece = rest.substr(0, nul);
        rest.remove_prefix(nul + 1);
        if (sDir.empty()) {
            sDir = std::string(piece);
        } else {
            sFiles.emplace_back(piece);
            ++iFileCount;
        }
    }
    sFiles.emplace_back(rest);
    ++iFileCount;
}

WindowHandle cCommonDialog::DialogWindow(WindowHandle hDlg) {
    return isFileDialog_ ? api_.GetParent(hDlg) : hDlg;
}

void cCommonDialog::CentreDialog(WindowHandle hDlg, std::optional<WindowHandle> centreTo) {
    const WindowHandle window = DialogWindow(hDlg);
    const std::optional<DialogRect> dialog = api_.GetWindowRect(window);
    if (!dialog) return;

    DialogRect target;
    if (centreTo) {
        target = api_.GetWindowRect(*centreTo).value_or(DialogRect{});
    } else if (std::optional<DialogRect> work = api_.WorkArea()) {
        target = *work;
    } else {
        const auto [cx, cy] = api_.ScreenPixels();
        target = DialogRect{0, 0, cx, cy};
    }
    if (target.right <= 0 || target.bottom <= 0) return;

    const std::int32_t width = dialog->Width();
    const std::int32_t height = dialog->Height();
    const std::int32_t x = target.left + (target.Width() - width) / 2;
    const std::int32_t y = target.top + (target.Height() - height) / 2;
    api_.MoveWindow(window, x, y, width, height, true);
}

void cCommonDialog::GetDialogSize(WindowHandle hDlg, std::int32_t& left, std::int32_t& top,
                                  std::int32_t& width, std::int32_t& height) {
    const DialogRect r = api_.GetWindowRect(DialogWindow(hDlg)).value_or(DialogRect{});
    left = r.left;
    top = r.top;
    width = r.Width();
    height = r.Height();
}

FileDialogArgs cCommonDialog::ArgsFromFields() {
    FileDialogArgs a;
    a.Filename = filename_;
    a.FileTitle = fileTitle_;
    a.Filter = filter_;
    a.FilterIndex = filterIndex_;
    a.InitDir = initDir_;
    a.DlgTitle = dialogTitle_;
    a.DefaultExt = defaultExt_;
    a.Owner = hWnd_;
    a.flags = flags_;
    a.Hook = hookDialog_;
    a.hInstance = hInstance_;
    a.TemplateName = templateName_;
    a.EventSink = this;
    a.WideChars = wideChars_;
    return a;
}

void cCommonDialog::FieldsFromArgs(const FileDialogArgs& a) {
    filename_ = a.Filename;
    fileTitle_ = a.FileTitle;
    filter_ = a.Filter;
    filterIndex_ = a.FilterIndex;
    flags_ = a.flags;
}

DialogOutcome cCommonDialog::ShowSave() {
    isFileDialog_ = true;
    const auto f = static_cast<std::uint32_t>(flags_);
    if (FlagSet(f, ofn::kEnableTemplate) && hInstance_ == 0)
        flags_ ^= static_cast<std::int32_t>(ofn::kEnableTemplate);
    FileDialogArgs a = ArgsFromFields();
    a.OverWritePrompt = FlagSet(f, ofn::kOverwritePrompt);
    const DialogOutcome outcome = Dialog().VBGetSaveFileName2(a);
    FieldsFromArgs(a);
    return outcome;
}

DialogOutcome cCommonDialog::ShowOpen() {
    isFileDialog_ = true;
    const auto f = static_cast<std::uint32_t>(flags_);
    if (FlagSet(f, ofn::kEnableTemplate) && hInstance_ == 0)
        flags_ ^= static_cast<std::int32_t>(ofn::kEnableTemplate);
    if (filterIndex_ == 0) filterIndex_ = 1;
    FileDialogArgs a = ArgsFromFields();
    a.FileMustExist = FlagSet(f, ofn::kFileMustExist);
    a.MultiSelect = FlagSet(f, ofn::kAllowMultiSelect);
    a.ReadOnly = FlagSet(f, ofn::kReadOnly);
    a.HideReadOnly = FlagSet(f, ofn::kHideReadOnly);
    const DialogOutcome outcome = Dialog().VBGetOpenFileName2(a);
    FieldsFromArgs(a);
    return outcome;
}

void cCommonDialog::cdLoadLibrary(const std::string& DllName) {
    cdFreeLibrary();
    hInstance_ = api_.LoadModule(api_.ToAnsi(DllName));
    loadedLibrary_ = hInstance_;
}

void cCommonDialog::cdFreeLibrary() {
    if (loadedLibrary_ == 0) return;
    api_.ReleaseModule(loadedLibrary_);
    if (hInstance_ == loadedLibrary_) hInstance_ = 0;
    loadedLibrary_ = 0;
}

} // namespace corvale
