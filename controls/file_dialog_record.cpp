#include "controls/file_dialog_record.h"

#include <algorithm>

namespace corvale {

std::uint32_t FileDialogRecord::U32(std::size_t offset) const {
    if (offset + 4 > bytes.size()) return 0;
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

void FileDialogRecord::SetU32(std::size_t offset, std::uint32_t value) {
    if (offset + 4 > bytes.size()) return;
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t FileDialogRecord::U16(std::size_t offset) const {
    if (offset + 2 > bytes.size()) return 0;
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void FileDialogRecord::SetU16(std::size_t offset, std::uint16_t value) {
    if (offset + 2 > bytes.size()) return;
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::string ConvertFilter(std::string_view filter) {
    std::string out;
    out.reserve(filter.size() + 2);
    for (char c : filter) out.push_back(c == '|' || c == ':' ? '\0' : c);
    out.append(2, '\0');
    return out;
}

std::string FilterLookup(std::string_view list, std::int32_t n) {
    std::size_t start = 0;
    while (n >= 1) {
        const std::size_t descEnd = list.find('\0', start);
        if (descEnd == std::string_view::npos) return {};
        const std::size_t patternEnd = list.find('\0', descEnd + 1);
        if (n == 1) {
            return std::string(patternEnd == std::string_view::npos
                                   ? list.substr(start)
                                   : list.substr(start, patternEnd - start));
        }
        if (patternEnd == std::string_view::npos) return {};
        start = patternEnd + 1;
        --n;
    }
    return {};
}

std::string_view TrimAtNull(std::string_view text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

std::uint32_t OpenDialogFlags(bool readOnly, bool hideReadOnly, bool fileMustExist,
                              bool multiSelect) {
    std::uint32_t flags = 0;
    if (readOnly) flags |= ofn::kReadOnly;
    if (hideReadOnly) flags |= ofn::kHideReadOnly;
    if (fileMustExist) flags |= ofn::kFileMustExist;
    if (multiSelect) flags |= ofn::kAllowMultiSelect | ofn::kExplorer;
    return flags & ~ofn::kEnableHook;
}

std::uint32_t SaveDialogFlags(bool overwritePrompt) {
    std::uint32_t flags = ofn::kHideReadOnly;
    if (overwritePrompt) flags |= ofn::kOverwritePrompt;
    return flags & ~ofn::kEnableHook;
}

bool FillBuffer(std::string_view text, std::size_t size, std::vector<char>& buffer) {
    if (text.size() >= size) return false;
    buffer.assign(size, '\0');
    std::copy(text.begin(), text.end(), buffer.begin());
    return true;
}

} // namespace corvale
