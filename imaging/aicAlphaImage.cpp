#include "imaging/aicAlphaImage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvale {
namespace {

constexpr std::int32_t kMouseTimerMs = 100;
constexpr std::int32_t kMinFadeIntervalMs = 10;
constexpr std::int32_t kCheckerSize = 12;
constexpr std::int32_t kCheckerFirst = 0xFFFFFF;
constexpr std::int32_t kCheckerSecond = 0xC0C0C0;
// Shadows are pre-built for pictures larger than this in either direction.
constexpr std::int32_t kShadowJitLimit = 128;

// Props bits that are stored (the buffer flag is run-time only).
constexpr std::int32_t kStoredPropsMask = ~alpha_props::kBufferInUse;

// ---- the stored keys ---------------------------------------------------------------------------
// Every key the control keeps in its property bag, with the type it is kept as, the value that is
// not stored (the default) and the values it may take. Reading, writing and the setters all go
// through this one table. A value outside the range is ignored (a setter keeps the current value,
// reading takes the default) unless the key clamps it to the nearest bound; keys without a range
// of their own take the range of the type they are kept as, so nothing narrows silently.

enum class StoredType : std::uint8_t { Int32, Int16, Single, Boolean, Bytes };
enum class OutOfRange : std::uint8_t { Ignored, Clamped };

struct StoredKey {
    std::string_view name;
    StoredType type;
    std::int32_t fallback;
    std::int32_t low;
    std::int32_t high;
    OutOfRange outOfRange = OutOfRange::Ignored;
};

constexpr std::int32_t kI32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kI32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kI16Min = std::numeric_limits<std::int16_t>::min();
constexpr std::int32_t kI16Max = std::numeric_limits<std::int16_t>::max();

constexpr StoredKey kStoredKeys[] = {
    {"Image", StoredType::Bytes, 0, 0, 0},
    {"Scaler", StoredType::Int32, 0, 0, 4},
    {"Opacity", StoredType::Int16, 100, 0, 100},
    {"Mirror", StoredType::Int32, 0, 0, 3},
    {"Angle", StoredType::Int32, 0, -359, 359},
    {"GrayScale", StoredType::Int32, -1, -1, 7},
    {"HitTest", StoredType::Int32, 0, 0, 3},
    {"Props", StoredType::Int32, alpha_props::kStretchQuality, kI32Min, kI32Max},
    {"MaskUsed", StoredType::Boolean, 0, 0, 1},
    {"MaskColor", StoredType::Int32, kSystemButtonFace, kI32Min, kI32Max},
    {"MaskSource", StoredType::Int32, 0, 0, 5},
    {"Mask", StoredType::Int32, kSystemButtonFace, kI32Min, kI32Max},
    {"Enabled", StoredType::Boolean, 1, 0, 1},
    {"MIcon", StoredType::Bytes, 0, 0, 0},
    {"MPointer", StoredType::Int16, 0, kI16Min, kI16Max, OutOfRange::Clamped},
    {"OLEdrop", StoredType::Int16, 0, kI16Min, kI16Max, OutOfRange::Clamped},
    {"ScaleCx", StoredType::Int32, 0, 0, kI32Max},
    {"ScaleCy", StoredType::Int32, 0, 0, kI32Max},
    {"ShadowColor", StoredType::Int32, 0x404040, kI32Min, kI32Max},
    {"ShadowDepth", StoredType::Int16, 2, 0, 10},
    {"ShadowX", StoredType::Int16, 2, kI16Min, kI16Max, OutOfRange::Clamped},
    {"ShadowY", StoredType::Int16, 2, kI16Min, kI16Max, OutOfRange::Clamped},
    {"ShadowOpacity", StoredType::Int16, 50, 0, 100},
    {"Intensity", StoredType::Single, 0, -100, 100},
};

constexpr const StoredKey& Key(std::string_view name) {
    for (const StoredKey& key : kStoredKeys)
        if (key.name == name) return key;
    throw "no such stored key"; // only ever evaluated at compile time
}

constexpr bool TableIsSound() {
    for (const StoredKey& key : kStoredKeys) {
        if (key.low > key.high || key.fallback < key.low || key.fallback > key.high) return false;
        if (key.type == StoredType::Int16 && (key.low < kI16Min || key.high > kI16Max))
            return false;
    }
    return true;
}
static_assert(TableIsSound(), "every default lies in its range, every range fits its type");

constexpr const StoredKey& kScalerKey = Key("Scaler");
constexpr const StoredKey& kOpacityKey = Key("Opacity");
constexpr const StoredKey& kMirrorKey = Key("Mirror");
constexpr const StoredKey& kAngleKey = Key("Angle");
constexpr const StoredKey& kGrayScaleKey = Key("GrayScale");
constexpr const StoredKey& kHitTestKey = Key("HitTest");
constexpr const StoredKey& kPropsKey = Key("Props");
constexpr const StoredKey& kMaskUsedKey = Key("MaskUsed");
constexpr const StoredKey& kMaskColorKey = Key("MaskColor");
constexpr const StoredKey& kMaskSourceKey = Key("MaskSource");
constexpr const StoredKey& kMaskKey = Key("Mask");
constexpr const StoredKey& kEnabledKey = Key("Enabled");
constexpr const StoredKey& kMousePointerKey = Key("MPointer");
constexpr const StoredKey& kOleDropKey = Key("OLEdrop");
constexpr const StoredKey& kScaleCxKey = Key("ScaleCx");
constexpr const StoredKey& kScaleCyKey = Key("ScaleCy");
constexpr const StoredKey& kShadowColorKey = Key("ShadowColor");
constexpr const StoredKey& kShadowDepthKey = Key("ShadowDepth");
constexpr const StoredKey& kShadowXKey = Key("ShadowX");
constexpr const StoredKey& kShadowYKey = Key("ShadowY");
constexpr const StoredKey& kShadowOpacityKey = Key("ShadowOpacity");
constexpr const StoredKey& kIntensityKey = Key("Intensity");
// The value as the key keeps it: itself inside the range; outside, the nearest bound when the key
// clamps, else nothing.
constexpr std::optional<std::int32_t> Admit(const StoredKey& key, std::int64_t value) {
    if (value >= key.low && value <= key.high) return static_cast<std::int32_t>(value);
    if (key.outOfRange == OutOfRange::Ignored) return std::nullopt;
    return static_cast<std::int32_t>(value < key.low ? key.low : key.high);
}
static_assert(Admit(kShadowXKey, 40000) == kI16Max && Admit(kShadowXKey, -40000) == kI16Min);
static_assert(!Admit(kShadowDepthKey, 11) && Admit(kShadowDepthKey, 10) == 10);

bool AdmitSingle(const StoredKey& key, float value) {
    return value >= static_cast<float>(key.low) && value <= static_cast<float>(key.high);
}

// The stored value as the key admits it; the default when it is missing or ignored.
std::int32_t ReadKey(const PropertyBag& bag, const StoredKey& key) {
    const auto v = bag.GetInt32(key.name);
    return v ? Admit(key, *v).value_or(key.fallback) : key.fallback;
}

bool ReadFlag(const PropertyBag& bag, const StoredKey& key) {
    return bag.GetBool(key.name).value_or(key.fallback != 0);
}

float ReadSingle(const PropertyBag& bag, const StoredKey& key) {
    const auto v = bag.GetSingle(key.name);
    return v && AdmitSingle(key, *v) ? *v : static_cast<float>(key.fallback);
}

// Stores the value in the key's type; the default is not stored.
void WriteKey(PropertyBag& bag, const StoredKey& key, std::int32_t value) {
    if (value == key.fallback) {
        bag.Remove(key.name);
        return;
    }
    // The setters keep values in range; a bound is still never crossed by the narrowing.
    value = std::clamp(value, key.low, key.high);
    if (key.type == StoredType::Int16)
        bag.Set(key.name, static_cast<std::int16_t>(value));
    else if (key.type == StoredType::Boolean)
        bag.Set(key.name, value != 0);
    else
        bag.Set(key.name, value);
}

void WriteSingle(PropertyBag& bag, const StoredKey& key, float value) {
    if (value == static_cast<float>(key.fallback))
        bag.Remove(key.name);
    else
        bag.Set(key.name, value);
}

std::int32_t NormalOpacity(std::int32_t value) {
    if (value == 0) return 0;
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(value)) % 100;
    return magnitude == 0 ? 100 : static_cast<std::int32_t>(magnitude);
}

std::int32_t InvertColor(std::int32_t color) {
    return color ^ 0xFFFFFF;
}

bool Intersects(std::int32_t l1, std::int32_t t1, std::int32_t r1, std::int32_t b1, std::int32_t l2,
                std::int32_t t2, std::int32_t r2, std::int32_t b2) {
    return l1 < r2 && l2 < r1 && t1 < b2 && t2 < b1;
}

// Whether any pixel of the picture is less than opaque: what "the picture uses alpha" means
// for the mask, whatever flags earlier effects left on the image.
bool AnyPixelTranslucent(const c32bppDIB& image) {
    const std::uint8_t* p = image.BitsPointer();
    if (!p) return false;
    const std::size_t n = std::size_t(image.Width()) * std::size_t(image.Height());
    for (std::size_t i = 0; i < n; ++i)
        if (p[i * 4 + 3] != 255) return true;
    return false;
}

} // namespace

std::int32_t RoundScaledSize(double value) {
    const double r = std::nearbyint(value); // the default rounding mode: nearest, ties to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return r < 0 ? INT32_MIN : INT32_MAX;
    return static_cast<std::int32_t>(r);
}

std::pair<std::int32_t, std::int32_t>
ScaledImageSize(AlphaScaleMethod method, std::int32_t width, std::int32_t height,
                std::int32_t desiredWidth, std::int32_t desiredHeight, std::int32_t customWidth,
                std::int32_t customHeight, bool asRotatedImage) {
    using enum AlphaScaleMethod;
    if (method == Custom) return {customWidth, customHeight};
    if (width <= 0 || height <= 0) return {0, 0};
    const double w = width, h = height, dw = desiredWidth, dh = desiredHeight;
    if (!asRotatedImage) {
        switch (method) {
        case Stretch:
            return {desiredWidth, desiredHeight};
        case ActualSize:
            return {width, height};
        default: {
            double r = std::min(dw / w, dh / h);
            if (method == FitNoEnlarge) r = std::min(r, 1.0);
            return {RoundScaledSize(r * w), RoundScaledSize(r * h)};
        }
        }
    }
    if (method == ActualSize) return {width, height};
    const double d = RoundScaledSize(std::sqrt(w * w + h * h));
    if (method == Stretch) return {RoundScaledSize(dw * w / d), RoundScaledSize(dh * h / d)};
    const double s = std::min(dw, dh);
    const std::int32_t sw = RoundScaledSize(s * w / d), sh = RoundScaledSize(s * h / d);
    if (method == FitNoEnlarge && (sw > width || sh > height)) return {width, height};
    return {sw, sh};
}

// --- construction --------------------------------------------------------------------------------

aicAlphaImage::aicAlphaImage(AlphaImageSite& site)
    : aicAlphaImage(site, SystemCapabilityFlags(), BuiltInServices()) {}

aicAlphaImage::aicAlphaImage(AlphaImageSite& site, std::uint32_t capabilityFlags,
                             const ImagingServices& services)
    : site_(site), image_(capabilityFlags, services), capabilityFlags_(capabilityFlags),
      services_(&services) {
    ReadSettings(PropertyBag{}); // the stored keys' defaults
    image_.HighQualityInterpolation(StretchQuality());
}

aicAlphaImage::~aicAlphaImage() {
    StopFade();
    if (mouseTimerRunning_) site_.StopTimer(MouseTimerId());
    buffer_.reset();
    shadowImage_.reset();
    shape_.clear();
    if (session_) session_->RemoveRef(this);
}

std::intptr_t aicAlphaImage::MouseTimerId() const {
    return static_cast<std::intptr_t>(IdentityOf(this));
}

std::intptr_t aicAlphaImage::FadeTimerId() const {
    return -MouseTimerId();
}

void aicAlphaImage::JoinSession(std::span<aicAlphaImage* const> formControls) {
    std::shared_ptr<cCrossComm> found;
    for (aicAlphaImage* control : formControls)
        if (control && control->session_) {
            found = control->session_;
            break;
        }
    if (!found) {
        found = std::make_shared<cCrossComm>();
        if (image_.isGDIplusEnabled()) found->ManageGDIToken(site_.ContainerWindow());
    }
    if (session_ && session_ != found) session_->RemoveRef(this);
    session_ = std::move(found);
    HandOutToken();
    if (UserMode()) {
        session_->AddRef(this);
    }
}

void aicAlphaImage::HandOutToken() {
    const std::uintptr_t token = session_ ? session_->gdiToken() : cCrossComm::kNoSession;
    image_.gdiToken(token);
    if (buffer_) buffer_->gdiToken(token);
    if (shadowImage_) shadowImage_->gdiToken(token);
}

void aicAlphaImage::Show() {
    if (UserMode() && session_) {
        session_->AddRef(this);
    }
    if (scaledWidth_ == 0) Layout();
}

void aicAlphaImage::Hide() {
    StopFade();
    if (site_.Tag() == "Timer") {
        StopMouseTimer();
        site_.SetTag({});
    }
}

void aicAlphaImage::Resize(std::int32_t widthPx, std::int32_t heightPx) {
    width_ = std::max(0, widthPx);
    height_ = std::max(0, heightPx);
    if (inResize_) return; // the resize that AutoSize itself asked for
    Layout();
}

void aicAlphaImage::Changed(std::string_view name) {
    site_.PropertyChanged(name);
}

std::int32_t aicAlphaImage::TranslatedColor(std::int32_t color) const {
    if ((static_cast<std::uint32_t>(color) & 0x80000000u) == 0) return color & 0xFFFFFF;
#ifdef _WIN32
    return static_cast<std::int32_t>(GetSysColor(color & 0xFF)) & 0xFFFFFF;
#else
    // Without a system palette: the usual button face, else black.
    return (color & 0xFF) == 0x0F ? 0xF0F0F0 : 0;
#endif
}

// --- layout
// ----------------------------------------------------------------------------------------

void aicAlphaImage::GetImageScales(std::int32_t scaleMethod, std::int32_t desiredWidth,
                                   std::int32_t desiredHeight, std::int32_t& width,
                                   std::int32_t& height, bool asRotatedImage) const {
    const AlphaScaleMethod method =
        scaleMethod < 0 ? scaleMethod_
                        : static_cast<AlphaScaleMethod>(std::min<std::int32_t>(scaleMethod, 4));
    if (desiredWidth < 1) desiredWidth = width_;
    if (desiredHeight < 1) desiredHeight = height_;
    const auto size = ScaledImageSize(method, image_.Width(), image_.Height(), desiredWidth,
                                      desiredHeight, scaleCx_, scaleCy_, asRotatedImage);
    width = size.first;
    height = size.second;
}

void aicAlphaImage::Layout() {
    if (!HasImage() && !UserMode() && width_ > 0 && height_ > 0) {
        if (image_.InitializeDIB(width_, height_))
            image_.CreateCheckerBoard(kCheckerSize, kCheckerFirst, kCheckerSecond);
    }
    if (!HasImage()) {
        scaledWidth_ = scaledHeight_ = rotatedSide_ = 0;
        imageLeft_ = imageTop_ = 0;
        partialPaint_ = false;
        buffer_.reset();
        shadowImage_.reset();
        shape_.clear();
        return;
    }
    const bool rotated = RotateEnabled();
    GetImageScales(-1, width_, height_, scaledWidth_, scaledHeight_, rotated);
    if (!rotated) {
        rotatedSide_ = 0;
        imageLeft_ = std::max(0, (width_ - scaledWidth_) / 2);
        imageTop_ = std::max(0, (height_ - scaledHeight_) / 2);
        partialPaint_ = scaledWidth_ == image_.Width() && scaledHeight_ == image_.Height();
    } else {
        const double w = scaledWidth_, h = scaledHeight_;
        rotatedSide_ = RoundScaledSize(std::sqrt(w * w + h * h));
        if (scaleMethod_ == AlphaScaleMethod::Custom) {
            imageLeft_ = std::max(0, (width_ - scaledWidth_) / 2);
            imageTop_ = std::max(0, (height_ - scaledHeight_) / 2);
        } else {
            imageLeft_ = (width_ - rotatedSide_) / 2;
            imageTop_ = (height_ - rotatedSide_) / 2;
        }
        partialPaint_ = false;
    }
    if (AutoSize()) {
        imageLeft_ = imageTop_ = 0;
        const std::int32_t w = rotated ? rotatedSide_ : scaledWidth_;
        const std::int32_t h = rotated ? rotatedSide_ : scaledHeight_;
        if ((w != width_ || h != height_) && w > 0 && h > 0) {
            inResize_ = true;
            site_.ResizeControl(w, h);
            inResize_ = false;
        }
    }
    RebuildDerived();
}

void aicAlphaImage::RebuildDerived() {
    if (props_ & alpha_props::kBufferInUse) {
        RebuildBuffer(); // rebuilds the shape too
    } else {
        buffer_.reset();
        RebuildShape();
    }
    RebuildShadow();
}

bool aicAlphaImage::BuildPlacedImage(c32bppDIB& out) const {
    if (!HasImage() || width_ <= 0 || height_ <= 0) return false;
    out.HighQualityInterpolation(image_.HighQualityInterpolation());
    out.gdiToken(image_.gdiToken());
    if (!out.InitializeDIB(width_, height_)) return false;
    out.SetAlpha(true);
    out.SetImageType(image_type::kAlphaBitmapPremultiplied);
    if (RotateEnabled())
        return image_.Render({.destX = width_ / 2 + offsetX_,
                              .destY = height_ / 2 + offsetY_,
                              .destWidth = scaledWidth_,
                              .destHeight = scaledHeight_,
                              .destHostDIB = &out,
                              .angle = static_cast<float>(rotation_),
                              .centerOnDestXY = true});
    return image_.Render({.destX = imageLeft_ + offsetX_,
                          .destY = imageTop_ + offsetY_,
                          .destWidth = scaledWidth_,
                          .destHeight = scaledHeight_,
                          .destHostDIB = &out});
}

void aicAlphaImage::RebuildBuffer() {
    if (!(props_ & alpha_props::kBufferInUse) || !HasImage()) {
        buffer_.reset();
        RebuildShape();
        return;
    }
    auto buffer = std::make_unique<c32bppDIB>(capabilityFlags_, *services_);
    if (BuildPlacedImage(*buffer))
        buffer_ = std::move(buffer);
    else
        buffer_.reset();
    RebuildShape();
}

void aicAlphaImage::RebuildShape() {
    shape_.clear();
    if (hitTest_ == AlphaHitTest::WholeControl || !HasImage()) return;
    const std::int32_t style = static_cast<std::int32_t>(hitTest_) - 1;
    if (buffer_) {
        shape_ = buffer_->CreateRegionRects(style);
    } else if (!RotateEnabled() && partialPaint_) {
        shape_ = image_.CreateRegionRects(style, imageLeft_ + offsetX_, imageTop_ + offsetY_);
    } else {
        // Scaled or rotated: the shape of the picture as it is drawn.
        c32bppDIB placed(capabilityFlags_, *services_);
        if (BuildPlacedImage(placed)) shape_ = placed.CreateRegionRects(style);
    }
    if (hitTest_ == AlphaHitTest::ShapeBox && !shape_.empty()) {
        // Only the bounding box is kept.
        RegionRect box = shape_.front();
        for (const RegionRect& r : shape_) {
            box.left = std::min(box.left, r.left);
            box.top = std::min(box.top, r.top);
            box.right = std::max(box.right, r.right);
            box.bottom = std::max(box.bottom, r.bottom);
        }
        shape_.assign(1, box);
    }
}

void aicAlphaImage::RebuildShadow() {
    if (!ShadowEnabled() || !HasImage()) {
        shadowImage_.reset();
        return;
    }
    const bool rotated = RotateEnabled();
    const bool scaled = scaledWidth_ != image_.Width() || scaledHeight_ != image_.Height();
    const bool large = image_.Width() > kShadowJitLimit || image_.Height() > kShadowJitLimit;
    if (!rotated && !scaled && !large && !buffer_) {
        shadowImage_.reset(); // drawn on the fly
        return;
    }
    auto shadow = std::make_unique<c32bppDIB>(capabilityFlags_, *services_);
    const std::int32_t color = TranslatedColor(shadowColor_);
    bool ok = false;
    if (buffer_) {
        ok = buffer_->CreateDropShadow(shadowDepth_, color, *shadow);
    } else if (rotated) {
        ok = image_.CreateDropShadow(shadowDepth_, color, *shadow);
    } else {
        c32bppDIB drawn(capabilityFlags_, *services_);
        drawn.HighQualityInterpolation(image_.HighQualityInterpolation());
        if (scaledWidth_ > 0 && scaledHeight_ > 0 &&
            drawn.InitializeDIB(scaledWidth_, scaledHeight_) &&
            image_.Render(
                {.destWidth = scaledWidth_, .destHeight = scaledHeight_, .destHostDIB = &drawn}))
            ok = drawn.CreateDropShadow(shadowDepth_, color, *shadow);
    }
    if (ok) {
        shadow->gdiToken(image_.gdiToken());
        shadowImage_ = std::move(shadow);
    } else {
        shadowImage_.reset();
    }
}

// --- painting and hit testing
// ----------------------------------------------------------------------

void aicAlphaImage::Paint(const AlphaImagePaint& t) {
    if (!HasImage() || width_ <= 0 || height_ <= 0) return;
    std::int32_t cl = t.clipLeft, ct = t.clipTop, cr = t.clipRight, cb = t.clipBottom;
    if (cr <= cl || cb <= ct) {
        cl = 0;
        ct = 0;
        cr = width_;
        cb = height_;
    }
    const bool rotated = RotateEnabled();
    const float angle = rotated ? static_cast<float>(rotation_) : 0.0f;
    const std::int32_t centreX = t.originX + width_ / 2 + offsetX_;
    const std::int32_t centreY = t.originY + height_ / 2 + offsetY_;

    if (buffer_) {
        if (ShadowEnabled() && shadowImage_) {
            const std::int32_t op = shadowOpacity_ * opacity_ / 100;
            if (op > 0)
                shadowImage_->Render({.destinationDC = t.dc,
                                      .destX = t.originX + shadowX_ - shadowDepth_,
                                      .destY = t.originY + shadowY_ - shadowDepth_,
                                      .opacity = op,
                                      .destHostDIB = t.hostImage});
        }
        buffer_->Render({.destinationDC = t.dc,
                         .destX = t.originX,
                         .destY = t.originY,
                         .opacity = opacity_,
                         .destHostDIB = t.hostImage,
                         .grayScale = grayScale_,
                         .lightAdjustment = intensity_});
        return;
    }

    std::int32_t il, it, iw, ih;
    if (rotated) {
        il = imageLeft_;
        it = imageTop_;
        iw = ih = rotatedSide_;
    } else {
        il = imageLeft_ + offsetX_;
        it = imageTop_ + offsetY_;
        iw = scaledWidth_;
        ih = scaledHeight_;
    }
    if (iw <= 0 || ih <= 0 || !Intersects(il, it, il + iw, it + ih, cl, ct, cr, cb)) return;

    if (ShadowEnabled()) {
        const std::int32_t op = shadowOpacity_ * opacity_ / 100;
        if (op > 0) {
            if (!shadowImage_) {
                image_.RenderDropShadow_JIT(t.dc, t.originX + il + shadowX_ - shadowDepth_,
                                            t.originY + it + shadowY_ - shadowDepth_, shadowDepth_,
                                            TranslatedColor(shadowColor_), op, t.hostImage);
            } else if (rotated) {
                shadowImage_->Render({.destinationDC = t.dc,
                                      .destX = centreX + shadowX_,
                                      .destY = centreY + shadowY_,
                                      .destWidth = scaledWidth_ + 2 * shadowDepth_,
                                      .destHeight = scaledHeight_ + 2 * shadowDepth_,
                                      .opacity = op,
                                      .destHostDIB = t.hostImage,
                                      .angle = angle,
                                      .centerOnDestXY = true});
            } else {
                shadowImage_->Render({.destinationDC = t.dc,
                                      .destX = t.originX + il + shadowX_ - shadowDepth_,
                                      .destY = t.originY + it + shadowY_ - shadowDepth_,
                                      .opacity = op,
                                      .destHostDIB = t.hostImage});
            }
        }
    }

    if (rotated) {
        image_.Render({.destinationDC = t.dc,
                       .destX = centreX,
                       .destY = centreY,
                       .destWidth = scaledWidth_,
                       .destHeight = scaledHeight_,
                       .opacity = opacity_,
                       .destHostDIB = t.hostImage,
                       .grayScale = grayScale_,
                       .lightAdjustment = intensity_,
                       .angle = angle,
                       .centerOnDestXY = true});
    } else if (partialPaint_) {
        const std::int32_t l = std::max(il, cl), tp = std::max(it, ct);
        const std::int32_t r = std::min(il + iw, cr), b = std::min(it + ih, cb);
        image_.Render({.destinationDC = t.dc,
                       .destX = t.originX + l,
                       .destY = t.originY + tp,
                       .destWidth = r - l,
                       .destHeight = b - tp,
                       .srcX = l - il,
                       .srcY = tp - it,
                       .srcWidth = r - l,
                       .srcHeight = b - tp,
                       .opacity = opacity_,
                       .destHostDIB = t.hostImage,
                       .grayScale = grayScale_,
                       .lightAdjustment = intensity_});
    } else {
        image_.Render({.destinationDC = t.dc,
                       .destX = t.originX + il,
                       .destY = t.originY + it,
                       .destWidth = iw,
                       .destHeight = ih,
                       .opacity = opacity_,
                       .destHostDIB = t.hostImage,
                       .grayScale = grayScale_,
                       .lightAdjustment = intensity_});
    }
}

bool aicAlphaImage::HitTest(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    if (hitTest_ == AlphaHitTest::WholeControl || !enabled_ || !UserMode() || !HasImage())
        return true;
    return std::any_of(shape_.begin(), shape_.end(), [&](const RegionRect& r) {
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
    });
}

// --- mouse, keys, timers
// ----------------------------------------------------------------------------

bool aicAlphaImage::isMouseOver() const {
    return enabled_ && session_ && session_->CapturedControl() == this;
}

bool aicAlphaImage::OnMouseMove(std::int32_t button, std::int32_t shift, std::int32_t x,
                                std::int32_t y) {
    if (!enabled_ || !HitTest(x, y)) return false;
    if (UserMode() && session_ && session_->CapturedControl() != this) {
        session_->CapturedControl(nullptr); // the previous holder raises MouseExit
        const auto cursor = site_.CursorOnScreen();
        cursorOffsetX_ = cursor.first - x;
        cursorOffsetY_ = cursor.second - y;
        session_->CapturedControl(this);
        if (events.MouseEnter) events.MouseEnter();
        site_.StartTimer(MouseTimerId(), kMouseTimerMs);
        mouseTimerRunning_ = true;
        site_.SetTag("Timer");
    }
    if (events.MouseMove) events.MouseMove(button, shift, float(x), float(y));
    return true;
}

bool aicAlphaImage::OnMouseDown(std::int32_t button, std::int32_t shift, std::int32_t x,
                                std::int32_t y) {
    if (!enabled_ || !HitTest(x, y)) return false;
    pressed_ = true;
    if (events.MouseDown) events.MouseDown(button, shift, float(x), float(y));
    return true;
}

bool aicAlphaImage::OnMouseUp(std::int32_t button, std::int32_t shift, std::int32_t x,
                              std::int32_t y) {
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (!enabled_ || !HitTest(x, y)) return false;
    if (events.MouseUp) events.MouseUp(button, shift, float(x), float(y));
    if (wasPressed && events.Click) events.Click(button);
    return true;
}

bool aicAlphaImage::OnDblClick(std::int32_t x, std::int32_t y) {
    if (!enabled_ || !HitTest(x, y)) return false;
    if (events.DblClick) events.DblClick();
    return true;
}

void aicAlphaImage::OnKeyDown(std::int32_t keyCode, std::int32_t shift) {
    if (enabled_ && events.KeyDown) events.KeyDown(keyCode, shift);
}
void aicAlphaImage::OnKeyPress(std::int32_t keyAscii) {
    if (enabled_ && events.KeyPress) events.KeyPress(keyAscii);
}
void aicAlphaImage::OnKeyUp(std::int32_t keyCode, std::int32_t shift) {
    if (enabled_ && events.KeyUp) events.KeyUp(keyCode, shift);
}

void aicAlphaImage::StopMouseTimer() {
    if (mouseTimerRunning_) site_.StopTimer(MouseTimerId());
    mouseTimerRunning_ = false;
}

void aicAlphaImage::ReleaseMouseCapture() {
    StopMouseTimer();
    site_.SetTag({});
    if (session_ && session_->CapturedControl() == this) session_->CapturedControl(nullptr);
    if (events.MouseExit) events.MouseExit();
}

void aicAlphaImage::OnTimer(std::intptr_t id) {
    if (id == MouseTimerId()) {
        StopMouseTimer();
        const auto cursor = site_.CursorInControl();
        if (cursor && enabled_ && HitTest(cursor->first, cursor->second)) {
            site_.StartTimer(MouseTimerId(), kMouseTimerMs);
            mouseTimerRunning_ = true;
            return;
        }
        if (session_ && session_->CapturedControl() == this) {
            session_->CapturedControl(nullptr); // calls ReleaseMouseCapture: MouseExit
        } else {
            site_.SetTag({});
            if (events.MouseExit) events.MouseExit();
        }
        return;
    }
    if (id == FadeTimerId()) {
        site_.StopTimer(FadeTimerId());
        fadeRunning_ = false;
        if (fadeStep_ == 0) return;
        const std::int32_t next = opacity_ + fadeStep_;
        const bool done = fadeStep_ < 0 ? next <= fadeTarget_ : next >= fadeTarget_;
        opacity_ = done ? fadeTarget_ : next;
        site_.Invalidate();
        if (done) {
            fadeStep_ = 0;
            if (events.FadeTerminated) events.FadeTerminated(opacity_);
        } else {
            site_.StartTimer(FadeTimerId(), fadeInterval_);
            fadeRunning_ = true;
        }
    }
}

void aicAlphaImage::StopFade() {
    if (fadeRunning_) site_.StopTimer(FadeTimerId());
    fadeRunning_ = false;
    fadeStep_ = 0;
}

void aicAlphaImage::FadeInOut(std::int32_t finalOpacity, std::int32_t fadeStepPercent,
                              std::int32_t fadeDelayInterval) {
    StopFade();
    finalOpacity = std::clamp(finalOpacity, 0, 100);
    if (fadeStepPercent == 0 || finalOpacity == opacity_) return;
    const std::int32_t magnitude =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::llabs(fadeStepPercent), 100));
    fadeStep_ = finalOpacity < opacity_ ? -magnitude : magnitude;
    fadeTarget_ = finalOpacity;
    fadeInterval_ = std::max(fadeDelayInterval, kMinFadeIntervalMs);
    site_.StartTimer(FadeTimerId(), fadeInterval_);
    fadeRunning_ = true;
}

// --- properties ----------------------------------------------------------------------------------

bool aicAlphaImage::FlipProp(std::int32_t bit, bool value) {
    if (((props_ & bit) != 0) == value) return false;
    props_ ^= bit;
    return true;
}

void aicAlphaImage::Relayout(std::string_view changed) {
    Changed(changed);
    Layout();
    site_.Invalidate();
}

void aicAlphaImage::ScaleMethod(std::int32_t value) {
    const auto kept = Admit(kScalerKey, value);
    if (!kept || *kept == ScaleMethod()) return;
    scaleMethod_ = static_cast<AlphaScaleMethod>(*kept);
    Relayout("Stretch");
}

void aicAlphaImage::StretchQuality(bool value) {
    if (!FlipProp(alpha_props::kStretchQuality, value)) return;
    image_.HighQualityInterpolation(value);
    Changed("StretchQuality");
    RebuildDerived();
    site_.Invalidate();
}

void aicAlphaImage::Opacity(std::int32_t value) {
    value = NormalOpacity(value);
    if (value == opacity_) return;
    opacity_ = value;
    Changed("Opacity");
    site_.Invalidate();
}

void aicAlphaImage::Mirror(std::int32_t value) {
    if (!Admit(kMirrorKey, value) || value == mirror_) return;
    const std::int32_t change = value ^ mirror_;
    mirror_ = value;
    image_.MirrorImage((change & 1) != 0, (change & 2) != 0);
    Changed("Mirror");
    RebuildDerived();
    site_.Invalidate();
}

void aicAlphaImage::grayScale(std::int32_t value) {
    // The public values are the stored codes plus one (0 = none).
    const auto kept = Admit(kGrayScaleKey, std::int64_t(value) - 1);
    if (!kept || *kept == grayScale_) return;
    grayScale_ = *kept;
    Changed("GrayScale");
    site_.Invalidate();
}

void aicAlphaImage::IntensityOffset(float value) {
    if (!AdmitSingle(kIntensityKey, value) || value == intensity_) return;
    intensity_ = value;
    Changed("Intensity");
    site_.Invalidate();
}

void aicAlphaImage::RotateEnabled(bool value) {
    if (FlipProp(alpha_props::kRotateEnabled, value)) Relayout("RotateEnabled");
}

void aicAlphaImage::Rotation(std::int32_t value) {
    value %= 360;
    if (value == rotation_) return;
    rotation_ = value;
    Changed("Rotation");
    if (RotateEnabled()) {
        RebuildDerived();
        site_.Invalidate();
    }
}

void aicAlphaImage::AutoSize(bool value) {
    if (FlipProp(alpha_props::kAutoSize, value)) Relayout("AutoSize");
}

void aicAlphaImage::AutoRedraw(bool value) {
    if (!FlipProp(alpha_props::kAutoRedraw, value)) return;
    if (value && UserMode())
        props_ |= alpha_props::kBufferInUse;
    else
        props_ &= ~alpha_props::kBufferInUse;
    Changed("AutoRedraw");
    RebuildDerived();
    site_.Invalidate();
}

void aicAlphaImage::KeepOriginalFormat(bool value) {
    if (!FlipProp(alpha_props::kKeepOriginalFormat, value)) return;
    if (!value && UserMode()) image_.SetOriginalFormat({});
    Changed("KeepOriginalFormat");
}

void aicAlphaImage::InversedImage(bool value) {
    if (!FlipProp(alpha_props::kInversedImage, value)) return;
    image_.MakeImageInverse();
    // Transparent pixels stay transparent; the colour they stand for is now the inverse.
    if (maskSource_ != AlphaMaskSource::None) mask_ = InvertColor(mask_);
    Changed("InversedImage");
    RebuildDerived();
    site_.Invalidate();
}

std::int32_t aicAlphaImage::EffectiveMaskColor(AlphaMaskSource source) const {
    using enum AlphaMaskSource;
    if (source == MaskColor) {
        const std::int32_t c = TranslatedColor(maskColor_);
        return InversedImage() ? InvertColor(c) : c;
    }
    const std::int32_t right = image_.Width() - 1, bottom = image_.Height() - 1;
    const std::int32_t x = (source == TopRight || source == BottomRight) ? right : 0;
    const std::int32_t y = (source == BottomLeft || source == BottomRight) ? bottom : 0;
    return image_.GetPixel(x, y, nullptr, false) & 0xFFFFFF;
}

void aicAlphaImage::MaskUsed(std::int32_t source) {
    if (!Admit(kMaskSourceKey, source) || source == MaskUsed()) return;
    if (maskSource_ == AlphaMaskSource::None && AnyPixelTranslucent(image_))
        return; // its own transparency
    if (maskSource_ != AlphaMaskSource::None) image_.MakeTransparent(mask_, true);
    maskSource_ = static_cast<AlphaMaskSource>(source);
    if (maskSource_ != AlphaMaskSource::None && HasImage()) {
        mask_ = EffectiveMaskColor(maskSource_);
        image_.MakeTransparent(mask_);
    }
    Changed("MaskUsed");
    RebuildDerived();
    site_.Invalidate();
}

void aicAlphaImage::MaskColor(std::int32_t color) {
    if (color == maskColor_) return;
    maskColor_ = color;
    Changed("MaskColor");
    if (maskSource_ == AlphaMaskSource::MaskColor && HasImage()) {
        image_.MakeTransparent(mask_, true);
        mask_ = EffectiveMaskColor(AlphaMaskSource::MaskColor);
        image_.MakeTransparent(mask_);
        RebuildDerived();
        site_.Invalidate();
    }
}

void aicAlphaImage::HitTestMode(std::int32_t mode) {
    if (!Admit(kHitTestKey, mode) || mode == HitTestMode()) return;
    hitTest_ = static_cast<AlphaHitTest>(mode);
    Changed("HitTest");
    RebuildShape();
}

void aicAlphaImage::Enabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    if (!value) {
        StopMouseTimer();
        if (site_.Tag() == "Timer") site_.SetTag({});
        if (session_ && session_->CapturedControl() == this) session_->CapturedControl(nullptr);
    }
    Changed("Enabled");
    site_.Invalidate();
}

void aicAlphaImage::ShadowEnabled(bool value) {
    if (!FlipProp(alpha_props::kShadowEnabled, value)) return;
    Changed("ShadowEnabled");
    RebuildShadow();
    site_.Invalidate();
}

void aicAlphaImage::ShadowColor(std::int32_t color) {
    if (color == shadowColor_) return;
    shadowColor_ = color;
    Changed("ShadowColor");
    RebuildShadow();
    site_.Invalidate();
}

void aicAlphaImage::ShadowOffsetX(std::int32_t value) {
    const auto kept = Admit(kShadowXKey, value);
    if (!kept || *kept == shadowX_) return;
    shadowX_ = *kept;
    Changed("ShadowOffsetX");
    site_.Invalidate();
}

void aicAlphaImage::ShadowOffsetY(std::int32_t value) {
    const auto kept = Admit(kShadowYKey, value);
    if (!kept || *kept == shadowY_) return;
    shadowY_ = *kept;
    Changed("ShadowOffsetY");
    site_.Invalidate();
}

void aicAlphaImage::ShadowDepth(std::int32_t value) {
    if (!Admit(kShadowDepthKey, value) || value == shadowDepth_) return;
    shadowDepth_ = value;
    Changed("ShadowDepth");
    RebuildShadow();
    site_.Invalidate();
}

void aicAlphaImage::ShadowOpacity(std::int32_t value) {
    if (!Admit(kShadowOpacityKey, value) || value == shadowOpacity_) return;
    shadowOpacity_ = value;
    Changed("ShadowOpacity");
    site_.Invalidate();
}

void aicAlphaImage::MousePointer(std::int32_t value) {
    const auto kept = Admit(kMousePointerKey, value);
    if (!kept || *kept == mousePointer_) return;
    mousePointer_ = *kept;
    Changed("MousePointer");
    site_.MousePointerChanged(mousePointer_, mouseIcon_);
}

void aicAlphaImage::MouseIcon(Bytes icon) {
    mouseIcon_ = std::move(icon);
    Changed("MouseIcon");
    site_.MousePointerChanged(mousePointer_, mouseIcon_);
}

void aicAlphaImage::OLEDropMode(std::int32_t value) {
    const auto kept = Admit(kOleDropKey, value);
    if (!kept || *kept == oleDropMode_) return;
    oleDropMode_ = *kept;
    Changed("OLEDropMode");
    site_.OleDropModeChanged(oleDropMode_);
}

bool aicAlphaImage::GDIplusInitialized() const {
    return session_ && session_->gdiToken() != cCrossComm::kNoSession;
}

void aicAlphaImage::CustomSize(std::int32_t cx, std::int32_t cy) {
    if (!Admit(kScaleCxKey, cx) || !Admit(kScaleCyKey, cy) || (cx == scaleCx_ && cy == scaleCy_))
        return;
    scaleCx_ = cx;
    scaleCy_ = cy;
    if (scaleMethod_ == AlphaScaleMethod::Custom) {
        Layout();
        site_.Invalidate();
    }
}

// --- methods ------------------------------------------------------------------------------------

void aicAlphaImage::ClearImage() {
    image_.DestroyDIB();
    buffer_.reset();
    shadowImage_.reset();
    shape_.clear();
    Layout();
    site_.Invalidate();
}

void aicAlphaImage::Refresh() {
    parentScaleMode_ = site_.ContainerScaleMode().value_or(kNoScaleMode);
    site_.Invalidate();
}

void aicAlphaImage::ApplyPixelEffects() {
    if (mirror_) image_.MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
    // Inverted first: the stored mask colour is the one of the pixels as shown.
    if (InversedImage()) image_.MakeImageInverse();
    if (maskSource_ != AlphaMaskSource::None) image_.MakeTransparent(mask_);
}

void aicAlphaImage::AfterLoad(bool loaded) {
    if (loaded) {
        ApplyPixelEffects();
        if (AutoRedraw() && UserMode()) props_ |= alpha_props::kBufferInUse;
    } else {
        if (scaleMethod_ == AlphaScaleMethod::Custom) scaleMethod_ = AlphaScaleMethod::FitInside;
        props_ &= (alpha_props::kStretchQuality | alpha_props::kKeepOriginalFormat);
        rotation_ = 0;
        opacity_ = 100;
        mirror_ = 0;
        scaleCx_ = scaleCy_ = 0;
        buffer_.reset();
        shadowImage_.reset();
    }
    HandOutToken();
    Layout();
    site_.Invalidate();
}

bool aicAlphaImage::LoadImage_FromArray(std::span<const std::uint8_t> bytes, std::int64_t start,
                                        std::int64_t length, std::int32_t iconCx,
                                        std::int32_t iconCy, std::int32_t iconBitDepth) {
    image_.HighQualityInterpolation(StretchQuality());
    const bool ok = image_.LoadPicture_Stream(bytes, iconCx, iconCy, start, length,
                                              KeepOriginalFormat() || !UserMode(), iconBitDepth) &&
                    HasImage();
    AfterLoad(ok);
    return ok;
}

bool aicAlphaImage::LoadImage_FromFile(std::string_view fileName, std::int32_t iconCx,
                                       std::int32_t iconCy, std::int32_t iconBitDepth) {
    const bool ok = image_.LoadPicture_File(fileName, iconCx, iconCy,
                                            KeepOriginalFormat() || !UserMode(), iconBitDepth) &&
                    HasImage();
    AfterLoad(ok);
    return ok;
}

bool aicAlphaImage::LoadImage_FromOrignalBytes(std::int32_t iconCx, std::int32_t iconCy,
                                               std::int32_t iconBitDepth) {
    const bool ok =
        image_.LoadPicture_FromOrignalFormat(iconCx, iconCy, iconBitDepth) && HasImage();
    AfterLoad(ok);
    return ok;
}

#ifdef _WIN32
bool aicAlphaImage::LoadImage_FromClipboard() {
    const bool ok = image_.LoadPicture_ClipBoard() && HasImage();
    AfterLoad(ok);
    return ok;
}

bool aicAlphaImage::LoadImage_FromHandle(std::intptr_t handle) {
    const bool ok = image_.LoadPicture_ByHandle(handle) && HasImage();
    AfterLoad(ok);
    return ok;
}

bool aicAlphaImage::LoadImage_FromStdPicture(IPicture* picture) {
    const bool ok = picture && image_.LoadPicture_StdPicture(picture) && HasImage();
    AfterLoad(ok);
    return ok;
}

bool aicAlphaImage::LoadImage_FromResource(std::string_view resId, std::string_view resSection,
                                           std::int32_t iconCx, std::int32_t iconCy,
                                           std::int32_t iconBitDepth) {
    const bool ok =
        image_.LoadPicture_Resource(resId, resSection, 0, iconCx, iconCy, 0, 0, iconBitDepth) &&
        HasImage();
    AfterLoad(ok);
    return ok;
}
#endif

bool aicAlphaImage::GetImageBytes(std::vector<std::uint8_t>& out, std::int32_t& scanWidth,
                                  bool asBGRformat, bool asBottomUp, bool asPreMultiplied,
                                  bool asFileFormat) const {
    out.clear();
    scanWidth = 0;
    if (asFileFormat) return image_.GetOrginalFormat(out);
    DibBitsLayout layout;
    layout.bgr = asBGRformat;
    layout.bits32 = true;
    layout.wordAligned = true;
    layout.bottomUp = asBottomUp;
    DibBitsShape shape;
    if (!image_.GetDIBbits(out, layout, {}, asPreMultiplied, &shape)) return false;
    scanWidth = shape.rowBytes;
    return true;
}

bool aicAlphaImage::SetImageBytes(std::span<const std::uint8_t> bytes, bool isBGRformat,
                                  bool isBottomUp) {
    DibBitsLayout layout;
    layout.bgr = isBGRformat;
    layout.bottomUp = isBottomUp;
    if (!image_.SetDIBbits(bytes, layout)) return false;
    RebuildDerived();
    site_.Invalidate();
    return true;
}

void aicAlphaImage::OffsetShadow(std::int32_t x, std::int32_t y) {
    shadowX_ = *Admit(kShadowXKey, x);
    shadowY_ = *Admit(kShadowYKey, y);
    site_.Invalidate();
}

void aicAlphaImage::OffsetImage(bool setOffsets, std::int32_t& x, std::int32_t& y,
                                std::int32_t& shadowX, std::int32_t& shadowY) {
    if (!setOffsets) {
        x = offsetX_;
        y = offsetY_;
        shadowX = shadowX_;
        shadowY = shadowY_;
        return;
    }
    offsetX_ = x;
    offsetY_ = y;
    shadowX_ = *Admit(kShadowXKey, shadowX);
    shadowY_ = *Admit(kShadowYKey, shadowY);
    RebuildDerived();
    site_.Invalidate();
}

// --- stored properties
// -----------------------------------------------------------------------------

void aicAlphaImage::InitProperties() {
    parentScaleMode_ = site_.ContainerScaleMode().value_or(kNoScaleMode);
    image_.HighQualityInterpolation(StretchQuality());
    Layout();
}

void aicAlphaImage::ReadSettings(const PropertyBag& bag) {
    scaleMethod_ = static_cast<AlphaScaleMethod>(ReadKey(bag, kScalerKey));
    opacity_ = NormalOpacity(bag.GetInt32(kOpacityKey.name).value_or(kOpacityKey.fallback));
    mirror_ = ReadKey(bag, kMirrorKey);
    rotation_ = bag.GetInt32(kAngleKey.name).value_or(kAngleKey.fallback) % 360;
    grayScale_ = ReadKey(bag, kGrayScaleKey);
    hitTest_ = static_cast<AlphaHitTest>(ReadKey(bag, kHitTestKey));
    props_ = ReadKey(bag, kPropsKey) & kStoredPropsMask;
    const bool maskUsed = ReadFlag(bag, kMaskUsedKey);
    maskColor_ = ReadKey(bag, kMaskColorKey);
    maskSource_ = static_cast<AlphaMaskSource>(maskUsed ? ReadKey(bag, kMaskSourceKey) : 0);
    // A mask stored without its source still masks the stored colour; it is taken as the
    // MaskColor kind, the one a colour of its own stands for.
    if (maskUsed && maskSource_ == AlphaMaskSource::None) maskSource_ = AlphaMaskSource::MaskColor;
    mask_ = maskUsed ? TranslatedColor(ReadKey(bag, kMaskKey)) : kMaskKey.fallback;
    enabled_ = ReadFlag(bag, kEnabledKey);
    if (const Bytes* icon = bag.GetBytes("MIcon"))
        mouseIcon_ = *icon;
    else
        mouseIcon_.clear();
    mousePointer_ = ReadKey(bag, kMousePointerKey);
    oleDropMode_ = ReadKey(bag, kOleDropKey);
    scaleCx_ = scaleCy_ = 0;
    if (scaleMethod_ == AlphaScaleMethod::Custom) {
        scaleCx_ = ReadKey(bag, kScaleCxKey);
        scaleCy_ = ReadKey(bag, kScaleCyKey);
    }
    shadowColor_ = ReadKey(bag, kShadowColorKey);
    shadowDepth_ = ReadKey(bag, kShadowDepthKey);
    shadowX_ = ReadKey(bag, kShadowXKey);
    shadowY_ = ReadKey(bag, kShadowYKey);
    shadowOpacity_ = ReadKey(bag, kShadowOpacityKey);
    intensity_ = ReadSingle(bag, kIntensityKey);
}

void aicAlphaImage::ReadProperties(const PropertyBag& bag) {
    ReadSettings(bag);
    parentScaleMode_ = site_.ContainerScaleMode().value_or(kNoScaleMode);
    image_.HighQualityInterpolation(StretchQuality());
    site_.MousePointerChanged(mousePointer_, mouseIcon_);
    if (oleDropMode_) site_.OleDropModeChanged(oleDropMode_);

    bool loaded = false;
    if (const Bytes* bytes = bag.GetBytes("Image"); bytes && !bytes->empty()) {
        loaded = image_.LoadPicture_Stream(*bytes, width_, height_, 0, 0,
                                           !UserMode() || KeepOriginalFormat(), 32) &&
                 HasImage();
    } else {
        image_.DestroyDIB();
    }
    AfterLoad(loaded);
}

void aicAlphaImage::WriteProperties(PropertyBag& bag) {
    Bytes imageBytes;
    const std::int32_t type = image_.ImageType();
    const bool bitmapKind = type == image_type::kBitmap || type == image_type::kAlphaBitmap ||
                            type == image_type::kAlphaBitmapPremultiplied;
    if (HasImage() && bitmapKind && (image_.isZlibEnabled() || image_.isGDIplusEnabled())) {
        // The picture without the control's effects on it.
        c32bppDIB plain(capabilityFlags_, *services_);
        if (image_.CopyImageTo(plain)) {
            if (mirror_) plain.MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
            if (maskSource_ != AlphaMaskSource::None) plain.MakeTransparent(mask_, true);
            if (InversedImage()) plain.MakeImageInverse();
            if (!plain.SaveToStream_PNG(imageBytes)) imageBytes.clear();
        }
    } else {
        image_.GetOrginalFormat(imageBytes);
    }
    if (!imageBytes.empty())
        bag.Set("Image", std::move(imageBytes));
    else
        bag.Remove("Image");

    // In the table's order; a key that is not kept is removed.
    struct Kept {
        const StoredKey& key;
        std::int32_t value;
        bool kept = true;
    };
    const bool masked = maskSource_ != AlphaMaskSource::None,
               customSize = scaleMethod_ == AlphaScaleMethod::Custom;
    const Kept values[] = {
        {kScalerKey, ScaleMethod()},
        {kOpacityKey, opacity_},
        {kMirrorKey, mirror_},
        {kAngleKey, rotation_},
        {kGrayScaleKey, grayScale_},
        {kHitTestKey, HitTestMode()},
        {kPropsKey, props_ & kStoredPropsMask},
        {kMaskUsedKey, masked},
        {kMaskColorKey, maskColor_},
        {kMaskSourceKey, MaskUsed()},
        {kMaskKey, mask_, masked},
        {kEnabledKey, enabled_},
        {kMousePointerKey, mousePointer_},
        {kOleDropKey, oleDropMode_},
        {kScaleCxKey, scaleCx_, customSize},
        {kScaleCyKey, scaleCy_, customSize},
        {kShadowColorKey, shadowColor_},
        {kShadowDepthKey, shadowDepth_},
        {kShadowXKey, shadowX_},
        {kShadowYKey, shadowY_},
        {kShadowOpacityKey, shadowOpacity_},
    };
    for (const Kept& v : values) {
        if (v.kept)
            WriteKey(bag, v.key, v.value);
        else
            bag.Remove(v.key.name);
    }
    if (!mouseIcon_.empty())
        bag.Set("MIcon", mouseIcon_);
    else
        bag.Remove("MIcon");
    WriteSingle(bag, kIntensityKey, intensity_);
}

} // namespace corvale
