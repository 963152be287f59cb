#include "codecs/inflate.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define CORVALE_INFLATE_X86 1
#endif

namespace corvale {
namespace {

// ---- Constant tables of the format --------------------------------------------------------

// Length symbols 257..285: base length and extra bits.
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance codes 0..31; 30 and 31 belong to the 64 KiB-window variant and are accepted always.
constexpr std::uint16_t kDistBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                         17,   25,   33,   49,    65,    97,    129,   193,
                                         257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                         4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr std::uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                         7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// Order in which the code-length code lengths are stored.
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kNumLitlenSymbols = 288;
constexpr unsigned kNumDistSymbols = 32;
constexpr unsigned kNumPrecodeSymbols = 19;

// ---- Decoding tables ----------------------------------------------------------------------
//
// A table is indexed by the next bits of the stream (least significant first). Codes up to
// the table's primary bits fill every entry that starts with their (bit-reversed) code; longer
// codes go through a subtable reached from a primary entry. One 32-bit entry:
//   bits 0..4   bits to drop: the code length plus the extra bits that follow the code, so one
//               shift consumes both (a subtable link: the primary bits)
//   bit 6       a second literal follows in the same entry (see below)
//   bits 8..11  the code length alone: the extra bits start there (a subtable link: the
//               subtable's index bits; a literal pair: the first literal's code length)
//   bit 12      end of block
//   bit 13      subtable link
//   bit 14      exceptional: end of block, subtable link or a symbol that is not allowed
//   bit 15      literal
//   bits 16..31 value: literal byte, length or distance base, precode symbol, subtable offset
//
// In the literal/length table a primary entry whose bits hold two literal codes holds both
// literals (bits 16..23 and 24..31) and the bits of both, so a run of literals takes one lookup
// for every two. Bit 6 lies above the drop count: a shift by the low six bits ignores it.

constexpr std::uint32_t kEndOfBlock = 1u << 12;
constexpr std::uint32_t kSubtable = 1u << 13;
constexpr std::uint32_t kExceptional = 1u << 14;
constexpr std::uint32_t kLiteral = 1u << 15;
constexpr std::uint32_t kLiteralPair = 1u << 6;

inline unsigned EntryBits(std::uint32_t e) {
    return e & 0x1Fu;
}
inline unsigned EntryCodeBits(std::uint32_t e) {
    return (e >> 8) & 0xFu;
}
inline unsigned EntryValue(std::uint32_t e) {
    return e >> 16;
}
// The value of an entry plus the extra bits that followed its code in `saved`, the bit buffer
// as it was before the entry's bits were dropped.
inline std::size_t EntryValueWithExtra(std::uint32_t e, std::uint64_t saved) {
    const std::uint64_t mask = (std::uint64_t{1} << EntryBits(e)) - 1u;
    return EntryValue(e) + static_cast<std::size_t>((saved & mask) >> EntryCodeBits(e));
}

constexpr unsigned kLitlenTableBits = 11;
constexpr unsigned kDistTableBits = 8;
constexpr unsigned kPrecodeTableBits = 7; // code-length codes are at most 7 bits long

// Primary table plus the largest possible set of subtables (one per long code at most).
constexpr std::size_t kLitlenTableSize =
    (1u << kLitlenTableBits) + kNumLitlenSymbols * (1u << (kMaxCodeLength - kLitlenTableBits));
constexpr std::size_t kDistTableSize =
    (1u << kDistTableBits) + kNumDistSymbols * (1u << (kMaxCodeLength - kDistTableBits));
constexpr std::size_t kPrecodeTableSize = 1u << kPrecodeTableBits;
static_assert(kLitlenTableSize < 65536 && kDistTableSize < 65536, "offsets fit the value field");

enum class Alphabet { Litlen, Litlen64, Distance, Precode };

// A symbol's entry without its code length: value, flags and the extra bits in bits 0..7 (the
// code length is added to bits 0..7 and put in bits 8..11 when the table is built).
constexpr std::uint32_t SymbolEntry(Alphabet alphabet, unsigned sym) {
    switch (alphabet) {
    case Alphabet::Precode:
        // 16, 17 and 18 carry 2, 3 and 7 extra bits (the repeat count).
        return sym << 16 | (sym == 16 ? 2u : sym == 17 ? 3u : sym == 18 ? 7u : 0u);
    case Alphabet::Distance:
        return std::uint32_t{kDistBase[sym]} << 16 | kDistExtra[sym];
    case Alphabet::Litlen:
    case Alphabet::Litlen64:
        if (sym < 256) return sym << 16 | kLiteral;
        if (sym == 256) return kEndOfBlock | kExceptional;
        if (sym > 285) return kExceptional; // 286 and 287 may have codes but never occur
        if (sym == 285 && alphabet == Alphabet::Litlen64) return 3u << 16 | 16u;
        return std::uint32_t{kLengthBase[sym - 257]} << 16 | kLengthExtra[sym - 257];
    }
    return kExceptional;
}

struct SymbolEntries {
    std::uint32_t litlen[kNumLitlenSymbols];
    std::uint32_t litlen64[kNumLitlenSymbols];
    std::uint32_t dist[kNumDistSymbols];
    std::uint32_t precode[kNumPrecodeSymbols];
};

constexpr SymbolEntries MakeSymbolEntries() {
    SymbolEntries e{};
    for (unsigned i = 0; i < kNumLitlenSymbols; ++i) {
        e.litlen[i] = SymbolEntry(Alphabet::Litlen, i);
        e.litlen64[i] = SymbolEntry(Alphabet::Litlen64, i);
    }
    for (unsigned i = 0; i < kNumDistSymbols; ++i) e.dist[i] = SymbolEntry(Alphabet::Distance, i);
    for (unsigned i = 0; i < kNumPrecodeSymbols; ++i)
        e.precode[i] = SymbolEntry(Alphabet::Precode, i);
    return e;
}

constexpr SymbolEntries kSymbolEntries = MakeSymbolEntries();

unsigned ReverseBits(unsigned code, unsigned length) {
    unsigned r = 0;
    for (unsigned i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1u);
        code >>= 1;
    }
    return r;
}

// Joins, in each primary entry of a literal, a second literal whose code fits in the bits that
// remain. Entries are visited from the top down: the entry read for the second code (index >>
// first length) lies below and still holds a single symbol.
// Whether pairing literals is worth its cost: the share of literals followed by a literal whose
// codes fit in the table together, estimated from the code lengths (a code of length n stands
// for a share of 2^-n), must be a good part of the data.
bool PairsPay(const std::uint8_t* lengths, unsigned symbols, const unsigned* lengthCount,
              unsigned tableBits) {
    // The literals' lengths: all lengths but those of the symbols from 256 on.
    unsigned count[kMaxCodeLength + 1];
    std::memcpy(count, lengthCount, sizeof count);
    for (unsigned sym = 256; sym < symbols; ++sym) --count[lengths[sym]];
    count[0] = 0;
    // Shares in units of 2^-15, their products in units of 2^-30.
    std::uint64_t upTo[kMaxCodeLength + 1] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        upTo[len] = upTo[len - 1] + (std::uint64_t{count[len]} << (kMaxCodeLength - len));
    std::uint64_t pairs = 0;
    for (unsigned len = 1; len < tableBits; ++len)
        pairs += (std::uint64_t{count[len]} << (kMaxCodeLength - len)) * upTo[tableBits - len];
    return pairs >= std::uint64_t{1} << 29; // half the literals or more
}

// A literal code of the primary table: the first entry that holds it (its code in stream
// order) and its length. Its entries are that one and every (1 << length)-th after it.
struct LiteralCode {
    std::uint16_t at;
    std::uint8_t length;
    std::uint8_t value; // the literal
};

// `codes` lists the literal codes shorter than the table's bits, shortest first. An entry of a
// code of length n holds, in its bits above n, the code that follows it: the entries where a
// second literal code of length m <= bits - n follows are those whose bits above n start with
// it, every (1 << (n + m))-th from its first. Only those are written (the others keep the first
// code's single entry), a run of equal values for each pair of codes.
void PairLiterals(std::uint32_t* table, unsigned tableBits, const LiteralCode* codes,
                  unsigned count) {
    for (unsigned c = 0; c < count; ++c) {
        const unsigned length = codes[c].length;
        const unsigned room = tableBits - length;
        if (room < codes[0].length) break; // no literal fits after this code, nor after longer ones
        std::uint32_t* const entries = table + codes[c].at;
        const std::uint32_t base = (entries[0] & 0x00FFFF00u) | kLiteralPair;
        const std::size_t end = std::size_t{1} << tableBits;
        for (unsigned d = 0; d < count && codes[d].length <= room; ++d) {
            const std::uint32_t joined =
                (base | std::uint32_t{codes[d].value} << 24) + (length + codes[d].length);
            const std::size_t stride = std::size_t{1} << (codes[d].length + length);
            for (std::size_t at = std::size_t{codes[d].at} << length; at < end; at += stride)
                entries[at] = joined;
        }
    }
}

bool BuildSubtables(const unsigned* lengthCount, unsigned maxLength, const std::uint16_t* sorted,
                    unsigned index, const std::uint32_t* symbols, unsigned tableBits,
                    std::uint32_t* table, std::size_t tableSize);

// Builds a decoding table from code lengths (0 = unused); `symbols` holds the alphabet's
// entries. Only complete codes are accepted: an over-subscribed or incomplete code (or one
// without any symbol) gives its failure.
InflateError BuildTable(const std::uint8_t* lengths, unsigned count, const std::uint32_t* symbols,
                        unsigned tableBits, std::uint32_t* table, std::size_t tableSize,
                        bool* pairedLiterals = nullptr) {
    // Counted in four interleaved histograms: runs of equal lengths would otherwise wait on
    // the same counter.
    unsigned partCount[4][kMaxCodeLength + 1] = {};
    unsigned i = 0;
    for (; i + 4 <= count; i += 4)
        for (unsigned k = 0; k < 4; ++k) ++partCount[k][lengths[i + k]];
    for (; i < count; ++i) ++partCount[0][lengths[i]];
    unsigned lengthCount[kMaxCodeLength + 1] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        lengthCount[len] =
            partCount[0][len] + partCount[1][len] + partCount[2][len] + partCount[3][len];

    unsigned maxLength = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        if (lengthCount[len] != 0) maxLength = len;

    long free = 1;
    for (unsigned len = 1; len <= maxLength; ++len) {
        free = free * 2 - static_cast<long>(lengthCount[len]);
        if (free < 0) return InflateError::OverSubscribedCode;
    }
    if (free != 0) return InflateError::IncompleteCode; // also an empty code

    // Symbols sorted by (length, symbol): the canonical order.
    std::uint16_t sorted[kNumLitlenSymbols];
    unsigned offset[kMaxCodeLength + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        offset[len + 1] = offset[len] + lengthCount[len];
    for (unsigned sym = 0; sym < count; ++sym)
        if (lengths[sym] != 0) sorted[offset[lengths[sym]]++] = static_cast<std::uint16_t>(sym);

    // Codes up to the primary bits, shortest first. `reversed` is the next code with its bits
    // in stream order; after each length the table so far is doubled, which repeats every
    // shorter code in the entries that start with it.
    const unsigned primaryBits = maxLength < tableBits ? maxLength : tableBits;
    unsigned index = 0, reversed = 0;
    LiteralCode literals[256]; // for pairing: the literal codes shorter than the table's bits
    unsigned literalCount = 0;
    for (unsigned len = 1;; ++len) {
        const unsigned last = (1u << len) - 1u;
        for (unsigned k = 0; k < lengthCount[len]; ++k) {
            const std::uint32_t entry = symbols[sorted[index++]] + (len << 8) + len;
            table[reversed] = entry;
            if (pairedLiterals && (entry & kLiteral) != 0 && len < tableBits && literalCount < 256)
                literals[literalCount++] = {static_cast<std::uint16_t>(reversed),
                                            static_cast<std::uint8_t>(len),
                                            static_cast<std::uint8_t>(EntryValue(entry))};
            if (reversed == last) break; // the last code of all
            const unsigned bit = 1u << (std::bit_width(reversed ^ last) - 1);
            reversed = (reversed & (bit - 1u)) | bit;
        }
        if (len == primaryBits) break;
        std::memcpy(table + (std::size_t{1} << len), table,
                    (std::size_t{1} << len) * sizeof *table);
    }
    for (std::size_t filled = std::size_t{1} << primaryBits; filled < (std::size_t{1} << tableBits);
         filled *= 2)
        std::memcpy(table + filled, table, filled * sizeof *table);
    if (maxLength > tableBits && !BuildSubtables(lengthCount, maxLength, sorted, index, symbols,
                                                 tableBits, table, tableSize))
        return InflateError::TableFull;
    if (pairedLiterals) {
        *pairedLiterals = PairsPay(lengths, count, lengthCount, tableBits);
        if (*pairedLiterals) PairLiterals(table, tableBits, literals, literalCount);
    }
    return InflateError::None;
}

// Codes longer than the primary bits, through subtables, each as wide as the longest code that
// shares its prefix. `index` is the first such code in `sorted`.
bool BuildSubtables(const unsigned* lengthCount, unsigned maxLength, const std::uint16_t* sorted,
                    unsigned index, const std::uint32_t* symbols, unsigned tableBits,
                    std::uint32_t* table, std::size_t tableSize) {
    unsigned code = 0;
    for (unsigned len = 1; len <= tableBits; ++len) code = (code + lengthCount[len]) << 1;
    unsigned remaining[kMaxCodeLength + 1];
    std::memcpy(remaining, lengthCount, sizeof remaining);
    std::size_t nextSubtable = std::size_t{1} << tableBits;
    unsigned subPrefix = ~0u, subOffset = 0, subBits = 0;
    for (unsigned len = tableBits + 1; len <= maxLength; ++len, code <<= 1) {
        for (unsigned k = 0; k < lengthCount[len]; ++k, ++code, --remaining[len]) {
            const unsigned prefix = code >> (len - tableBits);
            if (prefix != subPrefix) {
                unsigned bits = len - tableBits;
                long left = 1L << bits;
                while (bits + tableBits < maxLength) {
                    left -= static_cast<long>(remaining[bits + tableBits]);
                    if (left <= 0) break;
                    ++bits;
                    left <<= 1;
                }
                if (nextSubtable + (std::size_t{1} << bits) > tableSize) return false;
                subPrefix = prefix;
                subOffset = static_cast<unsigned>(nextSubtable);
                subBits = bits;
                nextSubtable += std::size_t{1} << bits;
                table[ReverseBits(prefix, tableBits)] =
                    subOffset << 16 | kSubtable | kExceptional | subBits << 8 | tableBits;
            }
            const unsigned subLength = len - tableBits;
            const std::uint32_t entry = symbols[sorted[index++]] + (subLength << 8) + subLength;
            const unsigned low = code & ((1u << subLength) - 1u);
            for (unsigned j = ReverseBits(low, subLength); j < (1u << subBits);
                 j += 1u << subLength)
                table[subOffset + j] = entry;
        }
    }
    return true;
}

struct Tables {
    std::uint32_t litlen[kLitlenTableSize];
    std::uint32_t dist[kDistTableSize];
    bool pairs = false; // some literal entries hold two literals
};

struct FixedTables {
    Tables plain;
    Tables wide; // 64 KiB-window variant
    FixedTables() {
        std::uint8_t lengths[kNumLitlenSymbols];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        std::uint8_t distLengths[kNumDistSymbols];
        std::memset(distLengths, 5, sizeof distLengths);
        BuildTable(lengths, kNumLitlenSymbols, kSymbolEntries.litlen, kLitlenTableBits,
                   plain.litlen, kLitlenTableSize, &plain.pairs);
        BuildTable(lengths, kNumLitlenSymbols, kSymbolEntries.litlen64, kLitlenTableBits,
                   wide.litlen, kLitlenTableSize, &wide.pairs);
        BuildTable(distLengths, kNumDistSymbols, kSymbolEntries.dist, kDistTableBits, plain.dist,
                   kDistTableSize);
        std::memcpy(wide.dist, plain.dist, sizeof wide.dist);
    }
};

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

// ---- Bit reader ---------------------------------------------------------------------------
// Bits are taken least significant first. `count` bits of `buf` are counted as held; the bits
// above them are either zero or the true following bits of the stream, so refilling by OR is
// safe. After a full 8-byte refill all 64 bits are true stream bits, which lets the fast loop
// look up the next code before its next refill.

inline std::uint64_t Load64LE(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

inline void Store64LE(std::uint8_t* p, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    std::memcpy(p, &v, 8);
}

struct BitReader {
    using Piece = std::span<const std::uint8_t>;
    const std::uint8_t* p;       // the next byte of the current piece
    const std::uint8_t* end;     // of the current piece
    const Piece* next = nullptr; // the pieces still to come, up to `last`
    const Piece* last = nullptr;
    const std::uint8_t* start = nullptr; // of the current piece
    std::uint64_t buf = 0;
    unsigned count = 0;

    // Tops the buffer up to at least 56 bits, or takes what is left at the end of the input.
    // Only near a piece's end does it go on, byte by byte, into the pieces that follow.
    void Refill() {
        if (end - p >= 8) {
            buf |= Load64LE(p) << count;
            p += (63 - count) >> 3;
            count |= 56;
        } else {
            RefillAcrossPieces();
        }
    }
    void RefillAcrossPieces() {
        while (count < 56) {
            if (p == end && !NextPiece()) return;
            buf |= std::uint64_t{*p++} << count;
            count += 8;
        }
    }
    // Moves on to the next piece that holds any bytes; false when none is left.
    bool NextPiece() {
        while (next != last) {
            const Piece piece = *next++;
            if (!piece.empty()) {
                p = piece.data();
                start = p;
                end = piece.data() + piece.size();
                return true;
            }
        }
        return false;
    }
    // True when the buffer and the input left hold at least n more bytes (the buffer holding
    // whole bytes); looks no further ahead than it must.
    bool Holds(std::size_t n) const {
        const std::size_t held = count >> 3;
        if (n <= held) return true;
        n -= held;
        if (n <= static_cast<std::size_t>(end - p)) return true;
        n -= static_cast<std::size_t>(end - p);
        for (const Piece* piece = next; piece != last; ++piece) {
            if (n <= piece->size()) return true;
            n -= piece->size();
        }
        return false;
    }
    std::uint32_t Peek(unsigned n) const {
        return static_cast<std::uint32_t>(buf & ((std::uint64_t{1} << n) - 1u));
    }
    void Drop(unsigned n) {
        buf >>= n;
        count -= n;
    }
    // Reads n bits (n <= 32); false when the input is exhausted.
    bool Read(unsigned n, std::uint32_t& value) {
        if (count < n) {
            Refill();
            if (count < n) return false;
        }
        value = Peek(n);
        Drop(n);
        return true;
    }
};

// Decodes one symbol with every check, dropping its code and extra bits; `value` receives the
// entry's value plus the extra bits. False when the input ends inside the code or its extra
// bits.
inline bool DecodeChecked(BitReader& br, const std::uint32_t* table, unsigned tableBits,
                          std::uint32_t& entry, std::size_t& value) {
    br.Refill();
    std::uint32_t e = table[br.Peek(tableBits)];
    if (e & kSubtable) {
        if (br.count < tableBits) return false;
        br.Drop(tableBits);
        e = table[EntryValue(e) + br.Peek(EntryCodeBits(e))];
    }
    if (e & kLiteral) {
        // One literal, also from an entry that holds a pair.
        const unsigned n = EntryCodeBits(e);
        if (br.count < n) return false;
        value = EntryValue(e) & 0xFFu;
        br.Drop(n);
        entry = e;
        return true;
    }
    const unsigned n = EntryBits(e);
    if (n == 0 || br.count < n) return false;
    value = EntryValueWithExtra(e, br.buf);
    br.Drop(n);
    entry = e;
    return true;
}

// ---- Output -------------------------------------------------------------------------------

// Matches reach back 65536 bytes at most (distance code 31 with all extra bits set).
constexpr std::size_t kHistory = 65536;
// Room a window keeps free for what may be written between two looks at it: a stored block,
// the longest match of the 64 KiB-window variant, one round of the fast loop.
constexpr std::size_t kSlideRoom = 65538 + 1024;

// The output: the whole of it, or a window over it that is moved down as the output grows.
struct Output {
    std::uint8_t* begin; // of the buffer
    std::uint8_t* pos;
    std::uint8_t* end;      // writes stop here: the end of the buffer or of the output
    std::uint8_t* notifyAt; // the caller is told of the progress here (not at end)
    const InflateProgress* progress = nullptr;
    std::size_t base = 0;     // output bytes no longer in the buffer
    std::size_t capacity = 0; // of the buffer
    std::size_t size = 0;     // of the whole output
    bool windowed = false;
    InflateError error = InflateError::None; // why the inflate fails

    std::size_t Written() const { return base + static_cast<std::size_t>(pos - begin); }

    void SetLimits() {
        end = begin + std::min(capacity, size - base);
        notifyAt = end;
        if (!progress) return;
        if (static_cast<std::size_t>(end - pos) > progress->interval)
            notifyAt = pos + progress->interval;
        if (windowed && capacity > kSlideRoom) {
            std::uint8_t* const slideAt = begin + (capacity - kSlideRoom);
            if (slideAt > pos && slideAt < notifyAt) notifyAt = slideAt;
        }
    }

    // Tells the caller how far the output has come and, in a window running out of room, drops
    // what neither the caller nor later matches need. False when the caller asks to stop.
    bool Progress() {
        std::size_t keepFrom = base;
        if (!progress->notify(progress->context, begin, base, Written(), keepFrom)) return false;
        if (windowed && capacity - static_cast<std::size_t>(pos - begin) < kSlideRoom &&
            Written() < size) {
            std::size_t keep = Written() > kHistory ? Written() - kHistory : 0;
            if (keepFrom < keep) keep = keepFrom;
            if (keep > base) {
                const std::size_t drop = keep - base;
                std::memmove(begin, begin + drop, static_cast<std::size_t>(pos - begin) - drop);
                pos -= drop;
                base = keep;
            }
        }
        SetLimits();
        return true;
    }

    bool Due() const { return pos >= notifyAt && notifyAt != end; }

    // Records why the inflate fails; returns false for the caller to pass on.
    bool Fail(InflateError why) {
        error = why;
        return false;
    }
};

// ---- Stored blocks ----------------------------------------------------------------------------

// Blocks at least this long are copied by the wide copy where it is chosen.
constexpr std::size_t kWideCopyMin = 256;

#if defined(CORVALE_INFLATE_X86)
// Copies n >= 64 bytes in 32-byte pieces, the stores aligned: the first and last pieces
// unaligned, overlapping the aligned ones. A stored block of a large picture (tens of KiB from
// one chunk body to the output) moves up to a seventh faster this way than through the C
// library's copy on processors where that copy falls back on the string-move instruction, whose
// speed then depends on where the two buffers lie against each other.
[[gnu::target("avx2")]] void CopyWideAvx2(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)));
    std::size_t i = 32 - (reinterpret_cast<std::uintptr_t>(d) & 31u);
    for (; i + 64 <= n; i += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 32));
        _mm256_store_si256(reinterpret_cast<__m256i*>(d + i), a);
        _mm256_store_si256(reinterpret_cast<__m256i*>(d + i + 32), b);
    }
    if (i + 32 <= n)
        _mm256_store_si256(reinterpret_cast<__m256i*>(d + i),
                           _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + n - 32),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + n - 32)));
}

using CopyFn = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t);

void CopyLibrary(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    std::memcpy(d, s, n);
}

CopyFn ChooseWideCopy() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? CopyWideAvx2 : CopyLibrary;
}
#endif

// Copies a stored block's bytes (the buffers do not overlap): the wide copy for long runs unless
// the portable path is asked for.
void CopyStored(std::uint8_t* d, const std::uint8_t* s, std::size_t n, bool portable) {
#if defined(CORVALE_INFLATE_X86)
    static const CopyFn wide = ChooseWideCopy();
    if (!portable && n >= kWideCopyMin) return wide(d, s, n);
#else
    (void)portable;
#endif
    std::memcpy(d, s, n);
}

bool StoredBlock(BitReader& br, Output& out, bool portable) {
    // The rest of the current byte is padding; LEN and NLEN follow, possibly across pieces.
    br.Drop(br.count & 7u);
    std::uint32_t len, nlen;
    if (!br.Read(16, len) || !br.Read(16, nlen)) return out.Fail(InflateError::InputEnded);
    if (len != (~nlen & 0xFFFFu)) return out.Fail(InflateError::StoredLengthMismatch);
    if (!br.Holds(len)) return out.Fail(InflateError::InputEnded);
    if (static_cast<std::size_t>(out.end - out.pos) < len)
        return out.Fail(InflateError::OutputFull);
    // Whole bytes in the buffer that were read from the current piece are read again from it,
    // so that the block is copied in one piece as it lies. Otherwise (they came from the piece
    // before) first the bytes the buffer holds, then the rest from the pieces as they lie.
    std::size_t left = len;
    if (const std::size_t held = br.count >> 3;
        held != 0 && static_cast<std::size_t>(br.p - br.start) >= held) {
        br.p -= held;
        br.buf = 0;
        br.count = 0;
    }
    while (left != 0 && br.count != 0) {
        *out.pos++ = static_cast<std::uint8_t>(br.buf);
        br.Drop(8);
        --left;
    }
    if (br.count == 0) br.buf = 0; // bits above the count may be bytes now copied
    while (left != 0) {
        if (br.p == br.end) br.NextPiece(); // Holds() has seen the bytes
        const std::size_t n = std::min(left, static_cast<std::size_t>(br.end - br.p));
        CopyStored(out.pos, br.p, n, portable);
        out.pos += n;
        br.p += n;
        left -= n;
    }
    return true;
}

// Copies a match byte by byte or in exact-size pieces: never writes past dst + length.
void CopyMatchExact(std::uint8_t* dst, std::size_t dist, std::size_t length) {
    const std::uint8_t* src = dst - dist;
    if (dist >= length) {
        std::memcpy(dst, src, length);
    } else if (dist == 1) {
        std::memset(dst, *src, length);
    } else {
        for (std::size_t i = 0; i < length; ++i) dst[i] = src[i];
    }
}

// Bytes CopyMatchFast may write past the end of a match.
constexpr std::ptrdiff_t kCopyOvershoot = 64;

// Copies from src to dst in pieces of N bytes until dst reaches stop (src lies at least N bytes
// behind dst, so no piece reads what it writes).
template <std::size_t N>
inline void CopyInPieces(std::uint8_t* dst, const std::uint8_t* src, const std::uint8_t* stop) {
    do {
        std::memcpy(dst, src, N);
        dst += N;
        src += N;
    } while (dst < stop);
}

// The rest of a match from 16 bytes back or more, after its first 32 bytes.
[[gnu::noinline]] void CopyFarRest(std::uint8_t* dst, const std::uint8_t* src,
                                   const std::uint8_t* stop) {
    do {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + 16, src + 16, 16);
        std::memcpy(dst + 32, src + 32, 16);
        std::memcpy(dst + 48, src + 48, 16);
        dst += 64;
        src += 64;
    } while (dst < stop);
}

// Copies a match in pieces of 8 to 64 bytes; may write up to kCopyOvershoot bytes past its end
// (the caller has that room; those bytes are overwritten by what follows).
inline void CopyMatchFast(std::uint8_t* dst, std::size_t dist, std::size_t length) {
    const std::uint8_t* src = dst - dist;
    std::uint8_t* const stop = dst + length;
    if (dist >= 16) {
        // Pieces of 16, each read after the one before it is written. One branch for every
        // distance from 16 on is guessed right more often than a choice between far and near
        // ones. Most such matches are 32 bytes or shorter: two pieces in line, and the rest
        // out of line, which keeps the fast loop short.
        std::memcpy(dst, src, 16);
        std::memcpy(dst + 16, src + 16, 16);
        if (length > 32) [[unlikely]]
            CopyFarRest(dst + 32, src + 32, stop);
    } else if (dist >= 8) {
        CopyInPieces<8>(dst, src, stop);
    } else if (dist == 1) {
        // A run of one byte, read as one byte: a wider read would also take bytes of earlier
        // stores that the processor cannot pass on before they are written out.
        const std::uint64_t v = std::uint64_t{*src} * 0x0101010101010101u;
        do {
            Store64LE(dst, v);
            Store64LE(dst + 8, v);
            Store64LE(dst + 16, v);
            Store64LE(dst + 24, v);
            dst += 32;
        } while (dst < stop);
    } else {
        // Distances 2..7 repeat a pattern of `dist` bytes: build 8 bytes of it once and store
        // them at steps of the largest multiple of the distance that fits in 8.
        static constexpr unsigned char kStep[8] = {0, 8, 8, 6, 8, 5, 6, 7};
        std::uint64_t v = Load64LE(src) & ((std::uint64_t{1} << (8 * dist)) - 1u);
        v |= v << (8 * dist);
        if (dist <= 3) v |= v << (16 * dist);
        if ((dist & (dist - 1)) == 0) {
            // 2 and 4: the pattern repeats within 8 bytes, so 16 at a time.
            do {
                Store64LE(dst, v);
                Store64LE(dst + 8, v);
                dst += 16;
            } while (dst < stop);
            return;
        }
        const unsigned step = kStep[dist];
        do {
            Store64LE(dst, v);
            dst += step;
        } while (dst < stop);
    }
}

// ---- Huffman blocks -------------------------------------------------------------------------

// Room the fast loop needs before each symbol: input for three full refills, output for six
// literals (and the spare byte a single literal writes) and the longest ordinary match plus the
// overshoot of the wide copies.
constexpr std::ptrdiff_t kFastInput = 32;
constexpr std::ptrdiff_t kFastOutput = 8 + 258 + kCopyOvershoot + 16;

// One symbol with every check: used near the end of the input or the output.
// Returns 1 to go on, 0 at the end of the block, -1 on error (its reason in out.error).
int SlowSymbol(BitReader& br, Output& out, const Tables& t) {
    auto fail = [&](InflateError why) {
        out.error = why;
        return -1;
    };
    std::uint32_t e;
    std::size_t length;
    if (!DecodeChecked(br, t.litlen, kLitlenTableBits, e, length))
        return fail(InflateError::InputEnded);
    if (e & kLiteral) {
        if (out.pos == out.end) return fail(InflateError::OutputFull);
        *out.pos++ = static_cast<std::uint8_t>(EntryValue(e));
        return 1;
    }
    if (e & kEndOfBlock) return 0;
    if (e & kExceptional) return fail(InflateError::BadSymbol);
    std::size_t dist;
    if (!DecodeChecked(br, t.dist, kDistTableBits, e, dist)) return fail(InflateError::InputEnded);
    if (dist > static_cast<std::size_t>(out.pos - out.begin))
        return fail(InflateError::DistanceTooFarBack);
    if (length > static_cast<std::size_t>(out.end - out.pos)) return fail(InflateError::OutputFull);
    CopyMatchExact(out.pos, dist, length);
    out.pos += length;
    return 1;
}

// The fast loop: runs while the input and output have the room of kFastInput and kFastOutput,
// so neither the refills nor the writes need checking. Every refill loads 8 bytes without a
// branch; literals come up to four lookups per refill; the next code is looked up before the refill
// from bits already known to be true stream bits. Returns 1 at the end of the block, 0 when
// the room runs out (the slow path goes on from the same place), -1 on error (its reason in
// o.error).
template <bool kWide, bool kPairs>
[[gnu::always_inline]] inline int FastLoop(BitReader& br, Output& o, const Tables& t) {
    if (br.end - br.p < kFastInput || o.end - o.pos < kFastOutput || o.pos >= o.notifyAt) return 0;
    const std::uint8_t* in = br.p;
    const std::uint8_t* const inLimit = br.end - kFastInput;
    std::uint8_t* out = o.pos;
    std::uint8_t* const outBegin = o.begin;
    std::uint8_t* const outLimit =
        o.end - o.notifyAt >= kFastOutput ? o.notifyAt : o.end - kFastOutput;
    std::uint64_t buf = br.buf;
    unsigned count = br.count;
    const std::uint32_t* const litlen = t.litlen;
    const std::uint32_t* const distTable = t.dist;
    constexpr std::uint64_t kLitlenMask = (1u << kLitlenTableBits) - 1u;
    constexpr std::uint64_t kDistMask = (1u << kDistTableBits) - 1u;
    int result = 0;

    // Only the low six bits of `count` are meaningful here (it never exceeds 63), which lets a
    // whole literal entry be subtracted from it.
    auto refill = [&]() __attribute__((always_inline)) {
        buf |= Load64LE(in) << (count & 63u);
        in += (63u - (count & 63u)) >> 3;
        count |= 56;
    };
    auto drop = [&](unsigned n) __attribute__((always_inline)) {
        buf >>= n;
        count -= n;
    };
    // Drops an entry's bits: its low six bits hold their number (bit 5 is clear) and a 64-bit
    // shift takes them as they are, so no masking lies on the path from one lookup to the next.
    auto dropEntry = [&](std::uint32_t e) __attribute__((always_inline)) {
        buf >>= e & 63u;
        count -= e;
    };
    // One literal or a pair: two bytes are stored either way (the second may be overwritten).
    auto literals = [&](std::uint32_t e) __attribute__((always_inline)) {
        buf >>= e & 63u;
        count -= e;
        if constexpr (!kPairs) {
            *out++ = static_cast<std::uint8_t>(e >> 16);
            return;
        }
        const std::uint16_t bytes = static_cast<std::uint16_t>(e >> 16);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out, &bytes, 2);
        } else {
            out[0] = static_cast<std::uint8_t>(bytes);
            out[1] = static_cast<std::uint8_t>(bytes >> 8);
        }
        out += 1 + ((e >> 6) & 1u);
    };

    refill();
    std::uint32_t entry = litlen[buf & kLitlenMask];
    do {
        // At least 56 bits are held here (every path refills before it comes round): a length
        // code with its extra bits (20 at most) and a distance code with its extra bits (29 at
        // most) need no further refill.
        if (entry & kLiteral) {
            literals(entry);
            entry = litlen[buf & kLitlenMask];
            if (entry & kLiteral) {
                literals(entry);
                entry = litlen[buf & kLitlenMask];
                if (entry & kLiteral) {
                    literals(entry);
                    entry = litlen[buf & kLitlenMask];
                    if (entry & kLiteral) {
                        // Four lookups use 44 bits at most: the next lookup still sees true
                        // bits.
                        literals(entry);
                        entry = litlen[buf & kLitlenMask];
                        refill();
                        continue;
                    }
                }
            }
            refill();
        }
        if (entry & kExceptional) {
            if (entry & kSubtable) {
                drop(kLitlenTableBits);
                entry = litlen[EntryValue(entry) + (buf & ((1u << EntryCodeBits(entry)) - 1u))];
                if (entry & kLiteral) {
                    literals(entry);
                    entry = litlen[buf & kLitlenMask];
                    refill();
                    continue;
                }
            }
            if (entry & kExceptional) {
                if (entry & kEndOfBlock) {
                    drop(EntryBits(entry));
                    result = 1;
                } else {
                    o.error = InflateError::BadSymbol;
                    result = -1;
                }
                break;
            }
        }

        // A length with its extra bits, in one drop.
        std::uint64_t saved = buf;
        dropEntry(entry);
        const std::size_t length = EntryValueWithExtra(entry, saved);
        if constexpr (kWide) refill(); // 16 extra bits for symbol 285

        entry = distTable[buf & kDistMask];
        if (entry & kSubtable) {
            drop(kDistTableBits);
            entry = distTable[EntryValue(entry) + (buf & ((1u << EntryCodeBits(entry)) - 1u))];
        }
        saved = buf;
        dropEntry(entry);
        const std::size_t dist = EntryValueWithExtra(entry, saved);
        // The next code is looked up and the buffer refilled before the copy: a wrongly guessed
        // branch in the copy then does not hold up the decoding of what follows.
        entry = litlen[buf & kLitlenMask];
        refill();

        if (dist > static_cast<std::size_t>(out - outBegin)) {
            o.error = InflateError::DistanceTooFarBack;
            result = -1;
            break;
        }
        if (kWide && length > 258) {
            if (length > static_cast<std::size_t>(o.end - out)) {
                o.error = InflateError::OutputFull;
                result = -1;
                break;
            }
            CopyMatchExact(out, dist, length);
        } else {
            CopyMatchFast(out, dist, length);
        }
        out += length;
    } while (in < inLimit && out < outLimit);

    br.p = in;
    br.buf = buf;
    br.count = count & 63u;
    o.pos = out;
    return result;
}

// One loop for tables with literal pairs and one for tables without: a single literal needs
// fewer instructions when no entry can hold two.
int FastLoopPlain(BitReader& br, Output& o, const Tables& t) {
    return t.pairs ? FastLoop<false, true>(br, o, t) : FastLoop<false, false>(br, o, t);
}

int FastLoopWide(BitReader& br, Output& o, const Tables& t) {
    return t.pairs ? FastLoop<true, true>(br, o, t) : FastLoop<true, false>(br, o, t);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The same loop compiled for processors with BMI2, whose shifts and masks by a register take
// one instruction each; chosen at run time.
[[gnu::target("bmi2")]] int FastLoopBmi2(BitReader& br, Output& o, const Tables& t) {
    return t.pairs ? FastLoop<false, true>(br, o, t) : FastLoop<false, false>(br, o, t);
}

using FastLoopFn = int (*)(BitReader&, Output&, const Tables&);

FastLoopFn ChooseFastLoop() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi2") ? FastLoopBmi2 : FastLoopPlain;
}

int FastLoopBest(BitReader& br, Output& o, const Tables& t) {
    static const FastLoopFn chosen = ChooseFastLoop();
    return chosen(br, o, t);
}
#else
int FastLoopBest(BitReader& br, Output& o, const Tables& t) {
    return FastLoopPlain(br, o, t);
}
#endif

// Bytes FastLoopAcross copies: the current piece's tail (shorter than kFastInput) and what
// follows, enough for the fast loop to run past the piece's end.
constexpr std::size_t kBridge = 2 * kFastInput + 16;

// The fast loop across the end of the current piece: run over a copy of the piece's tail and the
// head of the pieces that follow, after which the reader is put where the loop stopped; `result`
// receives the fast loop's result. False, with the reader unmoved, when fewer than kBridge bytes
// are left (the end of the input is near: the slow path takes it).
template <class Fast>
bool FastLoopAcross(BitReader& br, Output& out, const Tables& t, Fast fast, int& result) {
    std::uint8_t bridge[kBridge];
    const auto tail = static_cast<std::size_t>(br.end - br.p);
    if (tail != 0) std::memcpy(bridge, br.p, tail);
    std::size_t filled = tail;
    // Over kBridge pieces at most, so that a run of empty pieces is not looked through again and
    // again.
    const BitReader::Piece* const stop =
        br.last - br.next > static_cast<std::ptrdiff_t>(kBridge) ? br.next + kBridge : br.last;
    for (const BitReader::Piece* piece = br.next; piece != stop && filled < kBridge; ++piece) {
        const std::size_t n = std::min(piece->size(), kBridge - filled);
        if (n != 0) std::memcpy(bridge + filled, piece->data(), n);
        filled += n;
    }
    if (filled < kBridge) return false;
    BitReader across = br;
    across.p = bridge;
    across.end = bridge + kBridge;
    result = fast(across, out, t);
    br.buf = across.buf;
    br.count = across.count;
    auto used = static_cast<std::size_t>(across.p - bridge);
    if (used <= tail) {
        br.p += used;
        return true;
    }
    used -= tail;
    br.p = br.end;
    while (used != 0 && br.NextPiece()) {
        const std::size_t n = std::min(used, static_cast<std::size_t>(br.end - br.p));
        br.p += n;
        used -= n;
    }
    return true;
}

bool HuffmanBlock(BitReader& br, Output& out, const Tables& t, bool deflate64, bool portable) {
    auto fast = [deflate64, portable](BitReader& b, Output& o, const Tables& tables) {
        return deflate64  ? FastLoopWide(b, o, tables)
               : portable ? FastLoopPlain(b, o, tables)
                          : FastLoopBest(b, o, tables);
    };
    for (;;) {
        const int r = fast(br, out, t);
        if (r != 0) return r > 0;
        if (out.Due()) {
            if (!out.Progress()) return out.Fail(InflateError::Stopped);
            continue;
        }
        // At a piece's end with more to come and room for the output: the fast loop goes on
        // over a copy of the join, where it decodes at least one symbol.
        int across;
        if (br.next != br.last && br.end - br.p < kFastInput && out.end - out.pos >= kFastOutput &&
            out.pos < out.notifyAt && FastLoopAcross(br, out, t, fast, across)) {
            if (across != 0) return across > 0;
            continue;
        }
        // Near the end of the input or the output: one checked symbol at a time.
        const int slow = SlowSymbol(br, out, t);
        if (slow <= 0) return slow == 0;
    }
}

InflateError ReadDynamicTables(BitReader& br, Tables& t, bool deflate64) {
    std::uint32_t hlit, hdist, hclen;
    if (!br.Read(5, hlit) || !br.Read(5, hdist) || !br.Read(4, hclen))
        return InflateError::InputEnded;
    hlit += 257;
    hdist += 1;
    hclen += 4;

    std::uint8_t precodeLengths[kNumPrecodeSymbols] = {};
    for (unsigned i = 0; i < hclen; ++i) {
        std::uint32_t v;
        if (!br.Read(3, v)) return InflateError::InputEnded;
        precodeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(v);
    }
    std::uint32_t precode[kPrecodeTableSize];
    if (const InflateError e =
            BuildTable(precodeLengths, kNumPrecodeSymbols, kSymbolEntries.precode,
                       kPrecodeTableBits, precode, kPrecodeTableSize);
        e != InflateError::None)
        return e;

    std::uint8_t lengths[kNumLitlenSymbols + kNumDistSymbols] = {};
    const unsigned total = hlit + hdist;
    unsigned i = 0;
    while (i < total) {
        std::uint32_t e;
        std::size_t value;
        if (!DecodeChecked(br, precode, kPrecodeTableBits, e, value))
            return InflateError::InputEnded;
        const unsigned sym = EntryValue(e);
        if (sym < 16) {
            lengths[i++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        // The repeat count: 3 + 2 bits, 3 + 3 bits or 11 + 7 bits (the extra bits are already
        // in `value`, added to the symbol).
        const std::size_t rep = value - sym + (sym == 18 ? 11 : 3);
        std::uint8_t repeated = 0;
        if (sym == 16) {
            if (i == 0) return InflateError::RepeatWithoutLength;
            repeated = lengths[i - 1];
        }
        if (rep > total - i) return InflateError::RepeatPastEnd;
        std::memset(lengths + i, repeated, rep);
        i += static_cast<unsigned>(rep);
    }
    if (const InflateError e =
            BuildTable(lengths, hlit, deflate64 ? kSymbolEntries.litlen64 : kSymbolEntries.litlen,
                       kLitlenTableBits, t.litlen, kLitlenTableSize, &t.pairs);
        e != InflateError::None)
        return e;
    return BuildTable(lengths + hlit, hdist, kSymbolEntries.dist, kDistTableBits, t.dist,
                      kDistTableSize);
}

InflateResult Failed(InflateError why) {
    return {false, 0, why};
}

InflateResult Inflate(Output& o, std::span<const std::span<const std::uint8_t>> pieces,
                      bool deflate64, bool portable = false) {
    BitReader br{nullptr, nullptr, pieces.data(), pieces.data() + pieces.size()};
    std::uint32_t header;
    if (!br.Read(16, header)) return Failed(InflateError::InputEnded); // not examined
    o.SetLimits();
    std::unique_ptr<Tables> dynamic;
    const Tables& fixed = deflate64 ? Fixed().wide : Fixed().plain;

    for (;;) {
        if (o.Due() && !o.Progress()) return Failed(InflateError::Stopped);
        std::uint32_t final, type;
        if (!br.Read(1, final) || !br.Read(2, type)) return Failed(InflateError::InputEnded);
        bool ok = false;
        switch (type) {
        case 0:
            ok = StoredBlock(br, o, portable);
            break;
        case 1:
            ok = HuffmanBlock(br, o, fixed, deflate64, portable);
            break;
        case 2:
            if (!dynamic) dynamic.reset(new (std::nothrow) Tables);
            if (!dynamic) return Failed(InflateError::OutOfMemory);
            if (const InflateError e = ReadDynamicTables(br, *dynamic, deflate64);
                e != InflateError::None)
                return Failed(e);
            ok = HuffmanBlock(br, o, *dynamic, deflate64, portable);
            break;
        default:
            return Failed(InflateError::BadBlockType);
        }
        if (!ok) return Failed(o.error);
        if (final) break;
    }
    if (o.progress) {
        std::size_t keepFrom = o.base;
        if (!o.progress->notify(o.progress->context, o.begin, o.base, o.Written(), keepFrom))
            return Failed(InflateError::Stopped);
    }
    return {true, o.Written()};
}

} // namespace

InflateResult InflateData(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                          bool deflate64, const InflateProgress* progress) {
    Output o{out.data(), out.data(), out.data() + out.size(), out.data() + out.size()};
    if (progress && progress->notify && progress->interval > 0) o.progress = progress;
    o.capacity = o.size = out.size();
    return Inflate(o, {&in, 1}, deflate64);
}

InflateResult InflateWindowed(std::span<std::uint8_t> window,
                              std::span<const std::span<const std::uint8_t>> pieces,
                              std::size_t outputSize, const InflateProgress& progress) {
    if (!progress.notify || progress.interval == 0) return Failed(InflateError::NoProgressHook);
    Output o{window.data(), window.data(), window.data(), window.data()};
    o.progress = &progress;
    o.capacity = window.size();
    o.size = outputSize;
    o.windowed = window.size() < outputSize;
    return Inflate(o, pieces, false);
}

InflateResult InflateWindowed(std::span<std::uint8_t> window, std::span<const std::uint8_t> in,
                              std::size_t outputSize, const InflateProgress& progress) {
    return InflateWindowed(window, {&in, 1}, outputSize, progress);
}

InflateResult InflateDataPortable(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                                  bool deflate64) {
    Output o{out.data(), out.data(), out.data() + out.size(), out.data() + out.size()};
    o.capacity = o.size = out.size();
    return Inflate(o, {&in, 1}, deflate64, true);
}

} // namespace corvale
