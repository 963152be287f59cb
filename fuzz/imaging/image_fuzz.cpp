// The image core with arbitrary arguments: Render (every engine path reachable here, rotated or
// not, mirrored, scaled, with extreme positions and sizes), the effects, GetDIBbits/SetDIBbits,
// pixels and regions, BMP saving and the PNG encoder, on images up to 4096 pixels wide whose
// size and pixels come from the input. Any step may run with the n-th allocation failing: no
// exception may leave the image core, and a failed copy or save leaves nothing behind.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "codecs/cPNGparser.h"
#include "codecs/cPNGwriter.h"
#include "imaging/c32bppDIB.h"

namespace {

// Allocations still allowed before operator new fails while armed; negative: no limit.
long gBudget = -1;

void* Allocate(std::size_t n) noexcept {
    if (gBudget == 0) return nullptr;
    if (gBudget > 0) --gBudget;
    return std::malloc(n ? n : 1);
}

void Release(void* p) noexcept {
    std::free(p);
}

} // namespace

#include "tests/support/replaced_new.h"

namespace {

// Runs one call of the image core with the input's allocation budget (often unlimited); an
// exception leaving it is a fault.
template <class Call> auto Guarded(FuzzedDataProvider& in, Call call) {
    const long budget = in.ConsumeBool() ? in.ConsumeIntegralInRange<long>(0, 40) : -1;
    gBudget = budget;
    try {
        auto result = call();
        gBudget = -1;
        return result;
    } catch (...) {
        std::abort();
    }
}

using corvale::c32bppDIB;
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// Mostly small numbers, sometimes the edges of the 32-bit range.
std::int32_t Coordinate(FuzzedDataProvider& in, std::int32_t small) {
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return in.PickValueInArray({kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax});
    case 1:
        return in.ConsumeIntegral<std::int32_t>();
    default:
        return in.ConsumeIntegralInRange(-small, small);
    }
}

float Angle(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
        return in.PickValueInArray({0.0f, 90.0f, -90.0f, 180.0f, 360.0f, 30.0f, 1e30f, -1e30f,
                                    std::numeric_limits<float>::infinity(),
                                    std::numeric_limits<float>::quiet_NaN()});
    case 1:
        return in.ConsumeFloatingPoint<float>();
    default:
        return 0.0f;
    }
}

bool MakeImage(FuzzedDataProvider& in, c32bppDIB& dib) {
    const bool wide = in.ConsumeIntegralInRange(0, 7) == 0;
    const auto w = in.ConsumeIntegralInRange<std::int32_t>(1, wide ? 4096 : 48);
    const auto h = in.ConsumeIntegralInRange<std::int32_t>(1, wide ? 8 : 48);
    if (!dib.InitializeDIB(w, h)) return false;
    const std::vector<std::uint8_t> pixels = in.ConsumeBytes<std::uint8_t>(std::size_t(w) * h * 4);
    dib.SetDIBbits(pixels, {}, {0, 0, w, std::int32_t(pixels.size() / 4 / std::size_t(w))});
    dib.SetAlpha(in.ConsumeBool());
    return true;
}

// The premultiplied invariant: no colour byte above its alpha.
void CheckPremultiplied(const c32bppDIB& dib) {
    const std::uint8_t* p = dib.BitsPointer();
    if (!p) return;
    const std::size_t n = std::size_t(dib.Width()) * std::size_t(dib.Height());
    for (std::size_t i = 0; i < n; ++i, p += 4)
        if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    c32bppDIB image(corvale::kCapGdiplusBarred), canvas(corvale::kCapGdiplusBarred);
    if (!MakeImage(in, image) || !MakeImage(in, canvas)) return 0;

    for (int step = 0; step < 8 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange(0, 11)) {
        case 0: {
            const float angle = Angle(in);
            // A rotated drawing works on the part of its turned square that can be seen on the
            // canvas, so any size goes.
            auto size = [&] { return Coordinate(in, 5000); };
            const std::int32_t dx = Coordinate(in, 100), dy = Coordinate(in, 100);
            const std::int32_t dw = size(), dh = size();
            const std::int32_t sx = Coordinate(in, 60), sy = Coordinate(in, 60);
            const std::int32_t sw = Coordinate(in, 60), sh = Coordinate(in, 60);
            const auto opacity = in.ConsumeIntegralInRange<std::int32_t>(-250, 250);
            const auto gray = in.ConsumeIntegralInRange<std::int32_t>(-2, 9);
            const float light = in.ConsumeFloatingPointInRange<float>(-150.0f, 150.0f);
            image.HighQualityInterpolation(in.ConsumeBool());
            c32bppDIB* target = in.ConsumeBool() ? &canvas : &image;
            const bool centred = in.ConsumeBool();
            Guarded(in, [&] {
                return image.Render(0, dx, dy, dw, dh, sx, sy, sw, sh, opacity, true, true, target,
                                    gray, light, angle, centred);
            });
            CheckPremultiplied(*target);
            break;
        }
        case 1:
            image.MakeImageInverse();
            break;
        case 2:
            image.MakeTransparent(in.ConsumeIntegral<std::int32_t>(), in.ConsumeBool());
            break;
        case 3:
            image.MirrorImage(in.ConsumeBool(), in.ConsumeBool());
            break;
        case 4: {
            c32bppDIB shadow(corvale::kCapGdiplusBarred);
            const auto depth = in.ConsumeIntegralInRange(-5, 40);
            const auto colour = in.ConsumeIntegral<std::int32_t>();
            if (!Guarded(in, [&] { return image.CreateDropShadow(depth, colour, shadow); }) &&
                shadow.BitsPointer())
                std::abort();
            CheckPremultiplied(shadow);
            const std::int32_t x = Coordinate(in, 50), y = Coordinate(in, 50);
            const auto blur = in.ConsumeIntegralInRange(-5, 20);
            const auto shade = in.ConsumeIntegral<std::int32_t>();
            const auto opacity = in.ConsumeIntegralInRange(-10, 110);
            Guarded(in, [&] {
                return image.RenderDropShadow_JIT(0, x, y, blur, shade, opacity, &canvas);
            });
            break;
        }
        case 5:
            canvas.CreateCheckerBoard(Coordinate(in, 20), in.ConsumeIntegral<std::int32_t>(),
                                      in.ConsumeIntegral<std::int32_t>());
            break;
        case 6: {
            std::vector<std::uint8_t> out;
            corvale::DibBitsLayout layout{in.ConsumeBool(), in.ConsumeBool(), in.ConsumeBool(),
                                          in.ConsumeBool(), in.ConsumeBool()};
            corvale::DibRegion region{Coordinate(in, 60), Coordinate(in, 60), Coordinate(in, 60),
                                      Coordinate(in, 60)};
            corvale::DibBitsShape shape;
            if (image.GetDIBbits(out, layout, region, in.ConsumeBool(), &shape) &&
                out.size() != std::size_t(shape.rowBytes) * std::size_t(shape.height))
                std::abort();
            const std::vector<std::uint8_t> bytes =
                in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 20000));
            corvale::DibRegion destination{Coordinate(in, 60), Coordinate(in, 60),
                                           Coordinate(in, 60), Coordinate(in, 60)};
            image.SetDIBbits(bytes, layout, destination);
            CheckPremultiplied(image);
            break;
        }
        case 7: {
            const auto style = in.ConsumeIntegralInRange(-1, 3);
            const std::int32_t x = Coordinate(in, 100), y = Coordinate(in, 100);
            const auto rects = Guarded(in, [&] { return image.CreateRegionRects(style, x, y); });
            for (const auto& r : rects)
                if (r.right <= r.left || r.bottom <= r.top) std::abort();
            break;
        }
        case 8:
            image.GetPixel(Coordinate(in, 60), Coordinate(in, 60), nullptr, in.ConsumeBool());
            break;
        case 9: {
            c32bppDIB copy(corvale::kCapGdiplusBarred);
            const auto w = in.ConsumeIntegralInRange(-2, 200),
                       h = in.ConsumeIntegralInRange(-2, 200);
            const bool keepFormat = in.ConsumeBool();
            if (!Guarded(in, [&] { return image.CopyImageTo(copy, w, h, keepFormat); }) &&
                copy.BitsPointer())
                std::abort();
            CheckPremultiplied(copy);
            break;
        }
        case 10: { // BMP saving: what is saved loads back at the same size
            std::vector<std::uint8_t> bmp;
            if (!Guarded(in, [&] { return image.SaveToStream(bmp); })) {
                if (!bmp.empty()) std::abort();
                break;
            }
            c32bppDIB back(corvale::kCapGdiplusBarred);
            if (!back.LoadPicture_Stream(bmp) || back.Width() != image.Width() ||
                back.Height() != image.Height())
                std::abort();
            break;
        }
        case 11: { // the encoder: what it writes decodes at the same size
            std::vector<std::uint8_t> png;
            corvale::cPNGwriter writer;
            writer.SetFilter(in.ConsumeIntegralInRange(0, 6));
            if (!Guarded(in, [&] { return writer.WritePNG(image, {}, png); })) break;
            c32bppDIB back(corvale::kCapGdiplusBarred);
            if (!corvale::DecodePngStream(back, png, {}) || back.Width() != image.Width() ||
                back.Height() != image.Height())
                std::abort();
            break;
        }
        }
    }
    return 0;
}
