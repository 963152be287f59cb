// The bitmap decoder against stb_image on files that ImageMagick wrote: every pixel of every
// depth and header kind. Run-length files are checked against the uncompressed twin.
#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <memory>

#include "codecs/cBMPparser.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/memory_image.h"

namespace corvale {
namespace {

using test::PixelAt;

struct StbImage {
    int width = 0, height = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> rgba{nullptr, stbi_image_free};
};

StbImage ReadWithStb(const std::vector<std::uint8_t>& file) {
    StbImage img;
    int channels = 0;
    img.rgba.reset(stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &img.width,
                                         &img.height, &channels, 4));
    return img;
}

// Every pixel's colour equals the reference's, and is opaque.
void ExpectSameColours(const std::string& name, const std::string& referenceName) {
    SCOPED_TRACE(name);
    const auto file = test::ReadFixture(name);
    const StbImage ref = ReadWithStb(test::ReadFixture(referenceName));
    ASSERT_NE(ref.rgba, nullptr) << stbi_failure_reason();
    MemoryImage dib;
    ASSERT_TRUE(DecodeBmpStream(dib, file, {}));
    ASSERT_EQ(dib.Width(), ref.width);
    ASSERT_EQ(dib.Height(), ref.height);
    EXPECT_FALSE(dib.Alpha());
    EXPECT_EQ(dib.ImageType(), 1);
    int mismatches = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const stbi_uc* r = ref.rgba.get() + (static_cast<std::size_t>(y) * ref.width + x) * 4;
            const test::Bgra ours = PixelAt(dib, x, y);
            if (ours != test::Bgra{r[2], r[1], r[0], 255} && ++mismatches < 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " ours " << ours << " reference r"
                              << int(r[0]) << " g" << int(r[1]) << " b" << int(r[2]);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(BmpReference, PalettedFiles) {
    ExpectSameColours("pal1.bmp", "pal1.bmp");
    ExpectSameColours("pal4.bmp", "pal4.bmp");
    ExpectSameColours("pal8.bmp", "pal8.bmp");
}

TEST(BmpReference, RunLengthFileMatchesItsUncompressedTwin) {
    ExpectSameColours("rle8.bmp", "pal8.bmp");
}

TEST(BmpReference, TrueColourWithEveryHeaderKind) {
    ExpectSameColours("rgb24.bmp", "rgb24.bmp");
    ExpectSameColours("os2.bmp", "os2.bmp");
    ExpectSameColours("v5rgb24.bmp", "v5rgb24.bmp");
}

TEST(BmpReference, BitFields) {
    ExpectSameColours("rgb565.bmp", "rgb565.bmp");
    ExpectSameColours("rgb555.bmp", "rgb555.bmp");
    // 32-bit bit fields with an alpha mask are not the direct path: opaque, colours kept.
    ExpectSameColours("argb32.bmp", "argb32.bmp");
}

} // namespace
} // namespace corvale
