// The PNG encoder: colour-type choice, filters, text chunks and round trips through our decoder
// and (on the host) libpng.
#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "png_test_support.h"
#include "tests/codecs/memory_image.h"
#include "tests/support/pixel_compare.h"

#include "tests/support/temp_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>

namespace corvale {
namespace {

using testing::ChunksOf;
using testing::Pixels;
using Bytes = std::vector<std::uint8_t>;
using Pixel = std::array<std::uint8_t, 4>; // straight R, G, B, A

constexpr std::string_view kNoZlib[] = {"corvale-no-such-library"};

// An image from straight colours, stored premultiplied.
void Paint(MemoryImage& dib, int w, int h, bool alpha, const std::function<Pixel(int, int)>& f) {
    ASSERT_TRUE(dib.InitializeDIB(w, h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Pixel p = f(x, y);
            std::uint8_t* d = dib.BitsPointer() + (std::size_t(h - 1 - y) * w + x) * 4;
            for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(p[2 - c] * p[3] / 255);
            d[3] = p[3];
        }
    dib.SetAlpha(alpha);
}

Pixel Photo(int x, int y) {
    return {std::uint8_t(x * 4), std::uint8_t(y * 4), std::uint8_t((x + y) * 2), 255};
}

struct Case {
    const char* name;
    bool alpha;
    std::function<Pixel(int, int)> paint;
    std::uint8_t colorType;
    std::size_t trnsLength; // 0 = no tRNS chunk
};

std::vector<Case> Cases() {
    return {
        {"opaque photo", false, Photo, 2, 0},
        {"opaque photo with alpha flag", true, Photo, 2, 0},
        {"icon-like photo", true,
         [](int x, int y) {
             return (x + y) % 7 == 0 ? Pixel{9, 9, 9, 0} : Photo(x, y);
         },
         2, 6},
        {"all greys opaque and some clear", true,
         [](int x, int y) {
             if (y < 4)
                 return Pixel{std::uint8_t(y * 64 + x), std::uint8_t(y * 64 + x),
                              std::uint8_t(y * 64 + x), 255};
             return (x + y) % 5 == 0 ? Pixel{0, 0, 0, 0} : Photo(x, y);
         },
         6, 0},
        {"translucent photo", true,
         [](int x, int y) {
             return Pixel{std::uint8_t(x * 4), 50, std::uint8_t(y * 4), std::uint8_t(x * 3 + y)};
         },
         6, 0},
        {"few colours, translucent", true,
         [](int x, int y) {
             return Pixel{std::uint8_t(x % 4 * 60), 200, 10, std::uint8_t(y % 3 * 100 + 55)};
         },
         3, 12},
        {"few colours, one clear", true,
         [](int x, int y) {
             return x == 3 ? Pixel{0, 0, 0, 0} : Pixel{std::uint8_t(x % 5 * 50), 7, 99, 255};
         },
         3, 1},
        {"few colours, opaque", false,
         [](int x, int y) {
             return Pixel{std::uint8_t(x % 5 * 50), std::uint8_t(y % 3), 99, 255};
         },
         3, 0},
        {"greys, opaque", false,
         [](int x, int y) {
             return Pixel{std::uint8_t(x * 3), std::uint8_t(x * 3), std::uint8_t(x * 3), 255};
         },
         0, 0},
        {"greys with clear pixels", true,
         [](int x, int y) {
             return y == 1 ? Pixel{0, 0, 0, 0}
                           : Pixel{std::uint8_t(x), std::uint8_t(x), std::uint8_t(x), 255};
         },
         0, 2},
    };
}

Bytes Encode(const MemoryImage& dib, cPNGwriter& writer) {
    Bytes out;
    EXPECT_TRUE(writer.WritePNG(dib, {}, out));
    return out;
}

using test_support::ExpectSamePicture;

Bytes DecodeOwn(const Bytes& png) {
    MemoryImage dib;
    cPNGparser().LoadStream(png, dib);
    return Pixels(dib);
}

// The filter byte of every row, read back from the image data.
Bytes FilterBytes(const Bytes& png, std::size_t rowLength, std::size_t rows) {
    Bytes z;
    for (const auto& [type, body] : ChunksOf(png))
        if (type == "IDAT") z.insert(z.end(), body.begin(), body.end());
    Bytes raw(rows * (rowLength + 1));
    uLongf n = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &n, z.data(), static_cast<uLong>(z.size())) != Z_OK) return {};
    Bytes filters;
    for (std::size_t r = 0; r < rows; ++r) filters.push_back(raw[r * (rowLength + 1)]);
    return filters;
}

TEST(PngEncoder, ChoosesTheColourTypeByContentAndRoundTrips) {
    for (const Case& c : Cases()) {
        MemoryImage dib;
        Paint(dib, 64, 64, c.alpha, c.paint);
        cPNGwriter writer;
        const Bytes png = Encode(dib, writer);
        EXPECT_EQ(writer.ChosenColorType(), c.colorType) << c.name;
        const auto chunks = ChunksOf(png);
        ASSERT_GE(chunks.size(), 3u) << c.name;
        EXPECT_EQ(chunks[0].second[9], c.colorType) << c.name;
        std::size_t trns = 0;
        for (const auto& [type, body] : chunks)
            if (type == "tRNS") trns = body.size();
        EXPECT_EQ(trns, c.trnsLength) << c.name;
        ExpectSamePicture(Pixels(dib), DecodeOwn(png), c.name);
    }
}

#ifdef CORVALE_HAVE_LIBPNG
TEST(PngEncoder, LibpngReadsWhatWeWrite) {
    const std::string path = test_support::UniqueTempPath("corvale_encoder_libpng.png");
    for (const Case& c : Cases()) {
        MemoryImage dib;
        Paint(dib, 64, 64, c.alpha, c.paint);
        for (int filter = 0; filter <= 6; ++filter) {
            cPNGwriter writer;
            writer.SetFilter(filter);
            Bytes unused;
            ASSERT_TRUE(writer.WritePNG(dib, path, unused)) << c.name;
            EXPECT_TRUE(unused.empty());
            const Bytes viaLibpng = testing::LibpngPixels(path);
            ExpectSamePicture(Pixels(dib), viaLibpng,
                              std::string(c.name) + " filter " + std::to_string(filter));
        }
    }
    std::remove(path.c_str());
}
#endif

TEST(PngEncoder, EveryFilterSettingRoundTrips) {
    MemoryImage photo, palette;
    Paint(photo, 40, 30, true, Case{Cases()[4]}.paint);
    Paint(palette, 40, 30, false, Case{Cases()[7]}.paint);
    for (int setting = -1; setting <= 7; ++setting) {
        for (MemoryImage* dib : {&photo, &palette}) {
            cPNGwriter writer;
            writer.SetFilter(setting);
            const Bytes png = Encode(*dib, writer);
            ExpectSamePicture(Pixels(*dib), DecodeOwn(png),
                              std::string("setting ").append(std::to_string(setting)));
            const bool truecolour = dib == &photo;
            const Bytes filters = FilterBytes(png, truecolour ? 40 * 4 : 40, 30);
            ASSERT_EQ(filters.size(), 30u);
            const int effective = setting < 0 || setting > 6 ? 0 : setting;
            if (effective == 0) {
                EXPECT_EQ(filters[5], truecolour ? 4 : 0) << setting;
            } else if (effective <= 5) {
                EXPECT_EQ(filters[5], effective - 1) << setting;
            }
        }
    }
}

TEST(PngEncoder, AdaptiveFilteringTakesTheLowestScoreAndLaterFiltersWinTies) {
    // Grey rows: halving values favour Average; a row equal to the one above scores the same
    // (1) with Up and Paeth, and Paeth, tried later, wins.
    const std::uint8_t row[8] = {128, 64, 32, 16, 8, 4, 2, 1};
    MemoryImage dib;
    Paint(dib, 8, 2, false, [&](int x, int) { return Pixel{row[x], row[x], row[x], 255}; });
    cPNGwriter writer;
    writer.SetFilter(6);
    const Bytes png = Encode(dib, writer);
    ASSERT_EQ(writer.ChosenColorType(), 0);
    EXPECT_EQ(FilterBytes(png, 8, 2), (Bytes{3, 4}));
}

TEST(PngEncoder, TextChunksFollowTheirKeywordRules) {
    MemoryImage dib;
    Paint(dib, 4, 4, false, Photo);
    cPNGwriter writer;
    writer.SetText(kPngComment, "after\r\nthe\rdata");
    writer.SetText(kPngTitle, "A title");
    writer.SetText(kPngAuthor, "Someone");
    writer.SetCustomText("  Long   key  ", std::string(1025, 'z'));
    writer.SetCustomText("Exact", std::string(1024, 'e'));
    writer.SetCustomText("exact", "case matters");
    writer.SetCustomText("Gone", "x");
    writer.SetCustomText("Gone", "");
    EXPECT_EQ(writer.TextFlags(), kPngTitle | kPngAuthor | kPngComment | kPngCustomText);
    writer.SetTime(PngTime{2024, 5, 6, 7, 8, 9});
    const Bytes png = Encode(dib, writer);

    std::vector<std::string> order;
    for (const auto& [type, body] : ChunksOf(png)) {
        std::string label = type;
        if (type == "tEXt" || type == "zTXt")
            label.append(":").append(reinterpret_cast<const char*>(body.data()));
        order.push_back(label);
    }
    const std::vector<std::string> expected = {
        "IHDR",         "tEXt:Title",    "tEXt:Author", "PLTE",       "IDAT", "tIME",
        "tEXt:Comment", "zTXt:Long key", "tEXt:Exact",  "tEXt:exact", "IEND"};
    EXPECT_EQ(order, expected);
    for (const auto& [type, body] : ChunksOf(png)) {
        const std::string text(body.begin(), body.end());
        if (text.rfind("Comment", 0) == 0) {
            EXPECT_EQ(text, std::string("Comment\0after\nthe\ndata", 22));
        }
        if (type == "zTXt") {
            Bytes inflated(1025);
            uLongf n = 1025;
            const std::size_t start = std::string("Long key").size() + 2;
            ASSERT_EQ(
                uncompress(inflated.data(), &n, body.data() + start, uLong(body.size() - start)),
                Z_OK);
            EXPECT_EQ(inflated, Bytes(1025, 'z'));
        }
    }
}

TEST(PngEncoder, FailsWithoutZlibOrPictureAndWritesFiles) {
    MemoryImage dib;
    Bytes out;
    EXPECT_FALSE(cPNGwriter().WritePNG(dib, {}, out)) << "no picture";
    Paint(dib, 3, 3, false, Photo);
    EXPECT_FALSE(cPNGwriter(kNoZlib).WritePNG(dib, {}, out)) << "no zlib";
    EXPECT_TRUE(out.empty());

    const std::string path = test_support::UniqueTempPath("corvale_encoder_file.png");
    Bytes inMemory;
    ASSERT_TRUE(cPNGwriter().WritePNG(dib, {}, inMemory));
    ASSERT_TRUE(cPNGwriter().WritePNG(dib, path, out));
    EXPECT_EQ(testing::ReadFileBytes(path), inMemory);
    std::remove(path.c_str());
    EXPECT_FALSE(cPNGwriter().WritePNG(dib, ::testing::TempDir() + "no/such/dir/x.png", out));
}

TEST(PngEncoder, WorksWithALibraryThatOnlyHasCompress) {
    const std::string_view fake[] = {CORVALE_FAKE_ZLIB};
    MemoryImage dib;
    Paint(dib, 20, 20, true, Case{Cases()[4]}.paint);
    const Bytes png = Encode(dib, *std::make_unique<cPNGwriter>(fake));
    ExpectSamePicture(Pixels(dib), DecodeOwn(png), "stored-block zlib");
}

} // namespace
} // namespace corvale
