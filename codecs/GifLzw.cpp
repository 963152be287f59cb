#include "codecs/GifLzw.h"

#include <array>
#include <memory>

namespace corvale {

namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kMaxCodes = 1 << kMaxCodeBits;
constexpr std::uint16_t kNoPrefix = 0xFFFF;

// The string table: every code is its prefix code plus one suffix byte. `first` and `length`
// let a string be written backwards in one pass without a stack.
struct LzwTable {
    std::array<std::uint16_t, kMaxCodes> prefix;
    std::array<std::uint16_t, kMaxCodes> length;
    std::array<std::uint8_t, kMaxCodes> suffix;
    std::array<std::uint8_t, kMaxCodes> first;
};

// LSB-first bit reader over the joined data.
class CodeReader {
  public:
    explicit CodeReader(std::span<const std::uint8_t> data) : data_(data) {}

    // False when the data end before `bits` more bits.
    bool Read(int bits, unsigned& code) {
        while (count_ < bits) {
            if (pos_ + 4 <= data_.size() && count_ <= 32) {
                const std::uint64_t word = static_cast<std::uint64_t>(data_[pos_]) |
                                           (static_cast<std::uint64_t>(data_[pos_ + 1]) << 8) |
                                           (static_cast<std::uint64_t>(data_[pos_ + 2]) << 16) |
                                           (static_cast<std::uint64_t>(data_[pos_ + 3]) << 24);
                buffer_ |= word << count_;
                count_ += 32;
                pos_ += 4;
            } else if (pos_ < data_.size()) {
                buffer_ |= static_cast<std::uint64_t>(data_[pos_++]) << count_;
                count_ += 8;
            } else {
                return false;
            }
        }
        code = static_cast<unsigned>(buffer_ & ((1u << bits) - 1));
        buffer_ >>= bits;
        count_ -= bits;
        return true;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

} // namespace

LzwOutcome DecodeGifLzw(std::span<const std::uint8_t> data, int minCodeSize,
                        std::span<std::uint8_t> out) {
    LzwOutcome outcome;
    if (minCodeSize < kGifMinCodeSizeLow || minCodeSize > kGifMinCodeSizeHigh) {
        outcome.codeError = true;
        return outcome;
    }
    // Code size 1 still has the four codes of size 2 (two colours, clear, end).
    const unsigned clearCode = 1u << minCodeSize;
    const unsigned endCode = clearCode + 1;
    const int startBits = minCodeSize + 1;

    auto table = std::make_unique_for_overwrite<LzwTable>();
    for (unsigned c = 0; c < clearCode; ++c) {
        table->prefix[c] = kNoPrefix;
        table->length[c] = 1;
        table->suffix[c] = static_cast<std::uint8_t>(c);
        table->first[c] = static_cast<std::uint8_t>(c);
    }

    CodeReader reader(data);
    unsigned next = clearCode + 2;
    int bits = startBits;
    unsigned previous = kNoPrefix;
    std::size_t pos = 0;
    const std::size_t total = out.size();

    while (pos < total) {
        unsigned code = 0;
        if (!reader.Read(bits, code)) break;
        if (code == clearCode) {
            next = clearCode + 2;
            bits = startBits;
            previous = kNoPrefix;
            continue;
        }
        if (code == endCode) break;

        if (previous == kNoPrefix) {
            // First code after a clear: a literal.
            if (code >= clearCode) {
                outcome.codeError = true;
                break;
            }
            out[pos++] = static_cast<std::uint8_t>(code);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= static_cast<unsigned>(kMaxCodes))) {
            outcome.codeError = true;
            break;
        }
        if (next < static_cast<unsigned>(kMaxCodes)) {
            // New entry: previous string plus the first byte of this one (of the previous one
            // when the code is the entry being made).
            const std::uint8_t firstByte =
                code == next ? table->first[previous] : table->first[code];
            table->prefix[next] = static_cast<std::uint16_t>(previous);
            table->suffix[next] = firstByte;
            table->length[next] = static_cast<std::uint16_t>(table->length[previous] + 1);
            table->first[next] = table->first[previous];
            ++next;
            if (next == (1u << bits) && bits < kMaxCodeBits) ++bits;
        }

        // Write the string of `code` backwards, clipped to what the output still holds.
        std::size_t length = table->length[code];
        unsigned c = code;
        const std::size_t room = total - pos;
        while (length > room) {
            c = table->prefix[c];
            --length;
        }
        std::uint8_t* dst = out.data() + pos + length;
        for (std::size_t i = 0; i < length; ++i) {
            *--dst = table->suffix[c];
            c = table->prefix[c];
        }
        pos += length;
        previous = code;
    }
    outcome.produced = pos;
    return outcome;
}

} // namespace corvale
