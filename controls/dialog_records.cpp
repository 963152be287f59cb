#include "controls/dialog_records.h"

#include <algorithm>

namespace corvale {

void LogFontRecord::SetFaceName(std::string_view ansi) {
    const std::size_t n = std::min(ansi.size(), lf::kFaceNameSize - 1);
    std::fill_n(bytes.begin() + lf::kFaceName, lf::kFaceNameSize, std::uint8_t{0});
    std::copy_n(ansi.begin(), n, bytes.begin() + lf::kFaceName);
}

std::string LogFontRecord::FaceName() const {
    const auto first = bytes.begin() + lf::kFaceName;
    const auto last = first + lf::kFaceNameSize;
    return std::string(first, std::find(first, last, std::uint8_t{0}));
}

HelpWindowRecord MakeHelpWindowRecord(std::int32_t x, std::int32_t y, std::int32_t dx,
                                      std::int32_t dy, std::int32_t windowType) {
    HelpWindowRecord r;
    r.SetU32(hwi::kStructSize, hwi::kRecordSize);
    r.SetI32(hwi::kX, x);
    r.SetI32(hwi::kY, y);
    r.SetI32(hwi::kDx, dx);
    r.SetI32(hwi::kDy, dy);
    r.SetI32(hwi::kWindowType, windowType);
    return r; // the member name stays empty
}

DeviceModeCopy DeviceModeCopy::From(std::span<const std::uint8_t> block) {
    DeviceModeCopy copy;
    std::copy_n(block.begin(), std::min(block.size(), dm::kCopySize), copy.bytes.begin());
    return copy;
}

DeviceNames ParseDeviceNames(std::span<const std::uint8_t> block) {
    auto word = [&](std::size_t at) -> std::size_t {
        return at + 2 <= block.size() ? static_cast<std::size_t>(block[at] | block[at + 1] << 8)
                                      : block.size();
    };
    auto text = [&](std::size_t offset) -> std::string {
        if (offset >= block.size()) return {};
        const auto first = block.begin() + static_cast<std::ptrdiff_t>(offset);
        return std::string(first, std::find(first, block.end(), std::uint8_t{0}));
    };
    // The header is four 16-bit words: driver, device and output offsets, default flag.
    return DeviceNames{text(word(0)), text(word(2)), text(word(4))};
}

} // namespace corvale
