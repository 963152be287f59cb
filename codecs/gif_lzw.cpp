#include "codecs/gif_lzw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

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

// The decoder proper. `out` takes the strings: Reserve(n) gives room for the next n indices
// (written backwards from its end), Commit(p, n) takes them. At most `total` indices are made.
template <class Output>
LzwOutcome DecodeLzw(std::span<const std::uint8_t> data, int minCodeSize, std::size_t total,
                     Output& out) {
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
            std::uint8_t* dst = out.Reserve(1);
            *dst = static_cast<std::uint8_t>(code);
            out.Commit(dst, 1);
            ++pos;
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
        std::uint8_t* const start = out.Reserve(length);
        std::uint8_t* dst = start + length;
        for (std::size_t i = 0; i < length; ++i) {
            *--dst = table->suffix[c];
            c = table->prefix[c];
        }
        out.Commit(start, length);
        pos += length;
        previous = code;
    }
    outcome.produced = pos;
    return outcome;
}

// Straight into a caller's array.
class SpanOutput {
  public:
    explicit SpanOutput(std::span<std::uint8_t> out) : out_(out) {}
    std::uint8_t* Reserve(std::size_t) { return out_.data() + pos_; }
    void Commit(const std::uint8_t*, std::size_t n) { pos_ += n; }

  private:
    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
};

// Into one row of indices, handed on whenever it is full. Strings that cross the end of the
// row go through a string-sized scratch area.
class RowOutput {
  public:
    RowOutput(std::size_t width, const GifRowFn& onRow) : row_(width), onRow_(onRow) {}
    std::uint8_t* Reserve(std::size_t n) {
        return fill_ + n <= row_.size() ? row_.data() + fill_ : scratch_.data();
    }
    void Commit(const std::uint8_t* p, std::size_t n) {
        if (p == row_.data() + fill_) {
            fill_ += n;
            if (fill_ == row_.size()) Flush();
            return;
        }
        while (n > 0) {
            const std::size_t part = std::min(n, row_.size() - fill_);
            std::memcpy(row_.data() + fill_, p, part);
            fill_ += part;
            p += part;
            n -= part;
            if (fill_ == row_.size()) Flush();
        }
    }
    // A row the data ended in.
    void Finish() {
        if (fill_ > 0) onRow_(streamRow_, std::span<const std::uint8_t>(row_.data(), fill_));
    }

  private:
    void Flush() {
        onRow_(streamRow_++, row_);
        fill_ = 0;
    }

    std::vector<std::uint8_t> row_;
    std::array<std::uint8_t, kMaxCodes> scratch_;
    std::size_t fill_ = 0;
    std::size_t streamRow_ = 0;
    const GifRowFn& onRow_;
};

} // namespace

LzwOutcome DecodeGifLzw(std::span<const std::uint8_t> data, int minCodeSize,
                        std::span<std::uint8_t> out) {
    SpanOutput output(out);
    return DecodeLzw(data, minCodeSize, out.size(), output);
}

LzwOutcome DecodeGifLzwRows(std::span<const std::uint8_t> data, int minCodeSize, std::size_t width,
                            std::size_t rows, const GifRowFn& onRow) {
    if (width == 0 || rows == 0) return {};
    RowOutput output(width, onRow);
    const LzwOutcome outcome = DecodeLzw(data, minCodeSize, width * rows, output);
    output.Finish();
    return outcome;
}

} // namespace corvale
