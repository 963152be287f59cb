#pragma once
// The Windows side of the report's file and clipboard seams.
#include "platform/ui_seams.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace corvale::win32 {

// Writes the file in the system's ANSI code page, exactly the bytes of the converted text (no
// byte-order mark, line ends as given). The bytes go to a new file beside the target, which then
// replaces the target in one step: a failed write leaves an existing file as it was. Where the
// folder forbids creating files but the file itself may be changed, it is rewritten in place.
class Win32FileWriter final : public FileWriter {
  public:
    bool WriteTextFile(std::string_view path, std::string_view utf8Text) override;
    std::string FailureReason() const override { return failure_; }

  private:
    std::string failure_;
};

// Replaces (or creates) the file at path with the bytes, through a temporary file in the same
// folder (or in place, see above). ERROR_SUCCESS, or the system's error code with the target
// as it was and no temporary left.
DWORD ReplaceFileBytes(const std::wstring& path, std::string_view bytes);

// The system's description of an error code (UTF-8, no trailing line end).
std::string SystemErrorText(DWORD error);

// The clipboard as Unicode text (the system offers it as ANSI text too). With no owner window,
// a message-only window of its own owns the clipboard while it is open.
class Win32Clipboard final : public Clipboard {
  public:
    explicit Win32Clipboard(HWND owner = nullptr) : owner_(owner) {}
    bool SetText(std::string_view utf8Text) override;
    std::optional<std::string> GetText() override;

  private:
    HWND owner_;
};

} // namespace corvale::win32
