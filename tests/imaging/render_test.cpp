#include "imaging/c32bppDIB.h"

#include "imaging/render_engine.h"
#include "test_images.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvale {
namespace {

using namespace testing;

// Draws src into a fresh opaque-grey destination of the given size and returns it.
struct Canvas {
    c32bppDIB dib{kOwn};
    Canvas(int w, int h, Bgra fill = {100, 100, 100, 255}) {
        dib.InitializeDIB(w, h);
        Fill(dib, fill);
    }
};

TEST(RenderArguments, OpacityIsTakenModulo100) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakeImage(src, 1, 1, {{0, 0, {200, 0, 0, 255}}}));
    for (int opacity : {100, 200}) {
        Canvas c(1, 1);
        ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, opacity, true, true, &c.dib));
        EXPECT_EQ(Px(c.dib, 0, 0), (Bgra{200, 0, 0, 255})) << opacity;
    }
    Canvas half(1, 1);
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 150, true, true, &half.dib));
    // O = 50 * 255 / 100 = 127; k = 255 - 255 * 127 / 255 = 128; (100*128 + 200*127) / 255
    EXPECT_EQ(Px(half.dib, 0, 0), (Bgra{149, 50, 50, 255}));
}

TEST(RenderArguments, NothingToDrawOrNowhereToDraw) {
    c32bppDIB src(kOwn);
    Canvas c(2, 2);
    EXPECT_FALSE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, true, true, &c.dib)); // no image
    ASSERT_TRUE(MakeImage(src, 1, 1, {{0, 0, {1, 2, 3, 255}}}));
    EXPECT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, true, true, &c.dib));
    EXPECT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, -40, true, true, &c.dib));
    EXPECT_EQ(Px(c.dib, 0, 0), (Bgra{100, 100, 100, 255})); // opacity 0 or below draws nothing
    EXPECT_FALSE(src.Render(0, 0, 0));                      // neither DC nor host image
    c32bppDIB empty(kOwn);
    EXPECT_FALSE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &empty));
    EXPECT_FALSE(src.Render(0, 0, 0, 0, 0, 5, 0, 0, 0, 100, true, true, &c.dib)); // SrcX past edge
}

TEST(RenderArguments, CoordinatesBeyond32BitsFailInsteadOfWrapping) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(src.InitializeDIB(2, 2));
    Fill(src, {9, 9, 9, 255});
    Canvas c(2, 2);
    const auto big = std::numeric_limits<std::int32_t>::max();
    EXPECT_FALSE(src.Render(0, big - 1, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib));
    EXPECT_FALSE(src.Render(0, 0, std::numeric_limits<std::int32_t>::min() + 1, 0, -5, 0, 0, 0, 0,
                            100, true, true, &c.dib));
    EXPECT_FALSE(src.Render(0, std::numeric_limits<std::int32_t>::min(), 0, 10, 10, 0, 0, 0, 0, 100,
                            true, true, &c.dib, -1, 0, 0, true));
    EXPECT_EQ(Px(c.dib, 0, 0), (Bgra{100, 100, 100, 255}));
}

TEST(RenderBlend, TransparentSourceNeverChangesDestinationAndPartialAlphaFollowsFormula) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakeImage(src, 2, 1, {{0, 0, {0, 0, 0, 0}}, {1, 0, {60, 40, 20, 128}}}));
    Canvas c(2, 1, {10, 20, 30, 40});
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib));
    EXPECT_EQ(Px(c.dib, 0, 0), (Bgra{10, 20, 30, 40}));
    // d * (255 - 128) / 255 + s
    EXPECT_EQ(Px(c.dib, 1, 0), (Bgra{10 * 127 / 255 + 60, 20 * 127 / 255 + 40, 30 * 127 / 255 + 20,
                                     40 * 127 / 255 + 128}));
}

TEST(RenderBlend, GrayScaleFormulas) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakeImage(src, 1, 1, {{0, 0, {50, 100, 200, 255}}})); // B G R
    auto grayOf = [&](int code) {
        Canvas c(1, 1);
        src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib, code);
        return Px(c.dib, 0, 0);
    };
    // NTSC: 200*.299 + 100*.587 + 50*.114 = 124.2 -> 124; code 9 is unlisted, so NTSC too.
    EXPECT_EQ(grayOf(0), (Bgra{124, 124, 124, 255}));
    EXPECT_EQ(grayOf(9), (Bgra{124, 124, 124, 255}));
    // BT.709: 42.6 + 71.5 + 3.6 = 117.7 -> 118
    EXPECT_EQ(grayOf(1), (Bgra{118, 118, 118, 255}));
    EXPECT_EQ(grayOf(-1), (Bgra{50, 100, 200, 255}));
}

TEST(RenderBlend, LightnessAdjustment) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakeImage(src, 2, 1, {{0, 0, {50, 100, 200, 255}}, {1, 0, {10, 20, 100, 128}}}));
    auto draw = [&](float light) {
        Canvas c(2, 1, {0, 0, 0, 0});
        src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib, -1, light);
        return std::pair{Px(c.dib, 0, 0), Px(c.dib, 1, 0)};
    };
    // L = 127.5: opaque m = round(127.5*255)/255 = 127; half-alpha m = round(127.5*128)/255 = 64.
    auto [opaque, half] = draw(50);
    EXPECT_EQ(opaque, (Bgra{177, 227, 255, 255}));
    EXPECT_EQ(half, (Bgra{74, 84, 128, 128})); // clamped to the alpha
    auto [dark, darkHalf] = draw(-50);
    EXPECT_EQ(dark, (Bgra{0, 0, 73, 255}));
    EXPECT_EQ(darkHalf, (Bgra{0, 0, 36, 128}));
    auto [same, sameHalf] = draw(150); // out of range: no change
    EXPECT_EQ(same, (Bgra{50, 100, 200, 255}));
    EXPECT_EQ(sameHalf, (Bgra{10, 20, 100, 128}));
}

TEST(RenderGeometry, NegativeSourceWidthMirrorsAtTheSameSize) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 3, 2));
    Canvas c(5, 3);
    ASSERT_TRUE(src.Render(0, 1, 1, 0, 0, 0, 0, -3, 0, 100, true, true, &c.dib));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(c.dib, 1 + x, 1 + y), Px(src, 2 - x, y));
    EXPECT_EQ(Px(c.dib, 0, 1), (Bgra{100, 100, 100, 255}));
    EXPECT_EQ(Px(c.dib, 4, 1), (Bgra{100, 100, 100, 255}));
    // Negative srcHeight flips vertically.
    Canvas v(3, 2);
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, -2, 100, true, true, &v.dib));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(v.dib, x, 0), Px(src, x, 1));
}

TEST(RenderGeometry, SourceRectangleIsCutAtTheImageEdgeAndDestinationClipped) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 4, 2));
    Canvas c(4, 2);
    // srcWidth 10 from x 2 is cut to 2 columns; destination size 0 takes the image's width, but
    // the drawing is then scaled from 2 to 4 columns.
    ASSERT_TRUE(src.Render(0, 0, 0, 2, 2, 2, 0, 10, 2, 100, true, true, &c.dib));
    EXPECT_EQ(Px(c.dib, 0, 0), Px(src, 2, 0));
    EXPECT_EQ(Px(c.dib, 1, 1), Px(src, 3, 1));
    EXPECT_EQ(Px(c.dib, 2, 0), (Bgra{100, 100, 100, 255}));
    // Partly outside the destination on the left and top.
    Canvas d(3, 3);
    ASSERT_TRUE(src.Render(0, -2, -1, 0, 0, 0, 0, 0, 0, 100, true, true, &d.dib));
    EXPECT_EQ(Px(d.dib, 0, 0), Px(src, 2, 1));
    EXPECT_EQ(Px(d.dib, 1, 0), Px(src, 3, 1));
    EXPECT_EQ(Px(d.dib, 2, 0), (Bgra{100, 100, 100, 255}));
}

TEST(RenderGeometry, CenterOnDestXY) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(src.InitializeDIB(2, 2));
    Fill(src, {1, 2, 3, 255});
    Canvas c(6, 6, {0, 0, 0, 0});
    ASSERT_TRUE(src.Render(0, 3, 3, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib, -1, 0, 0, true));
    EXPECT_EQ(Px(c.dib, 2, 2)[3], 255);
    EXPECT_EQ(Px(c.dib, 3, 3)[3], 255);
    EXPECT_EQ(Px(c.dib, 1, 1)[3], 0);
    EXPECT_EQ(Px(c.dib, 4, 4)[3], 0);
}

TEST(RenderScale, NearestDuplicatesPixels) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 2, 2));
    Canvas c(4, 4);
    ASSERT_TRUE(src.Render(0, 0, 0, 4, 4, 0, 0, 0, 0, 100, true, true, &c.dib));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(c.dib, x, y), Px(src, x / 2, y / 2));
    // Down-scaling picks every other pixel.
    c32bppDIB big(kOwn);
    ASSERT_TRUE(MakePattern(big, 6, 2));
    Canvas small(3, 1);
    ASSERT_TRUE(big.Render(0, 0, 0, 3, 1, 0, 0, 0, 0, 100, true, true, &small.dib));
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(small.dib, x, 0), Px(big, x * 2, 0));
}

// Draws src with bilinear sampling, scaled to the whole canvas.
bool DrawBilinear(c32bppDIB& src, Canvas& c) {
    src.HighQualityInterpolation(true);
    return src.Render(0, 0, 0, c.dib.Width(), c.dib.Height(), 0, 0, 0, 0, 100, true, true, &c.dib);
}

TEST(RenderScale, BilinearWeightsAndEdgeClamp) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakeImage(src, 2, 1, {{0, 0, {0, 0, 0, 255}}, {1, 0, {200, 100, 40, 255}}}));
    Canvas c(4, 1, {0, 0, 0, 0});
    ASSERT_TRUE(DrawBilinear(src, c));
    // Columns sample at 0, 0.5, 1, 1.5 (the last clamps to the edge pixel).
    EXPECT_EQ(Px(c.dib, 0, 0), (Bgra{0, 0, 0, 255}));
    EXPECT_EQ(Px(c.dib, 1, 0), (Bgra{100, 50, 20, 255}));
    EXPECT_EQ(Px(c.dib, 2, 0), (Bgra{200, 100, 40, 255}));
    EXPECT_EQ(Px(c.dib, 3, 0), (Bgra{200, 100, 40, 255}));
}

TEST(RenderScale, ScaledPremultipliedPixelsStayValid) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakeImage(src, 3, 3, {{1, 1, {90, 60, 30, 90}}, {0, 0, {255, 255, 255, 255}}}));
    Canvas c(7, 7, {0, 0, 0, 0});
    ASSERT_TRUE(DrawBilinear(src, c));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x) {
            const Bgra p = Px(c.dib, x, y);
            EXPECT_LE(p[0], p[3]);
            EXPECT_LE(p[1], p[3]);
            EXPECT_LE(p[2], p[3]);
        }
}

// ---- rotation ---------------------------------------------------------------------------------

float lastAngle = -1;
int gdiplusDraws = 0;
bool AlwaysStarts() {
    return true;
}
bool RecordDraw(const c32bppDIB&, const GdiplusDrawArgs& args) {
    lastAngle = args.angle;
    ++gdiplusDraws;
    return true;
}
const GdiplusEngine kRecordingGdiplus{.startsOnThisSystem = AlwaysStarts, .draw = RecordDraw};
const ImagingServices kRecording{.gdiplus = &kRecordingGdiplus};

TEST(RenderRotation, WholeTurnsTakeTheUnrotatedPathFractionsTheRotatedOne) {
    c32bppDIB src(0, kRecording);
    ASSERT_TRUE(src.isGDIplusEnabled());
    ASSERT_TRUE(src.InitializeDIB(2, 2));
    Canvas c(2, 2);
    for (float angle : {360.0f, 720.0f, -360.0f}) {
        lastAngle = -1;
        ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib, -1, 0, angle));
        EXPECT_EQ(lastAngle, 0.0f) << angle;
    }
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &c.dib, -1, 0, 0.5f));
    EXPECT_EQ(lastAngle, 0.5f);
}

TEST(RenderRotation, OwnEngineRoundsToWholeDegrees) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 4, 3));
    Canvas straight(8, 8), halfDegree(8, 8);
    ASSERT_TRUE(src.Render(0, 2, 2, 0, 0, 0, 0, 0, 0, 100, true, true, &straight.dib));
    ASSERT_TRUE(
        src.Render(0, 2, 2, 0, 0, 0, 0, 0, 0, 100, true, true, &halfDegree.dib, -1, 0, 0.5f));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(Px(halfDegree.dib, x, y), Px(straight.dib, x, y)) << x << "," << y;
}

TEST(RenderRotation, QuarterTurnIsClockwiseAndHalfTurnMatchesDoubleMirror) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 4, 4));
    Canvas turned(4, 4);
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &turned.dib, -1, 0, 90));
    // Clockwise: the top-left pixel goes to the top-right corner, the top row to the right column.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Px(turned.dib, 3, i), Px(src, i, 0)) << i;
    Canvas half(4, 4);
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &half.dib, -1, 0, 180));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(half.dib, x, y), Px(src, 3 - x, 3 - y));
}

TEST(RenderRotation, HugeAnglesTurnByTheirRemainderOf360) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 4, 3));
    // 2^31 is 128 degrees past a whole number of turns; 1e19f is 312 past, -3e12f is -88.
    const std::pair<float, float> cases[] = {
        {2147483648.0f, 128.0f}, {1e19f, 312.0f}, {-3e12f, -88.0f}, {-2147483648.0f, -128.0f}};
    for (const auto& [huge, reduced] : cases) {
        Canvas a(12, 12), b(12, 12);
        ASSERT_TRUE(src.Render(0, 2, 2, 8, 6, 0, 0, 0, 0, 100, true, true, &a.dib, -1, 0, huge));
        ASSERT_TRUE(src.Render(0, 2, 2, 8, 6, 0, 0, 0, 0, 100, true, true, &b.dib, -1, 0, reduced));
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(Px(a.dib, x, y), Px(b.dib, x, y)) << huge << " at " << x << "," << y;
    }
}

TEST(RenderRotation, OnlyTheVisiblePartIsWorkedOnWithTheSamePixels) {
    c32bppDIB src(kOwn);
    ASSERT_TRUE(MakePattern(src, 5, 4));
    for (bool hq : {false, true}) {
        src.HighQualityInterpolation(hq);
        // The whole rotated drawing fits the large canvas; the small one sees a window of it
        // cut on all four sides (its origin is (8, 7) of the large one).
        Canvas whole(40, 40), window(12, 10);
        ASSERT_TRUE(
            src.Render(0, 10, 9, 21, 17, 0, 0, 0, 0, 70, true, true, &whole.dib, -1, 0, 30.0f));
        ASSERT_TRUE(
            src.Render(0, 2, 2, 21, 17, 0, 0, 0, 0, 70, true, true, &window.dib, -1, 0, 30.0f));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(Px(window.dib, x, y), Px(whole.dib, x + 8, y + 7)) << hq << x << "," << y;
    }
    // A destination far larger than anything that could be allocated whole still draws what
    // can be seen (0.5 degrees: turned by 0, so the top-left source pixel fills the window).
    c32bppDIB tiny(kOwn);
    ASSERT_TRUE(MakePattern(tiny, 2, 2));
    Canvas small(10, 10);
    ASSERT_TRUE(
        tiny.Render(0, 0, 0, 24000, 24000, 0, 0, 0, 0, 100, true, true, &small.dib, -1, 0, 0.5f));
    EXPECT_EQ(Px(small.dib, 5, 5), Px(tiny, 0, 0));
    // Wholly outside the canvas: nothing to draw, and that is no failure.
    EXPECT_TRUE(
        tiny.Render(0, 50, 50, 20, 20, 0, 0, 0, 0, 100, true, true, &small.dib, -1, 0, 30.0f));
}

// ---- engine pieces ----------------------------------------------------------------------------

TEST(RenderEngine, ScaleCopyWritesOnlyTheRequestedPart) {
    PixelPlane src;
    ASSERT_TRUE(src.Allocate(2, 2));
    for (int i = 0; i < 4; ++i) src.bytes[std::size_t(i) * 4] = std::uint8_t(10 * (i + 1));
    PixelPlane part;
    ASSERT_TRUE(part.Allocate(2, 1));
    ASSERT_TRUE(ScaleCopy(src.View(), {4, 4, 2, 3, false}, part)); // row 3, columns 2 and 3
    EXPECT_EQ(part.bytes[0], 40);
    EXPECT_EQ(part.bytes[4], 40);
    PixelPlane none;
    EXPECT_FALSE(ScaleCopy(src.View(), {0, 4, 0, 0, false}, none));
    EXPECT_FALSE(none.Allocate(0, 3));
    EXPECT_FALSE(none.Allocate(70000, 70000));
}

} // namespace
} // namespace corvale
