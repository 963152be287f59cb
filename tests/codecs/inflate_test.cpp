#include "codecs/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace corvale {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Writes a deflate stream bit by bit (least significant bit first; Huffman codes MSB first).
class BitWriter {
  public:
    BitWriter() { bytes_ = {0x78, 0x9C}; }
    void Bits(std::uint32_t value, unsigned n) {
        for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1u);
    }
    void Code(std::uint32_t code, unsigned n) {
        for (unsigned i = n; i-- > 0;) Bit((code >> i) & 1u);
    }
    // Ends the stream with the Adler-32 trailer given (never read by the own inflate).
    Bytes Finish(std::uint32_t adler = 0) {
        Bytes out = bytes_;
        if (used_ != 0) out.push_back(current_);
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(adler >> shift));
        return out;
    }

  private:
    void Bit(unsigned b) {
        current_ |= static_cast<std::uint8_t>(b << used_);
        if (++used_ == 8) {
            bytes_.push_back(current_);
            current_ = 0;
            used_ = 0;
        }
    }
    Bytes bytes_;
    std::uint8_t current_ = 0;
    unsigned used_ = 0;
};

Bytes Compress(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, 15, 8, strategy);
    Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())) + 16);
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

Bytes SampleData(std::size_t n, int kind, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes d(n);
    for (std::size_t i = 0; i < n; ++i) {
        switch (kind) {
        case 0:
            d[i] = static_cast<std::uint8_t>(rng());
            break; // incompressible
        case 1:
            d[i] = static_cast<std::uint8_t>(rng() % 4);
            break; // few symbols
        case 2:
            d[i] = i > 300 && rng() % 3 ? d[i - 1 - rng() % 300] : rng();
            break; // matches
        case 3:
            d[i] = static_cast<std::uint8_t>("abcabd"[i % 6]);
            break; // long repeats
        default:
            // Four common bytes and rare ones of every value: most literal codes are longer
            // than the first table level and follow short ones.
            d[i] = static_cast<std::uint8_t>(rng() % 32 ? rng() % 4 : rng());
            break;
        }
    }
    return d;
}

InflateResult Inflate(Bytes& out, const Bytes& in, bool deflate64 = false) {
    return InflateData(out, in, deflate64);
}

TEST(Inflate, DecodesWhatZlibCompressesAtEveryLevelAndStrategy) {
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY, Z_RLE, Z_FILTERED};
    unsigned seed = 1;
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{300}, std::size_t{70000}}) {
        for (int kind = 0; kind < 5; ++kind) {
            const Bytes data = SampleData(n, kind, seed++);
            for (int level = 0; level <= 9; level += 3) {
                for (int strategy : strategies) {
                    const Bytes z = Compress(data, level, strategy);
                    Bytes out(n);
                    const InflateResult r = Inflate(out, z);
                    ASSERT_TRUE(r.ok) << n << " " << kind << " " << level << " " << strategy;
                    EXPECT_EQ(r.written, n);
                    EXPECT_EQ(out, data);
                }
            }
        }
    }
}

// Matches at every short distance with lengths around the copy's piece sizes, and literals
// whose codes pair up, each ending at the output's end: exact sizes decode (on the portable path
// too, byte for byte), a byte less is too little, and input cut anywhere near its end fails.
TEST(Inflate, CopiesAndLiteralPairsUpToTheEndsOfInputAndOutput) {
    std::mt19937 rng(11);
    Bytes copies;
    for (std::size_t dist = 1; dist <= 80; ++dist)
        for (std::size_t length : {3, 15, 16, 17, 31, 32, 33, 63, 64, 65, 130, 258}) {
            for (std::size_t k = 0; k < dist; ++k)
                copies.push_back(static_cast<std::uint8_t>(rng()));
            for (std::size_t k = 0; k < length; ++k) copies.push_back(copies[copies.size() - dist]);
        }
    for (const Bytes& data : {copies, SampleData(20000, 1, 12)}) {
        for (int level : {1, 9}) {
            const Bytes z = Compress(data, level);
            Bytes out(data.size()), portable(data.size());
            ASSERT_TRUE(Inflate(out, z).ok) << level;
            EXPECT_EQ(out, data);
            const InflateResult p = InflateDataPortable(portable, z);
            EXPECT_TRUE(p.ok);
            EXPECT_EQ(portable, data);
            Bytes short1(data.size() - 1);
            EXPECT_EQ(Inflate(short1, z).error, InflateError::OutputFull);
            // The last 4 bytes are the unread checksum.
            for (std::size_t cut = 5; cut <= 40; ++cut) {
                const Bytes in(z.begin(), z.end() - static_cast<std::ptrdiff_t>(cut));
                EXPECT_EQ(Inflate(out, in).error, InflateError::InputEnded) << cut;
                EXPECT_EQ(InflateDataPortable(out, in).error, InflateError::InputEnded) << cut;
            }
        }
    }
}

// Stored, fixed and dynamic blocks in one stream, each ended by a flush (an empty stored block
// that starts inside a byte); a short stored block after a fixed one. `expected` receives the
// data.
Bytes MixedBlocksStream(Bytes& expected) {
    const Bytes a = SampleData(5000, 2, 7), b = SampleData(5000, 3, 8), c = SampleData(5000, 1, 9);
    const Bytes d = SampleData(5, 0, 10);
    z_stream zs{};
    deflateInit2(&zs, 0, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    Bytes z(40000);
    zs.next_out = z.data();
    zs.avail_out = static_cast<uInt>(z.size());
    auto feed = [&](const Bytes& part, int flush) {
        zs.next_in = const_cast<Bytef*>(part.data());
        zs.avail_in = static_cast<uInt>(part.size());
        deflate(&zs, flush);
        expected.insert(expected.end(), part.begin(), part.end());
    };
    feed(a, Z_FULL_FLUSH); // stored
    deflateParams(&zs, 6, Z_FIXED);
    feed(b, Z_FULL_FLUSH); // fixed
    deflateParams(&zs, 0, Z_DEFAULT_STRATEGY);
    feed(d, Z_FULL_FLUSH); // a stored block of 5 bytes
    deflateParams(&zs, 9, Z_DEFAULT_STRATEGY);
    feed(c, Z_FINISH); // dynamic
    z.resize(zs.total_out);
    deflateEnd(&zs);
    return z;
}

TEST(Inflate, StoredFixedAndDynamicBlocksInOneStreamDecodeInOrder) {
    Bytes expected;
    const Bytes z = MixedBlocksStream(expected);
    Bytes out(expected.size());
    ASSERT_TRUE(Inflate(out, z).ok);
    EXPECT_EQ(out, expected);
}

// The windowed inflate of `z` cut at `cuts` (ascending; a repeated cut makes an empty piece),
// with the bytes its progress hook was given, for a window of `window` bytes.
struct PiecesRun {
    InflateResult r;
    Bytes seen;
};

PiecesRun InflateInPieces(const Bytes& z, const std::vector<std::size_t>& cuts,
                          std::size_t outputSize, std::size_t window) {
    // The pieces lie apart, with filler between them, as IDAT bodies do: a read outside a piece
    // takes the wrong bytes.
    constexpr std::size_t kGap = 12;
    Bytes apart;
    apart.reserve(z.size() + (cuts.size() + 2) * kGap);
    std::vector<std::pair<std::size_t, std::size_t>> at; // offset in `apart`, length
    std::size_t from = 0;
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::size_t cut = i < cuts.size() ? cuts[i] : z.size();
        apart.insert(apart.end(), kGap, 0xA5);
        at.emplace_back(apart.size(), cut - from);
        apart.insert(apart.end(), z.begin() + from, z.begin() + cut);
        from = cut;
    }
    apart.insert(apart.end(), kGap, 0xA5);
    std::vector<std::span<const std::uint8_t>> pieces;
    for (const auto& [offset, length] : at) pieces.emplace_back(apart.data() + offset, length);
    PiecesRun run;
    const InflateProgress collect{[](void* context, const std::uint8_t* bytes, std::size_t first,
                                     std::size_t written, std::size_t& keepFrom) {
                                      auto& seen = *static_cast<Bytes*>(context);
                                      seen.insert(seen.end(), bytes + (seen.size() - first),
                                                  bytes + (written - first));
                                      keepFrom = written;
                                      return true;
                                  },
                                  &run.seen, 4096};
    Bytes buffer(window);
    run.r = InflateWindowed(buffer, pieces, outputSize, collect);
    return run;
}

// A stream read in pieces gives what it gives read whole: success, bytes written and output,
// or the same failure. Cut at every position, at every pair of positions near the starts of
// stored blocks (LEN and NLEN split, a stored block across three pieces), into pieces of one
// byte, with empty pieces, into random pieces in a moving window; truncated, damaged or with
// too little room for its output.
TEST(Inflate, PiecesReadAsTheWholeStream) {
    Bytes expected;
    const Bytes mixed = MixedBlocksStream(expected);
    const std::size_t size = expected.size();
    auto same = [](const PiecesRun& whole, const PiecesRun& cut, const std::string& what) {
        EXPECT_EQ(cut.r.ok, whole.r.ok) << what;
        EXPECT_EQ(cut.r.error, whole.r.error) << what;
        EXPECT_EQ(cut.r.written, whole.r.written) << what;
        if (whole.r.ok) {
            EXPECT_TRUE(cut.seen == whole.seen) << what;
        }
    };
    // Every kind of input against itself read whole.
    std::vector<std::pair<Bytes, std::size_t>> inputs = {{mixed, size}, {mixed, size - 1}};
    for (std::size_t cut : {std::size_t{1}, std::size_t{3}, std::size_t{9}, mixed.size() / 2})
        inputs.push_back({Bytes(mixed.begin(), mixed.end() - static_cast<std::ptrdiff_t>(cut)),
                          size}); // truncated (the last 4 bytes are the checksum)
    std::mt19937 rng(21);
    for (int damaged = 0; damaged < 6; ++damaged) {
        Bytes bad = mixed;
        bad[2 + rng() % (bad.size() - 2)] ^= static_cast<std::uint8_t>(1u << rng() % 8);
        inputs.push_back({bad, size});
    }
    for (const auto& [z, outputSize] : inputs) {
        const PiecesRun whole = InflateInPieces(z, {}, outputSize, outputSize);
        for (std::size_t cut = 0; cut <= z.size(); ++cut)
            same(whole, InflateInPieces(z, {cut}, outputSize, outputSize),
                 "cut at " + std::to_string(cut));
    }
    const PiecesRun whole = InflateInPieces(mixed, {}, size, size);
    ASSERT_TRUE(whole.r.ok);
    ASSERT_EQ(whole.seen, expected);
    for (std::size_t truncated : {4, 5})
        EXPECT_EQ(InflateInPieces(inputs[truncated].first, {}, size, size).r.error,
                  InflateError::InputEnded);

    // Stored blocks start with 00 00 FF FF after a flush, or with the 5000-byte block's length.
    std::vector<std::size_t> storedStarts;
    for (std::size_t i = 2; i + 4 <= mixed.size(); ++i)
        if ((mixed[i + 2] ^ mixed[i]) == 0xFF && (mixed[i + 3] ^ mixed[i + 1]) == 0xFF &&
            (mixed[i] | mixed[i + 1] << 8) <= 5000)
            storedStarts.push_back(i);
    ASSERT_GE(storedStarts.size(), 3u);
    for (std::size_t start : storedStarts)
        for (std::size_t a = start - 1; a <= start + 5; ++a)
            for (std::size_t b = a; b <= start + 12 && b <= mixed.size(); ++b)
                same(whole, InflateInPieces(mixed, {a, b}, size, size),
                     "cuts " + std::to_string(a) + " " + std::to_string(b));

    std::vector<std::size_t> everyByte(mixed.size());
    for (std::size_t i = 0; i < everyByte.size(); ++i) everyByte[i] = i + 1;
    same(whole, InflateInPieces(mixed, everyByte, size, size), "pieces of one byte");
    for (int round = 0; round < 50; ++round) {
        std::vector<std::size_t> cuts;
        for (int k = 0; k < 40; ++k) cuts.push_back(rng() % (mixed.size() + 1));
        for (int k = 0; k < 5; ++k) cuts.push_back(cuts[k]);        // empty pieces
        if (round % 10 == 0) cuts.insert(cuts.end(), 200, cuts[0]); // a long run of them
        std::ranges::sort(cuts);
        same(whole, InflateInPieces(mixed, cuts, size, size), "random " + std::to_string(round));
    }

    // Longer than the window, which moves while the pieces are read.
    const Bytes big = SampleData(400000, 2, 22);
    for (int level : {0, 6}) {
        const Bytes z = Compress(big, level);
        std::vector<std::size_t> cuts;
        for (std::size_t at = 0; at < z.size(); at += 1 + rng() % 9000) cuts.push_back(at);
        const PiecesRun run = InflateInPieces(z, cuts, big.size(), std::size_t{136} << 10);
        ASSERT_TRUE(run.r.ok) << level;
        EXPECT_TRUE(run.seen == big) << level;
    }
}

// A stored block after one of `lead` bytes, so that it starts at every offset against the
// output's alignment; lengths around the wide copy's pieces. Both inflate paths copy every byte
// and nothing past the output.
TEST(Inflate, StoredBlocksCopyExactlyAtEveryOffsetAndLength) {
    const Bytes data = SampleData(70000, 0, 11);
    const auto stored = [](BitWriter& w, std::span<const std::uint8_t> bytes, bool final) {
        w.Bits(final ? 1 : 0, 1);
        w.Bits(0, 2);
        w.Bits(0, 5); // to the byte boundary (the writer is byte-aligned before each block)
        const auto len = static_cast<std::uint32_t>(bytes.size());
        w.Bits(len, 16);
        w.Bits(~len & 0xFFFFu, 16);
        for (std::uint8_t b : bytes) w.Bits(b, 8);
    };
    for (std::size_t length : {255u, 256u, 257u, 287u, 288u, 319u, 320u, 351u, 4097u, 65535u}) {
        const std::size_t step = length <= 4097 ? 1 : 11;
        for (std::size_t lead = 0; lead < 34; lead += step) {
            BitWriter w;
            stored(w, std::span(data).first(lead), false);
            stored(w, std::span(data).subspan(100, length), true);
            const Bytes z = w.Finish();
            for (bool portable : {false, true}) {
                Bytes out(lead + length + 64, 0xA5);
                const std::span<std::uint8_t> exact(out.data(), lead + length);
                const InflateResult r =
                    portable ? InflateDataPortable(exact, z) : InflateData(exact, z);
                ASSERT_TRUE(r.ok) << length << " " << lead;
                ASSERT_TRUE(std::equal(out.begin(), out.begin() + lead, data.begin()));
                ASSERT_TRUE(
                    std::equal(out.begin() + lead, out.begin() + lead + length, data.begin() + 100))
                    << length << " " << lead << " " << portable;
                ASSERT_TRUE(std::all_of(out.begin() + lead + length, out.end(),
                                        [](std::uint8_t b) { return b == 0xA5; }));
            }
        }
    }
}

TEST(Inflate, OutputIsBoundedByTheBufferSize) {
    const Bytes data = SampleData(10000, 2, 3);
    const Bytes z = Compress(data, 9);
    Bytes tooSmall(data.size() - 1);
    const InflateResult cut = Inflate(tooSmall, z);
    EXPECT_FALSE(cut.ok) << "data past the end must fail, not be cut";
    EXPECT_EQ(cut.error, InflateError::OutputFull);
    Bytes larger(data.size() + 100, 0xEE);
    const InflateResult r = Inflate(larger, z);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.written, data.size());
    EXPECT_EQ(larger[data.size()], 0xEE);
}

// The progress hook sees only finished bytes, in steps of at most about the interval and once
// at the end, and can stop the inflate. In a window smaller than the output it sees every byte
// once, in order, also with matches reaching far back.
TEST(Inflate, ProgressSeesFinishedOutputAndCanStopIt) {
    std::mt19937 rng(5);
    Bytes data(400000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i > 40000 && rng() % 4 ? data[i - 20000 - rng() % 12000]
                                                                   : rng() % 16);
    const Bytes z = Compress(data, 6);
    struct Watch {
        const Bytes* data;
        Bytes seen;
        std::vector<std::size_t> steps;
        bool same = true;
        std::size_t stopAt = ~std::size_t{0};
    };
    auto notify = [](void* context, const std::uint8_t* bytes, std::size_t first,
                     std::size_t written, std::size_t& keepFrom) {
        auto& w = *static_cast<Watch*>(context);
        const std::size_t from = w.seen.size();
        w.same = w.same && from >= first &&
                 std::equal(bytes + (from - first), bytes + (written - first),
                            w.data->begin() + static_cast<std::ptrdiff_t>(from));
        w.seen.insert(w.seen.end(), bytes + (from - first), bytes + (written - first));
        w.steps.push_back(written);
        keepFrom = written;
        return w.steps.size() < w.stopAt;
    };
    for (std::size_t window : {data.size(), std::size_t{200000}}) {
        Bytes buffer(window);
        Watch watch{&data, {}, {}};
        const InflateProgress progress{notify, &watch, 4096};
        const InflateResult r = InflateWindowed(buffer, z, data.size(), progress);
        ASSERT_TRUE(r.ok) << window;
        EXPECT_EQ(r.written, data.size());
        EXPECT_TRUE(watch.same) << window;
        EXPECT_EQ(watch.seen.size(), data.size());
        ASSERT_GT(watch.steps.size(), 50u);
        for (std::size_t i = 1; i < watch.steps.size(); ++i)
            EXPECT_GT(watch.steps[i], watch.steps[i - 1]);
    }
    Bytes out(data.size());
    Watch stopping{&data, {}, {}};
    stopping.stopAt = 3;
    const InflateProgress stop{notify, &stopping, 4096};
    const InflateResult stopped = InflateData(out, z, false, &stop);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.error, InflateError::Stopped);
    EXPECT_EQ(stopping.steps.size(), 3u);
    EXPECT_EQ(InflateWindowed(out, z, data.size(), {}).error, InflateError::NoProgressHook);
}

TEST(Inflate, HeaderAndChecksumAreNotExamined) {
    const Bytes data = SampleData(2000, 2, 4);
    Bytes z = Compress(data, 6);
    z[0] = 0x00;
    z[1] = 0x20;             // preset-dictionary flag, wrong check bits
    z[z.size() - 1] ^= 0xFF; // wrong Adler-32
    Bytes out(data.size());
    ASSERT_TRUE(Inflate(out, z).ok);
    EXPECT_EQ(out, data);
}

// The start of a final dynamic block with 257 literal/length and 1 distance code lengths whose
// code-length code gives 1-bit codes to the entries at `oneBit` in the stored order (16, 17,
// 18, 0, 8, 7, ..., 1).
BitWriter DynamicBlockStart(std::initializer_list<int> oneBit) {
    BitWriter w;
    w.Bits(1, 1);  // final
    w.Bits(2, 2);  // dynamic
    w.Bits(0, 5);  // HLIT 257
    w.Bits(0, 5);  // HDIST 1
    w.Bits(14, 4); // HCLEN 18: up to the entry for length 1
    for (int i = 0; i < 18; ++i) w.Bits(std::ranges::count(oneBit, i) ? 1 : 0, 3);
    return w;
}

// A dynamic block whose literals 'A' and end-of-block have 1-bit codes and whose only
// distance code has length 1: an incomplete code.
Bytes SingleDistanceCodeStream() {
    // Code-length code: symbols 18 and 1 get 1-bit codes (1 -> "0", 18 -> "1").
    BitWriter w = DynamicBlockStart({2, 17});
    auto zeros = [&](unsigned n) { // runs of 11..138 zeros through symbol 18
        while (n > 0) {
            const unsigned run = n > 138 ? 138 : n;
            w.Code(1, 1);
            w.Bits(run - 11, 7);
            n -= run;
        }
    };
    zeros(65);
    w.Code(0, 1); // 'A' length 1
    zeros(190);
    w.Code(0, 1); // 256 length 1
    w.Code(0, 1); // the single distance code, length 1
    w.Code(0, 1); // 'A'
    w.Code(1, 1); // end of block
    return w.Finish(static_cast<std::uint32_t>(adler32(1, reinterpret_cast<const Bytef*>("A"), 1)));
}

TEST(Inflate, RejectsIncompleteCodesThatZlibAccepts) {
    const Bytes z = SingleDistanceCodeStream();
    Bytes viaZlib(1);
    uLongf n = 1;
    ASSERT_EQ(uncompress(viaZlib.data(), &n, z.data(), static_cast<uLong>(z.size())), Z_OK);
    EXPECT_EQ(viaZlib[0], 'A');
    Bytes out(1);
    const InflateResult r = Inflate(out, z);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, InflateError::IncompleteCode);
}

TEST(Inflate, RejectsDamagedStreams) {
    const Bytes data = SampleData(3000, 2, 5);
    Bytes out(data.size());
    auto rejects = [&](const Bytes& in, InflateError why) {
        const InflateResult r = Inflate(out, in);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, why);
    };
    {
        BitWriter w; // a distance reaching before the start of the output
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Code(0x30 + 'x', 8);
        w.Code(0x01, 7); // length 3 (symbol 257)
        w.Code(1, 5);    // distance 2: only one byte written so far
        w.Code(0, 7);
        rejects(w.Finish(), InflateError::DistanceTooFarBack);
    }
    {
        BitWriter w; // block type 3
        w.Bits(1, 1);
        w.Bits(3, 2);
        rejects(w.Finish(), InflateError::BadBlockType);
    }
    {
        BitWriter w; // fixed code for literal/length symbol 286
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Code(0xC0 + (286 - 280), 8);
        rejects(w.Finish(), InflateError::BadSymbol);
    }
    // Code-length codes: three 1-bit codes; a repeat of the previous length first; runs of
    // zeros past the 258 lengths (1 -> "0", 18 -> "1").
    rejects(DynamicBlockStart({3, 4, 5}).Finish(), InflateError::OverSubscribedCode);
    BitWriter repeatFirst = DynamicBlockStart({0, 17}); // 1 -> "0", 16 -> "1"
    repeatFirst.Code(1, 1);
    repeatFirst.Bits(0, 2);
    rejects(repeatFirst.Finish(), InflateError::RepeatWithoutLength);
    BitWriter pastEnd = DynamicBlockStart({2, 17});
    for (int run = 0; run < 2; ++run) {
        pastEnd.Code(1, 1);
        pastEnd.Bits(127, 7); // 138 zeros
    }
    rejects(pastEnd.Finish(), InflateError::RepeatPastEnd);

    Bytes stored = Compress(data, 0);
    stored[5] ^= 0x01; // NLEN no longer the complement of LEN
    rejects(stored, InflateError::StoredLengthMismatch);
    Bytes z = Compress(data, 9);
    z.resize(z.size() / 2); // input exhausted
    rejects(z, InflateError::InputEnded);
    rejects(Bytes{0x78}, InflateError::InputEnded);
}

TEST(Inflate, WideWindowVariantReadsSixteenExtraBitsForSymbol285Only) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);          // fixed codes
    w.Code(0x30 + 'x', 8); // 'x'
    w.Code(0xC0 + (285 - 280), 8);
    w.Bits(997, 16); // length 3 + 997
    w.Code(0, 5);    // distance 1
    w.Code(0xC0 + (284 - 280), 8);
    w.Bits(31, 5); // 227 + 31 = 258, an ordinary length
    w.Code(0, 5);
    w.Code(0, 7); // end of block
    const Bytes z = w.Finish();
    Bytes out(1 + 1000 + 258);
    const InflateResult r = Inflate(out, z, true);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.written, out.size());
    EXPECT_EQ(out, Bytes(out.size(), 'x'));
    const InflateResult plain = Inflate(out, z, false);
    EXPECT_FALSE(plain.ok) << "without the variant 285 is length 258";
    EXPECT_EQ(plain.error, InflateError::DistanceTooFarBack);
}

} // namespace
} // namespace corvale
