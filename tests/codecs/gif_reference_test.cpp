// The GIF decoder against giflib: every pixel of the first frame of files ImageMagick wrote and
// of generated frames, transparency included.
#include <gtest/gtest.h>

#include <gif_lib.h>

#include <cstring>

#include "codecs/cGIFparser.h"
#include "tests/codecs/bmp_ico_gif_support.h"
#include "tests/codecs/memory_image.h"

namespace corvale {
namespace {

using test::Bgra;
using test::PixelAt;

struct MemoryInput {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos = 0;
};

int ReadMemory(GifFileType* gif, GifByteType* out, int length) {
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t n =
        std::min<std::size_t>(static_cast<std::size_t>(length), in->bytes->size() - in->pos);
    std::memcpy(out, in->bytes->data() + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

// The first frame as giflib sees it, as the pixels we promise: transparent black for the
// transparent index, else the colour, opaque.
struct Expected {
    int width = 0, height = 0;
    bool transparent = false;
    std::vector<Bgra> pixels;
};

Expected WithGiflib(const std::vector<std::uint8_t>& file) {
    Expected e;
    MemoryInput input{&file};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadMemory, &error);
    if (gif == nullptr) return e;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map =
            frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, 0, &gcb);
        e.width = frame.ImageDesc.Width;
        e.height = frame.ImageDesc.Height;
        e.transparent = gcb.TransparentColor != NO_TRANSPARENT_COLOR;
        for (int i = 0; i < e.width * e.height; ++i) {
            const int index = frame.RasterBits[i];
            if (index == gcb.TransparentColor) {
                e.pixels.push_back({});
            } else if (map != nullptr && index < map->ColorCount) {
                const GifColorType c = map->Colors[index];
                e.pixels.push_back({c.Blue, c.Green, c.Red, 255});
            } else {
                e.pixels.push_back({0, 0, 0, 255});
            }
        }
    }
    DGifCloseFile(gif, &error);
    return e;
}

void ExpectSameAsGiflib(const std::vector<std::uint8_t>& file, const std::string& what) {
    SCOPED_TRACE(what);
    const Expected ref = WithGiflib(file);
    ASSERT_GT(ref.width, 0) << "giflib could not read it";
    MemoryImage dib;
    ASSERT_TRUE(DecodeGifStream(dib, file, {}));
    ASSERT_EQ(dib.Width(), ref.width);
    ASSERT_EQ(dib.Height(), ref.height);
    EXPECT_EQ(dib.Alpha(), ref.transparent);
    int mismatches = 0;
    for (int y = 0; y < ref.height; ++y) {
        for (int x = 0; x < ref.width; ++x) {
            const Bgra want = ref.pixels[static_cast<std::size_t>(y) * ref.width + x];
            if (PixelAt(dib, x, y) != want && ++mismatches < 5) {
                ADD_FAILURE() << x << "," << y << ": ours " << PixelAt(dib, x, y) << " giflib "
                              << want;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(GifReference, ImageMagickFiles) {
    for (const char* name :
         {"plain.gif", "interlaced.gif", "transparent.gif", "comment.gif", "animated.gif"}) {
        ExpectSameAsGiflib(test::ReadFixture(name), name);
    }
}

// A 64 x 48 frame of mixed noise and runs, written by giflib's own encoder with a local
// table, interlaced or not, with or without a transparent index.
std::vector<std::uint8_t> WithGiflibEncoder(bool interlaced, int transparent, int colourBits) {
    const int w = 64, h = 48;
    const int colours = 1 << colourBits;
    std::vector<GifPixelType> raster(static_cast<std::size_t>(w * h));
    std::uint32_t seed = 12345;
    for (int i = 0; i < w * h; ++i) {
        seed = seed * 1103515245u + 12345u;
        raster[static_cast<std::size_t>(i)] = static_cast<GifPixelType>(
            (i / 97) % 3 == 0 ? (seed >> 16) % colours : (i / 13) % colours);
    }
    std::vector<GifColorType> table(static_cast<std::size_t>(colours));
    for (int i = 0; i < colours; ++i) {
        table[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(i * 7),
                                              static_cast<GifByteType>(255 - i),
                                              static_cast<GifByteType>(i * 3)};
    }
    std::vector<std::uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(
        &out,
        [](GifFileType* g, const GifByteType* data, int n) {
            auto* o = static_cast<std::vector<std::uint8_t>*>(g->UserData);
            o->insert(o->end(), data, data + n);
            return n;
        },
        &error);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w + 10, h + 10, colourBits, 0, nullptr);
    if (transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.TransparentColor = transparent;
        GifByteType ext[4];
        const std::size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(n), ext);
    }
    ColorMapObject* map = GifMakeMapObject(colours, table.data());
    EGifPutImageDesc(gif, 5, 5, w, h, interlaced, map);
    const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
    if (interlaced) {
        for (int pass = 0; pass < 4; ++pass) {
            for (int y = starts[pass]; y < h; y += steps[pass]) {
                EGifPutLine(gif, raster.data() + y * w, w);
            }
        }
    } else {
        EGifPutLine(gif, raster.data(), w * h);
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return out;
}

TEST(GifReference, GiflibEncodedFrames) {
    for (int bits : {1, 3, 8}) {
        for (bool interlaced : {false, true}) {
            for (int transparent : {-1, 1}) {
                ExpectSameAsGiflib(WithGiflibEncoder(interlaced, transparent, bits),
                                   "bits " + std::to_string(bits) + " interlaced " +
                                       std::to_string(interlaced) + " transparent " +
                                       std::to_string(transparent));
            }
        }
    }
}

} // namespace
} // namespace corvale
