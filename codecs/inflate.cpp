#include "codecs/inflate.h"

#include <bit>
#include <cstring>
#include <memory>

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
//   bits 0..4   bits to consume (code length, or the primary bits for a subtable link)
//   bits 5..7   kind
//   bits 8..15  extra bits that follow the code (or the subtable's index bits)
//   bits 16..31 value: literal byte, length or distance base, or the subtable offset

enum Kind : std::uint32_t {
    kLiteral = 0,
    kLengthOrDistance = 1,
    kEndOfBlock = 2,
    kSubtable = 3,
    kInvalid = 4
};

constexpr std::uint32_t MakeEntry(std::uint32_t value, std::uint32_t extra, std::uint32_t kind) {
    return value << 16 | extra << 8 | kind << 5;
}
inline unsigned EntryBits(std::uint32_t e) {
    return e & 31u;
}
inline unsigned EntryKind(std::uint32_t e) {
    return (e >> 5) & 7u;
}
inline unsigned EntryExtra(std::uint32_t e) {
    return (e >> 8) & 0xFFu;
}
inline unsigned EntryValue(std::uint32_t e) {
    return e >> 16;
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

enum class Alphabet { Litlen, Litlen64, Distance, Precode };

std::uint32_t SymbolEntry(Alphabet alphabet, unsigned sym) {
    switch (alphabet) {
    case Alphabet::Precode:
        return MakeEntry(sym, 0, kLiteral);
    case Alphabet::Distance:
        return MakeEntry(kDistBase[sym], kDistExtra[sym], kLengthOrDistance);
    case Alphabet::Litlen:
    case Alphabet::Litlen64:
        if (sym < 256) return MakeEntry(sym, 0, kLiteral);
        if (sym == 256) return MakeEntry(0, 0, kEndOfBlock);
        if (sym > 285) return MakeEntry(0, 0, kInvalid);
        if (sym == 285 && alphabet == Alphabet::Litlen64)
            return MakeEntry(3, 16, kLengthOrDistance);
        return MakeEntry(kLengthBase[sym - 257], kLengthExtra[sym - 257], kLengthOrDistance);
    }
    return MakeEntry(0, 0, kInvalid);
}

unsigned ReverseBits(unsigned code, unsigned length) {
    unsigned r = 0;
    for (unsigned i = 0; i < length; ++i) {
        r = (r << 1) | (code & 1u);
        code >>= 1;
    }
    return r;
}

// Builds a decoding table from code lengths (0 = unused). Only complete codes are accepted:
// an over-subscribed or incomplete code (or one without any symbol) gives false.
bool BuildTable(const std::uint8_t* lengths, unsigned count, Alphabet alphabet, unsigned tableBits,
                std::uint32_t* table, std::size_t tableSize) {
    unsigned lengthCount[kMaxCodeLength + 1] = {};
    for (unsigned i = 0; i < count; ++i) ++lengthCount[lengths[i]];
    lengthCount[0] = 0;

    unsigned maxLength = 0;
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        if (lengthCount[len] != 0) maxLength = len;

    long free = 1;
    for (unsigned len = 1; len <= maxLength; ++len) {
        free = free * 2 - static_cast<long>(lengthCount[len]);
        if (free < 0) return false; // over-subscribed
    }
    if (free != 0) return false; // incomplete (or empty)

    // Symbols sorted by (length, symbol): the canonical order.
    std::uint16_t sorted[kNumLitlenSymbols];
    unsigned offset[kMaxCodeLength + 2] = {};
    for (unsigned len = 1; len <= kMaxCodeLength; ++len)
        offset[len + 1] = offset[len] + lengthCount[len];
    for (unsigned sym = 0; sym < count; ++sym)
        if (lengths[sym] != 0) sorted[offset[lengths[sym]]++] = static_cast<std::uint16_t>(sym);

    const unsigned primarySize = 1u << tableBits;
    unsigned remaining[kMaxCodeLength + 1];
    std::memcpy(remaining, lengthCount, sizeof remaining);
    std::size_t nextSubtable = primarySize;
    unsigned subPrefix = ~0u, subOffset = 0, subBits = 0;
    unsigned code = 0, index = 0;
    for (unsigned len = 1; len <= maxLength; ++len, code <<= 1) {
        for (unsigned k = 0; k < lengthCount[len]; ++k, ++code, --remaining[len]) {
            const std::uint32_t entry = SymbolEntry(alphabet, sorted[index++]);
            if (len <= tableBits) {
                for (unsigned j = ReverseBits(code, len); j < primarySize; j += 1u << len)
                    table[j] = entry | len;
                continue;
            }
            const unsigned prefix = code >> (len - tableBits);
            if (prefix != subPrefix) {
                // A new subtable: as wide as the longest code that shares this prefix.
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
                    MakeEntry(subOffset, subBits, kSubtable) | tableBits;
            }
            const unsigned subLength = len - tableBits;
            const unsigned low = code & ((1u << subLength) - 1u);
            for (unsigned j = ReverseBits(low, subLength); j < (1u << subBits);
                 j += 1u << subLength)
                table[subOffset + j] = entry | subLength;
        }
    }
    return true;
}

struct Tables {
    std::uint32_t litlen[kLitlenTableSize];
    std::uint32_t dist[kDistTableSize];
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
        BuildTable(lengths, kNumLitlenSymbols, Alphabet::Litlen, kLitlenTableBits, plain.litlen,
                   kLitlenTableSize);
        BuildTable(lengths, kNumLitlenSymbols, Alphabet::Litlen64, kLitlenTableBits, wide.litlen,
                   kLitlenTableSize);
        BuildTable(distLengths, kNumDistSymbols, Alphabet::Distance, kDistTableBits, plain.dist,
                   kDistTableSize);
        std::memcpy(wide.dist, plain.dist, sizeof wide.dist);
    }
};

const FixedTables& Fixed() {
    static const FixedTables tables;
    return tables;
}

// ---- Bit reader ---------------------------------------------------------------------------
// Bits are taken least significant first. `count` bits of `buf` are valid; the bits above them
// are either zero or the true following bits of the stream, so refilling by OR is safe.

inline std::uint64_t Load64LE(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
    return v;
}

struct BitReader {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::uint64_t buf = 0;
    unsigned count = 0;

    void Refill() {
        if (end - p >= 8) {
            buf |= Load64LE(p) << count;
            p += (63 - count) >> 3;
            count |= 56;
        } else {
            while (count < 56 && p < end) {
                buf |= std::uint64_t{*p++} << count;
                count += 8;
            }
        }
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

// Decodes one symbol's table entry; false when the input ends inside the code.
inline bool DecodeEntry(BitReader& br, const std::uint32_t* table, unsigned tableBits,
                        std::uint32_t& entry) {
    std::uint32_t e = table[br.Peek(tableBits)];
    if (EntryKind(e) == kSubtable) {
        if (br.count < tableBits) return false;
        br.Drop(tableBits);
        e = table[EntryValue(e) + br.Peek(EntryExtra(e))];
    }
    const unsigned n = EntryBits(e);
    if (n == 0 || br.count < n) return false;
    br.Drop(n);
    entry = e;
    return true;
}

// ---- Blocks ---------------------------------------------------------------------------------

struct Output {
    std::uint8_t* begin;
    std::uint8_t* pos;
    std::uint8_t* end;
};

bool StoredBlock(BitReader& br, Output& out) {
    // Give back the whole bytes still held; the rest of the current byte is padding.
    br.p -= br.count >> 3;
    br.buf = 0;
    br.count = 0;
    if (br.end - br.p < 4) return false;
    const unsigned len = br.p[0] | (br.p[1] << 8);
    const unsigned nlen = br.p[2] | (br.p[3] << 8);
    br.p += 4;
    if (len != (~nlen & 0xFFFFu)) return false;
    if (static_cast<std::size_t>(br.end - br.p) < len) return false;
    if (static_cast<std::size_t>(out.end - out.pos) < len) return false;
    if (len != 0) std::memcpy(out.pos, br.p, len);
    out.pos += len;
    br.p += len;
    return true;
}

inline void CopyMatch(std::uint8_t* dst, std::size_t dist, std::size_t length,
                      const std::uint8_t* outEnd) {
    const std::uint8_t* src = dst - dist;
    std::uint8_t* const stop = dst + length;
    if (dist >= 16 && static_cast<std::size_t>(outEnd - stop) >= 16) {
        do {
            std::memcpy(dst, src, 16);
            dst += 16;
            src += 16;
        } while (dst < stop);
    } else if (dist >= 8 && static_cast<std::size_t>(outEnd - stop) >= 8) {
        do {
            std::memcpy(dst, src, 8);
            dst += 8;
            src += 8;
        } while (dst < stop);
    } else if (dist >= 4 && static_cast<std::size_t>(outEnd - stop) >= 4) {
        do {
            std::memcpy(dst, src, 4);
            dst += 4;
            src += 4;
        } while (dst < stop);
    } else if (dist == 1) {
        std::memset(dst, *src, length);
    } else {
        while (dst < stop) *dst++ = *src++;
    }
}

// The largest number of bytes one symbol can produce (a match of the 64 KiB-window variant).
constexpr std::size_t kMaxMatch = 3 + 65535;
// Room the fast loop needs: input for one refill, output for the longest match plus slack for
// the wide copies.
constexpr std::ptrdiff_t kFastInput = 16;
constexpr std::ptrdiff_t kFastOutput = 258 + 32;

// One symbol with every check: used near the end of the input or the output.
// Returns 1 to go on, 0 at the end of the block, -1 on error.
int SlowSymbol(BitReader& br, Output& out, const Tables& t) {
    br.Refill();
    std::uint32_t e;
    if (!DecodeEntry(br, t.litlen, kLitlenTableBits, e)) return -1;
    const unsigned kind = EntryKind(e);
    if (kind == kLiteral) {
        if (out.pos == out.end) return -1;
        *out.pos++ = static_cast<std::uint8_t>(EntryValue(e));
        return 1;
    }
    if (kind == kEndOfBlock) return 0;
    if (kind != kLengthOrDistance) return -1;

    std::uint32_t extra = 0;
    unsigned extraBits = EntryExtra(e);
    if (extraBits > 0 && !br.Read(extraBits, extra)) return -1;
    const std::size_t length = EntryValue(e) + extra;

    br.Refill();
    if (!DecodeEntry(br, t.dist, kDistTableBits, e)) return -1;
    extraBits = EntryExtra(e);
    extra = 0;
    if (extraBits > 0 && !br.Read(extraBits, extra)) return -1;
    const std::size_t dist = EntryValue(e) + extra;

    if (dist > static_cast<std::size_t>(out.pos - out.begin)) return -1;
    if (length > static_cast<std::size_t>(out.end - out.pos)) return -1;
    CopyMatch(out.pos, dist, length, out.end);
    out.pos += length;
    return 1;
}

bool HuffmanBlock(BitReader& br, Output& out, const Tables& t) {
    static_assert(kMaxMatch > 258);
    for (;;) {
        if (br.end - br.p < kFastInput || out.end - out.pos < kFastOutput) {
            const int r = SlowSymbol(br, out, t);
            if (r <= 0) return r == 0;
            continue;
        }
        // Fast path: after the refill at least 56 bits are held, enough for a length code, its
        // extra bits, a distance code and its extra bits (15 + 5 + 15 + 13 bits).
        br.buf |= Load64LE(br.p) << br.count;
        br.p += (63 - br.count) >> 3;
        br.count |= 56;

        // Up to four literals straight from the primary table (11 bits each at most) per refill.
        std::uint32_t e = t.litlen[br.Peek(kLitlenTableBits)];
        if (EntryKind(e) == kLiteral) {
            int literals = 0;
            do {
                br.Drop(EntryBits(e));
                *out.pos++ = static_cast<std::uint8_t>(EntryValue(e));
                e = t.litlen[br.Peek(kLitlenTableBits)];
            } while (++literals < 4 && EntryKind(e) == kLiteral);
            if (literals == 4 || EntryKind(e) == kLiteral) continue;
            // The next code was looked up from bits already held; top the buffer up again for
            // the length, distance and their extra bits (the low bits do not change).
            br.buf |= Load64LE(br.p) << br.count;
            br.p += (63 - br.count) >> 3;
            br.count |= 56;
        }
        if (EntryKind(e) == kSubtable) {
            br.Drop(kLitlenTableBits);
            e = t.litlen[EntryValue(e) + br.Peek(EntryExtra(e))];
        }
        br.Drop(EntryBits(e));
        const unsigned kind = EntryKind(e);
        if (kind == kLiteral) {
            *out.pos++ = static_cast<std::uint8_t>(EntryValue(e));
            continue;
        }
        if (kind == kEndOfBlock) return true;
        if (kind != kLengthOrDistance) return false;

        unsigned extraBits = EntryExtra(e);
        std::size_t length = EntryValue(e) + br.Peek(extraBits);
        br.Drop(extraBits);
        if (extraBits > 5) {
            // 64 KiB-window length: 16 extra bits; refill before the distance.
            if (length > static_cast<std::size_t>(out.end - out.pos)) return false;
            br.Refill();
            if (br.count < 28) return false;
        }

        e = t.dist[br.Peek(kDistTableBits)];
        if (EntryKind(e) == kSubtable) {
            br.Drop(kDistTableBits);
            e = t.dist[EntryValue(e) + br.Peek(EntryExtra(e))];
        }
        if (EntryBits(e) == 0) return false;
        br.Drop(EntryBits(e));
        extraBits = EntryExtra(e);
        if (extraBits > br.count) return false;
        const std::size_t dist = EntryValue(e) + br.Peek(extraBits);
        br.Drop(extraBits);

        if (dist > static_cast<std::size_t>(out.pos - out.begin)) return false;
        if (length > static_cast<std::size_t>(out.end - out.pos)) return false;
        CopyMatch(out.pos, dist, length, out.end);
        out.pos += length;
    }
}

bool ReadDynamicTables(BitReader& br, Tables& t, bool deflate64) {
    std::uint32_t hlit, hdist, hclen;
    if (!br.Read(5, hlit) || !br.Read(5, hdist) || !br.Read(4, hclen)) return false;
    hlit += 257;
    hdist += 1;
    hclen += 4;

    std::uint8_t precodeLengths[kNumPrecodeSymbols] = {};
    for (unsigned i = 0; i < hclen; ++i) {
        std::uint32_t v;
        if (!br.Read(3, v)) return false;
        precodeLengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(v);
    }
    std::uint32_t precode[kPrecodeTableSize];
    if (!BuildTable(precodeLengths, kNumPrecodeSymbols, Alphabet::Precode, kPrecodeTableBits,
                    precode, kPrecodeTableSize))
        return false;

    std::uint8_t lengths[kNumLitlenSymbols + kNumDistSymbols] = {};
    const unsigned total = hlit + hdist;
    unsigned i = 0;
    while (i < total) {
        br.Refill();
        std::uint32_t e;
        if (!DecodeEntry(br, precode, kPrecodeTableBits, e)) return false;
        const unsigned sym = EntryValue(e);
        if (sym < 16) {
            lengths[i++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        std::uint32_t rep;
        std::uint8_t value = 0;
        if (sym == 16) {
            if (i == 0) return false; // nothing to repeat
            value = lengths[i - 1];
            if (!br.Read(2, rep)) return false;
            rep += 3;
        } else if (sym == 17) {
            if (!br.Read(3, rep)) return false;
            rep += 3;
        } else {
            if (!br.Read(7, rep)) return false;
            rep += 11;
        }
        if (rep > total - i) return false;
        std::memset(lengths + i, value, rep);
        i += rep;
    }
    return BuildTable(lengths, hlit, deflate64 ? Alphabet::Litlen64 : Alphabet::Litlen,
                      kLitlenTableBits, t.litlen, kLitlenTableSize) &&
           BuildTable(lengths + hlit, hdist, Alphabet::Distance, kDistTableBits, t.dist,
                      kDistTableSize);
}

} // namespace

InflateResult InflateData(std::span<std::uint8_t> out, std::span<const std::uint8_t> in,
                          bool deflate64) {
    if (in.size() < 2) return {};
    BitReader br{in.data() + 2, in.data() + in.size()}; // the zlib header is not examined
    Output o{out.data(), out.data(), out.data() + out.size()};
    std::unique_ptr<Tables> dynamic;
    const Tables& fixed = deflate64 ? Fixed().wide : Fixed().plain;

    for (;;) {
        std::uint32_t final, type;
        if (!br.Read(1, final) || !br.Read(2, type)) return {};
        bool ok = false;
        switch (type) {
        case 0:
            ok = StoredBlock(br, o);
            break;
        case 1:
            ok = HuffmanBlock(br, o, fixed);
            break;
        case 2:
            if (!dynamic) dynamic = std::make_unique<Tables>();
            ok = ReadDynamicTables(br, *dynamic, deflate64) && HuffmanBlock(br, o, *dynamic);
            break;
        default:
            ok = false;
        }
        if (!ok) return {};
        if (final) break;
    }
    return {true, static_cast<std::size_t>(o.pos - o.begin)};
}

} // namespace corvale
