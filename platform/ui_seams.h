#pragma once
// Small operating-system seams used by the windows' portable logic: yielding to the message
// loop, writing the report file and putting text on the clipboard.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvale {

// Let pending window messages run once, then continue. An empty function does nothing.
using YieldFn = std::function<void()>;

inline void CallYield(const YieldFn& yield) {
    if (yield) yield();
}

// Writes a whole text file. The text is UTF-8; the Windows implementation converts it to the
// system's ANSI code page. A failed write must leave an existing file as it was.
class FileWriter {
  public:
    virtual ~FileWriter() = default;
    virtual bool WriteTextFile(std::string_view path, std::string_view utf8Text) = 0;
    // Why the last write failed, in the system's words (empty when unknown).
    virtual std::string FailureReason() const { return {}; }
};

// Plain-text clipboard (UTF-8 inside).
class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // Clears the clipboard, then puts the text on it.
    virtual bool SetText(std::string_view utf8Text) = 0;
    virtual std::optional<std::string> GetText() = 0;
};

// Host implementations: a file writer over the C++ library (temporary file beside the target,
// then rename) and a clipboard that lives in memory.
class StdFileWriter final : public FileWriter {
  public:
    bool WriteTextFile(std::string_view path, std::string_view utf8Text) override;
};

class MemoryClipboard final : public Clipboard {
  public:
    bool SetText(std::string_view utf8Text) override;
    std::optional<std::string> GetText() override { return text_; }
    bool failing = false; // when set, SetText fails and leaves the text alone

  private:
    std::optional<std::string> text_;
};

} // namespace corvale
