#pragma once
// The Windows side of the report's file and clipboard seams.
#include "platform/ui_seams.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace corvale::win32 {

// Writes the file in the system's ANSI code page, exactly the bytes of the converted text (no
// byte-order mark, line ends as given). The bytes go to a new file beside the target, which then
// replaces the target in one step: a failed write leaves an existing file as it was.
class Win32FileWriter final : public FileWriter {
  public:
    bool WriteTextFile(std::string_view path, std::string_view utf8Text) override;
};

// Replaces (or creates) the file at path with the bytes, through a temporary file in the same
// folder. False, with the target untouched and no temporary left, on any failure.
bool ReplaceFileBytes(const std::wstring& path, std::string_view bytes);

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
