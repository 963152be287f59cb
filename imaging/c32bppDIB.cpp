// The image object: storage, properties, pixel access and the loader router.
#include "imaging/c32bppDIB.h"

#include "codecs/modParsers.h"
#include "platform/image_storage.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvale {

// Streams this short cannot hold any picture the decoders know; they are not tried.
inline constexpr std::int64_t kShortestPicture = 57;
// Largest picture file the loader reads into memory.
inline constexpr std::uint64_t kMaxPictureFileBytes = 256ull << 20;

std::uint32_t CapabilityFlagsFor(const OsVersion& os) {
    if (os.win9xFamily)
        return os.minor != 0 ? (kCapAlphaBlendExists | kCap9xFamily) : kCapGdiplusBarred;
    if (os.major > 4) return kCapAlphaBlendExists | kCapAlphaBlendFriendly;
    return os.servicePackMajor < 6 ? kCapGdiplusBarred : 0u;
}

std::uint32_t SystemCapabilityFlags() {
#ifdef _WIN32
    OsVersion os;
    OSVERSIONINFOEXA ex{};
    ex.dwOSVersionInfoSize = sizeof(ex);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) {
        os.servicePackMajor = ex.wServicePackMajor;
    } else {
        ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) return kCapGdiplusBarred;
    }
#pragma GCC diagnostic pop
    os.win9xFamily = ex.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
    os.major = ex.dwMajorVersion;
    os.minor = ex.dwMinorVersion;
    return CapabilityFlagsFor(os);
#else
    return kCapGdiplusBarred;
#endif
}

c32bppDIB::c32bppDIB() : c32bppDIB(SystemCapabilityFlags()) {}

c32bppDIB::c32bppDIB(std::uint32_t capabilityFlags, const ImagingServices& services)
    : flags_(capabilityFlags & ~std::uint32_t(kCapGdiplusEnabled)), services_(&services) {
    if (!(flags_ & kCapAlphaBlendExists)) flags_ &= ~std::uint32_t(kCapAlphaBlendFriendly);
    isGDIplusEnabled(true);
    if (isGDIplusEnabled()) highQuality_ = true;
}

c32bppDIB::~c32bppDIB() {
    DestroyDIB();
}

bool c32bppDIB::InitializeDIB(std::int32_t width, std::int32_t height) {
    return Initialize(width, height, ImageFill::kZeros);
}

bool c32bppDIB::InitializeDIBForOverwrite(std::int32_t width, std::int32_t height) {
    return Initialize(width, height, ImageFill::kOverwritten);
}

bool c32bppDIB::Initialize(std::int32_t width, std::int32_t height, ImageFill fill) {
    DestroyDIB();
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
        return false;
    height = height < 0 ? -height : height;
    storage_ = CreateImageStorage(width, height, fill);
    if (!storage_) return false;
    width_ = width;
    height_ = height;
    alpha_ = true;
    imageType_ = image_type::kBlank;
    if (manageOwnDC_) LoadDIBinDC(true);
    return true;
}

void c32bppDIB::ReleaseDC() {
    if (dc_) {
        if (previousBitmap_) SelectImageIntoDC(dc_, previousBitmap_);
        DeleteImageDC(dc_);
    }
    dc_ = 0;
    previousBitmap_ = 0;
}

void c32bppDIB::DestroyDIB() {
    ReleaseDC();
    storage_.reset();
    source_.clear();
    source_.shrink_to_fit();
    width_ = 0;
    height_ = 0;
    alpha_ = false;
    imageType_ = image_type::kNone;
}

bool c32bppDIB::EraseDIB() {
    if (!storage_) return false;
    std::memset(storage_->Bits(), 0, std::size_t(width_) * std::size_t(height_) * 4u);
    imageType_ = image_type::kBlank;
    alpha_ = true;
    return true;
}

std::intptr_t c32bppDIB::LoadDIBinDC(bool bLoad) {
    if (bLoad) {
        if (!storage_) return 0;
        if (!dc_) dc_ = CreateImageDC();
        if (dc_ && !previousBitmap_) previousBitmap_ = SelectImageIntoDC(dc_, storage_->Handle());
        return dc_;
    }
    if (dc_ && previousBitmap_) {
        SelectImageIntoDC(dc_, previousBitmap_);
        previousBitmap_ = 0;
    }
    if (!manageOwnDC_) ReleaseDC();
    return 0;
}

void c32bppDIB::ManageOwnDC(bool bManage) {
    manageOwnDC_ = bManage;
    if (!bManage)
        ReleaseDC();
    else if (storage_)
        LoadDIBinDC(true);
}

bool c32bppDIB::KeepLoaded(bool ok) {
    if (ok && storage_) return true;
    DestroyDIB();
    return false;
}

std::uint8_t* c32bppDIB::BitsPointer() const {
    return storage_ ? storage_->Bits() : nullptr;
}

std::intptr_t c32bppDIB::Handle() const {
    return storage_ ? storage_->Handle() : 0;
}

void c32bppDIB::isAlphaBlendFriendly(bool value) {
    if (!value)
        flags_ &= ~std::uint32_t(kCapAlphaBlendFriendly);
    else if (flags_ & kCapAlphaBlendExists)
        flags_ |= kCapAlphaBlendFriendly;
}

void c32bppDIB::isGDIplusEnabled(bool enabled) {
    if (enabled == isGDIplusEnabled()) return;
    flags_ &= ~std::uint32_t(kCapGdiplusEnabled);
    if (enabled && !(flags_ & kCapGdiplusBarred)) {
        const GdiplusEngine* engine = services_->gdiplus;
        if (engine && engine->startsOnThisSystem && engine->startsOnThisSystem())
            flags_ |= kCapGdiplusEnabled;
    }
}

// The PNG decoder hands whole pictures to GDI+ first while a session runs for the image.
bool c32bppDIB::DecodeThroughGdiplus(std::string_view fileName, std::span<const std::uint8_t> bytes,
                                     std::uintptr_t token) {
    if (token == 0 || !isGDIplusEnabled()) return false;
    const GdiplusEngine* engine = services_->gdiplus;
    return engine && engine->decode && engine->decode(*this, fileName, bytes, token);
}

bool c32bppDIB::isZlibEnabled() const {
    return services_->zlibAvailable && services_->zlibAvailable();
}

std::int32_t c32bppDIB::GetPixel(std::int32_t x, std::int32_t y, std::int32_t* alphaValue,
                                 bool asPreMultiplied) const {
    if (alphaValue) *alphaValue = 0;
    if (!storage_ || x < 0 || y < 0 || x >= width_ || y >= height_) return -1;
    const std::uint8_t* p =
        storage_->Bits() + ((std::size_t(height_ - 1 - y) * std::size_t(width_)) + x) * 4u;
    std::uint32_t b = p[0], g = p[1], r = p[2];
    const std::uint32_t a = p[3];
    if (alphaValue) *alphaValue = std::int32_t(a);
    if (!asPreMultiplied && a != 0 && a != 255) {
        b = std::min(255u, b * 255u / a);
        g = std::min(255u, g * 255u / a);
        r = std::min(255u, r * 255u / a);
    }
    return std::int32_t(r | (g << 8) | (b << 16));
}

namespace {

// The part of a requested region that lies in a width x height image; nullopt when none.
std::optional<DibRegion> ClipRegion(DibRegion r, std::int32_t width, std::int32_t height) {
    std::int64_t left = r.left, top = r.top;
    std::int64_t w = r.width == 0 ? width : r.width;
    std::int64_t h = r.height == 0 ? height : r.height;
    if (w < 0 || h < 0) return std::nullopt;
    std::int64_t right = left + w, bottom = top + h;
    left = std::max<std::int64_t>(left, 0);
    top = std::max<std::int64_t>(top, 0);
    right = std::min<std::int64_t>(right, width);
    bottom = std::min<std::int64_t>(bottom, height);
    if (right <= left || bottom <= top) return std::nullopt;
    return DibRegion{std::int32_t(left), std::int32_t(top), std::int32_t(right - left),
                     std::int32_t(bottom - top)};
}

std::int64_t LayoutRowBytes(std::int64_t width, const DibBitsLayout& layout) {
    const std::int64_t raw = width * (layout.bits32 ? 4 : 3);
    return layout.wordAligned ? (raw + 3) / 4 * 4 : raw;
}

} // namespace

bool c32bppDIB::GetDIBbits(std::vector<std::uint8_t>& out, const DibBitsLayout& layout,
                           DibRegion region, bool asPreMultiplied, DibBitsShape* shape) const {
    out.clear();
    if (!storage_) return false;
    const auto clip = ClipRegion(region, width_, height_);
    if (!clip) return false;
    const std::int64_t rowBytes = LayoutRowBytes(clip->width, layout);
    const std::uint64_t total = std::uint64_t(rowBytes) * std::uint64_t(clip->height);
    if (total > kMaxImageBytes * 2) return false;
    try {
        out.assign(static_cast<std::size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::uint8_t* bits = storage_->Bits();
    const int step = layout.bits32 ? 4 : 3;
    for (std::int32_t row = 0; row < clip->height; ++row) {
        const std::int32_t y = clip->top + row; // image row, 0 = top
        const std::uint8_t* src =
            bits + (std::size_t(height_ - 1 - y) * std::size_t(width_) + clip->left) * 4u;
        const std::int32_t outRow = layout.bottomUp ? clip->height - 1 - row : row;
        std::uint8_t* dst = out.data() + std::size_t(outRow) * std::size_t(rowBytes);
        for (std::int32_t x = 0; x < clip->width; ++x, src += 4, dst += step) {
            std::uint32_t b = src[0], g = src[1], r = src[2];
            const std::uint32_t a = src[3];
            if (!asPreMultiplied && a != 0 && a != 255) {
                b = std::min(255u, b * 255u / a);
                g = std::min(255u, g * 255u / a);
                r = std::min(255u, r * 255u / a);
            }
            dst[0] = std::uint8_t(layout.bgr ? b : r);
            dst[1] = std::uint8_t(g);
            dst[2] = std::uint8_t(layout.bgr ? r : b);
            if (layout.bits32) dst[3] = std::uint8_t(a);
        }
    }
    if (shape) *shape = {clip->width, clip->height, std::int32_t(rowBytes)};
    return true;
}

bool c32bppDIB::SetDIBbits(std::span<const std::uint8_t> bytes, const DibBitsLayout& layout,
                           DibRegion destination) {
    if (!storage_) return false;
    std::int64_t reqW = destination.width == 0 ? width_ : destination.width;
    std::int64_t reqH = destination.height == 0 ? height_ : destination.height;
    if (reqW < 0 || reqH < 0) return false;
    if (reqW == 0 || reqH == 0) return false;
    // The last row need not carry its padding. Rectangles whose byte count goes beyond 63 bits
    // cannot be backed by any array.
    const std::int64_t rowBytes = LayoutRowBytes(reqW, layout);
    const std::int64_t lastRow = reqW * (layout.bits32 ? 4 : 3);
    if (reqH > 1 && rowBytes > (std::numeric_limits<std::int64_t>::max() - lastRow) / (reqH - 1))
        return false;
    const std::int64_t needed = rowBytes * (reqH - 1) + lastRow;
    if (std::uint64_t(needed) > bytes.size()) return false;
    const auto clip = ClipRegion(destination, width_, height_);
    if (!clip) return false;
    std::uint8_t* bits = storage_->Bits();
    const int step = layout.bits32 ? 4 : 3;
    for (std::int32_t y = clip->top; y < clip->top + clip->height; ++y) {
        const std::int64_t inRowTop = std::int64_t(y) - destination.top; // 0 = first given row
        const std::int64_t inRow = layout.bottomUp ? reqH - 1 - inRowTop : inRowTop;
        const std::int64_t inCol = std::int64_t(clip->left) - destination.left;
        const std::uint8_t* src = bytes.data() + inRow * rowBytes + inCol * step;
        std::uint8_t* dst =
            bits + (std::size_t(height_ - 1 - y) * std::size_t(width_) + clip->left) * 4u;
        for (std::int32_t x = 0; x < clip->width; ++x, src += step, dst += 4) {
            const std::uint8_t b = layout.bgr ? src[0] : src[2];
            const std::uint8_t r = layout.bgr ? src[2] : src[0];
            const std::uint8_t a = layout.bits32 ? src[3] : 255;
            // Keep the premultiplied invariant whatever the caller passed.
            dst[0] = std::min(b, a);
            dst[1] = std::min(src[1], a);
            dst[2] = std::min(r, a);
            dst[3] = a;
        }
    }
    return true;
}

bool c32bppDIB::GetOrginalFormat(std::vector<std::uint8_t>& out) const try {
    out = source_;
    return !out.empty();
} catch (const std::bad_alloc&) {
    out.clear();
    return false;
}

// ---- loaders ----------------------------------------------------------------------------------

bool c32bppDIB::LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx,
                                   std::int32_t iconCy, std::int64_t streamStart,
                                   std::int64_t streamLength, bool saveFormat,
                                   std::int32_t iconBitDepth, const DecoderChain& decoders) try {
    DestroyDIB();
    if (streamStart < 0) streamStart = 0;
    const std::int64_t size = std::int64_t(inStream.size());
    if (streamStart >= size) return false;
    if (streamLength <= 0 || streamLength > size - streamStart) streamLength = size - streamStart;
    if (streamLength < kShortestPicture) return false;
    return RouteStream({}, inStream.subspan(std::size_t(streamStart), std::size_t(streamLength)),
                       iconCx, iconCy, saveFormat, iconBitDepth, decoders);
} catch (const std::bad_alloc&) {
    DestroyDIB();
    return false;
}

bool c32bppDIB::LoadPicture_File(std::string_view fileName, std::int32_t iconCx,
                                 std::int32_t iconCy, bool saveFormat, std::int32_t iconBitDepth,
                                 const DecoderChain& decoders) try {
    DestroyDIB();
    const bool wide = (flags_ & (kCapAlphaBlendExists | kCap9xFamily)) == kCapAlphaBlendExists;
    FileHandle file = OpenFileForWrite(fileName, true, wide);
    if (!file.valid()) return false;
    const auto size = file.Size();
    if (!size || *size < std::uint64_t(kShortestPicture) || *size > kMaxPictureFileBytes)
        return false;
    std::vector<std::uint8_t> bytes;
    if (!file.ReadAll(bytes)) return false;
    file.Close();
    return RouteStream(fileName, bytes, iconCx, iconCy, saveFormat, iconBitDepth, decoders);
} catch (const std::bad_alloc&) {
    DestroyDIB();
    return false;
}

bool c32bppDIB::LoadPicture_FromOrignalFormat(std::int32_t iconCx, std::int32_t iconCy,
                                              std::int32_t iconBitDepth,
                                              const DecoderChain& decoders) {
    if (source_.empty()) return false;
    const std::vector<std::uint8_t> bytes = std::move(source_);
    return LoadPicture_Stream(bytes, iconCx, iconCy, 0, 0, true, iconBitDepth, decoders);
}

// Offers the bytes to the decoders in the fixed order PNG, GIF, ICO/CUR, BMP, then GDI+. The
// file (when given) has already been read whole into bytes; it is named for GDI+ only.
bool c32bppDIB::RouteStream(std::string_view fileName, std::span<const std::uint8_t> bytes,
                            std::int32_t iconCx, std::int32_t iconCy, bool saveFormat,
                            std::int32_t iconBitDepth, const DecoderChain& decoders) {
    DestroyDIB();
    IconWish wish{std::max(iconCx, 0), std::max(iconCy, 0),
                  (iconBitDepth < 0 || iconBitDepth > 32) ? 32 : iconBitDepth};

    bool made = false;
    if (decoders.png) {
        made = decoders.png(*this, bytes, wish) && storage_;
        if (services_->takePendingPngError) {
            const std::string pending = services_->takePendingPngError();
            if (!pending.empty() && services_->showMessage) services_->showMessage(pending);
        }
    }
    for (StreamDecoder next : {decoders.gif, decoders.ico, decoders.bmp}) {
        if (made) break;
        if (!next) continue;
        DestroyDIB();
        made = next(*this, bytes, wish) && storage_;
    }

    bool sourceIsPng = false;
    std::vector<std::uint8_t> reencoded;
    if (!made && isGDIplusEnabled()) {
        const GdiplusEngine* engine = services_->gdiplus;
        DestroyDIB();
        if (engine && engine->decode && engine->decode(*this, fileName, bytes, gdiToken_) &&
            storage_) {
            made = true;
            if (saveFormat && engine->savePng && engine->savePng(*this, reencoded))
                sourceIsPng = true;
        }
    }
    if (!made) {
        DestroyDIB();
        return false;
    }
    if (saveFormat) {
        if (sourceIsPng)
            source_ = std::move(reencoded);
        else
            source_.assign(bytes.begin(), bytes.end());
    }
    return true;
}

} // namespace corvale
