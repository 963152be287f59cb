#include "codecs/modParsers.h"

#include "imaging/c32bppDIB.h"
#include "test_images.h"

#include "tests/support/temp_path.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace corvale {
namespace {

TEST(RowArithmetic, RowBytesPadsToFourBytes) {
    EXPECT_EQ(RowBytes(33, 1), 8);
    EXPECT_EQ(RowBytes(3, 24), 12);
    EXPECT_EQ(RowBytes(1, 32), 4);
    EXPECT_EQ(RowBytes(0, 8), 0);
    EXPECT_EQ(RowBytes(-5, 8), 0);
    // Widths beyond 255 are not cut to a byte.
    EXPECT_EQ(RowBytes(300, 24), 900);
    EXPECT_EQ(RowBytes(0x7FFFFFFF, 32), 0x7FFFFFFFll * 4);
}

TEST(ByteOrder, SwapLongAndAddToAddress) {
    EXPECT_EQ(SwapLong(0x11223344u), 0x44332211u);
    EXPECT_EQ(SwapLong(SwapLong(0xDEADBEEFu)), 0xDEADBEEFu);
    EXPECT_EQ(AddToAddress(100, -30), 70u);
    EXPECT_EQ(AddToAddress(UINTPTR_MAX, 2), 1u); // wraps, never traps
}

std::vector<std::uint8_t> Pixels(std::initializer_list<std::array<std::uint8_t, 4>> list) {
    std::vector<std::uint8_t> v;
    for (const auto& p : list) v.insert(v.end(), p.begin(), p.end());
    return v;
}

// ExamineAlpha over the pixels (fixing them when `fix`) must find `has` and `type`; its answer
// starts as the opposite of `has`, so a call that leaves it alone fails.
void ExpectExamined(std::vector<std::uint8_t>& px, bool fix, bool has, std::int32_t type) {
    bool found = !has;
    std::int32_t foundType = 0;
    ExamineAlpha(px, fix, found, foundType);
    EXPECT_EQ(found, has);
    EXPECT_EQ(foundType, type);
}

TEST(AlphaExamination, NoUsableAlpha) {
    auto zeros = Pixels({{1, 2, 3, 0}, {0, 0, 0, 0}});
    ExpectExamined(zeros, true, false, 1);
    EXPECT_EQ(zeros, Pixels({{1, 2, 3, 255}, {0, 0, 0, 255}})); // fixed: opaque
    auto opaque = Pixels({{1, 2, 3, 255}, {9, 9, 9, 255}});
    ExpectExamined(opaque, false, false, 1);
    bool has = true;
    std::int32_t type = -1; // skipped
    auto mixed = Pixels({{1, 2, 3, 128}});
    ExamineAlpha(mixed, true, has, type);
    EXPECT_FALSE(has);
    EXPECT_EQ(type, -1);
    EXPECT_EQ(mixed, Pixels({{1, 2, 3, 128}}));
}

TEST(AlphaExamination, PremultipliedIsLeftAlone) {
    auto px = Pixels({{0, 0, 0, 0}, {10, 20, 30, 128}, {5, 5, 5, 255}});
    const auto before = px;
    ExpectExamined(px, true, true, 7);
    EXPECT_EQ(px, before);
}

TEST(AlphaExamination, StraightAlphaIsPremultipliedWhenFixing) {
    // Stored B, G, R = 50, 100, 200 with alpha 128: colour bytes above alpha -> straight.
    auto px = Pixels({{50, 100, 200, 128}, {7, 7, 7, 0}, {1, 2, 3, 255}});
    ExpectExamined(px, true, true, 6);
    EXPECT_EQ(px, Pixels({{25, 50, 100, 128}, {0, 0, 0, 0}, {1, 2, 3, 255}}));
}

TEST(AlphaExamination, HiddenColourThenOpaqueMeansStraight) {
    auto px = Pixels({{9, 0, 0, 0}, {1, 1, 1, 255}});
    ExpectExamined(px, false, true, 6);
    // Also through the image object.
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.InitializeDIB(2, 1));
    std::copy(px.begin(), px.end(), dib.BitsPointer());
    bool has = false;
    std::int32_t type = 0;
    ExamineAlpha(dib, true, has, type);
    EXPECT_EQ(type, 6);
    EXPECT_EQ(dib.BitsPointer()[0], 0); // the hidden colour is cleared
}

TEST(GrayWeightTable, KnownAndUnknownFormulas) {
    const auto none = GrayWeights(-1);
    EXPECT_EQ(none.red, 1.0f);
    const auto ntsc = GrayWeights(0);
    EXPECT_FLOAT_EQ(ntsc.red, 0.299f);
    EXPECT_FLOAT_EQ(ntsc.green, 0.587f);
    EXPECT_FLOAT_EQ(ntsc.blue, 0.114f);
    EXPECT_FLOAT_EQ(GrayWeights(99).green, 0.587f);
    EXPECT_FLOAT_EQ(GrayWeights(7).blue, 0.45f);
    EXPECT_FLOAT_EQ(GrayWeights(1).green, 0.715f);
}

TEST(Files, WriteReadReplaceAndDelete) {
    const std::string path = test_support::UniqueTempPath("corvale_modparsers_file.bin");
    {
        FileHandle f = OpenFileForWrite(path, false, true);
        ASSERT_TRUE(f.valid());
        const std::vector<std::uint8_t> data{1, 2, 3, 4, 5};
        ASSERT_TRUE(f.Write(data));
    }
    {
        FileHandle f = OpenFileForWrite(path, false, false); // replaces the file
        ASSERT_TRUE(f.valid());
        const std::vector<std::uint8_t> data{9, 8};
        ASSERT_TRUE(f.Write(data));
    }
    {
        FileHandle f = OpenFileForWrite(path, true, true);
        ASSERT_TRUE(f.valid());
        EXPECT_EQ(f.Size(), 2u);
        std::vector<std::uint8_t> back;
        ASSERT_TRUE(f.ReadAll(back));
        EXPECT_EQ(back, (std::vector<std::uint8_t>{9, 8}));
    }
    EXPECT_TRUE(DeleteFileSafe(path, true));
    EXPECT_FALSE(OpenFileForWrite(path, true, true).valid()); // reading needs an existing file
    EXPECT_FALSE(DeleteFileSafe(path, true));
}

TEST(Libraries, HasExport) {
#ifdef _WIN32
    EXPECT_TRUE(HasExport("kernel32.dll", "GetProcAddress"));
    EXPECT_FALSE(HasExport("kernel32.dll", "NoSuchExportAnywhere"));
#else
    EXPECT_TRUE(HasExport("libc.so.6", "malloc"));
    EXPECT_FALSE(HasExport("libc.so.6", "NoSuchExportAnywhere"));
#endif
    EXPECT_FALSE(HasExport("no-such-library-corvale", "malloc"));
}

} // namespace
} // namespace corvale
