#include "platform/ui_seams.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace corvale {
namespace {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

} // namespace

bool StdFileWriter::WriteTextFile(std::string_view path, std::string_view utf8Text) {
    if (path.empty()) return false;
    const std::filesystem::path target = PathFromUtf8(path);
    std::filesystem::path temp = target;
    temp += ".part";
    std::error_code ec;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(utf8Text.data(), static_cast<std::streamsize>(utf8Text.size()));
        out.close();
        if (!out) {
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    // Replaces an existing file in one step; a failed write above left it untouched.
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool MemoryClipboard::SetText(std::string_view utf8Text) {
    if (failing) return false;
    text_ = std::string(utf8Text);
    return true;
}

} // namespace corvale
