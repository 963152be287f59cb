#pragma once
// The one in-memory image of the system: 32 bits a pixel, premultiplied BGRA, rows bottom-up,
// no row padding. Pixel (x, y) with y = 0 the top row starts at ((Height-1-y)*Width + x)*4.
#include "codecs/decoders.h"
#include "codecs/image_host.h"
#include "codecs/image_type.h"
#include "codecs/modParsers.h"
#include "imaging/services.h"
#include "platform/image_storage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
struct IPicture;
struct IDataObject;
#endif

namespace corvale {

class ImageStorage;
class PngEncoderObject;
struct IconSize;

// Capability flags, set once when an image object is made.
enum CapabilityFlag : std::uint32_t {
    kCapAlphaBlendFriendly = 1, // use AlphaBlend for plain, unscaled drawing
    kCapGdiplusEnabled = 2,     // GDI+ is loaded and may be used
    kCapAlphaBlendExists = 8,   // the system has AlphaBlend
    kCap9xFamily = 16,          // Windows 95/98/ME: no HALFTONE, ANSI file names
    kCapGdiplusBarred = 32,     // GDI+ must not be used here
};

// The parts of the operating-system version the capability rule looks at.
struct OsVersion {
    bool win9xFamily = false;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t servicePackMajor = 0;
};

// The capability flags (before GDI+ is tried) for a system of this version.
std::uint32_t CapabilityFlagsFor(const OsVersion& os);
// The flags of the running system: the version rule on Windows; elsewhere no AlphaBlend and
// GDI+ barred.
std::uint32_t SystemCapabilityFlags();

// Byte layout for GetDIBbits / SetDIBbits.
struct DibBitsLayout {
    bool as2dArray = false;   // informational: the bytes are the same, rows of rowBytes each
    bool bgr = true;          // false: R, G, B order
    bool bits32 = true;       // false: 24 bits a pixel (no alpha)
    bool wordAligned = false; // rows padded to a multiple of 4 bytes
    bool bottomUp = true;     // false: top row first
};

// The shape of a GetDIBbits result.
struct DibBitsShape {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t rowBytes = 0;
};

// A rectangle of an image, (0,0,0,0) = the whole image; clipped to the image.
struct DibRegion {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
};

// The image object; ImageHost (codecs/image_host.h) is the part of it the codecs see.
class c32bppDIB final : public ImageHost {
  public:
    c32bppDIB();
    // With explicit capability flags (before GDI+ is tried) and services: for tests and for
    // work images that copy another image's settings.
    explicit c32bppDIB(std::uint32_t capabilityFlags,
                       const ImagingServices& services = BuiltInServices());
    ~c32bppDIB();
    c32bppDIB(const c32bppDIB&) = delete;
    c32bppDIB& operator=(const c32bppDIB&) = delete;

    // --- life cycle --------------------------------------------------------------------------
    bool InitializeDIB(std::int32_t width, std::int32_t height) override;
    bool InitializeDIBForOverwrite(std::int32_t width, std::int32_t height) override;
    void DestroyDIB() override;
    bool EraseDIB();
    // bLoad true: the memory DC with the image selected (0 when no image or no GDI);
    // false: deselect, and delete the DC unless ManageOwnDC; returns 0.
    std::intptr_t LoadDIBinDC(bool bLoad) override;
    bool ManageOwnDC() const { return manageOwnDC_; }
    void ManageOwnDC(bool bManage);

    // --- properties --------------------------------------------------------------------------
    std::uint8_t* BitsPointer() const override;
    std::int32_t Width() const override { return width_; }
    std::int32_t Height() const override { return height_; }
    std::int32_t scanWidth() const override { return width_ * 4; }
    std::intptr_t Handle() const override;
    bool Alpha() const override { return alpha_; }
    void SetAlpha(bool value) override { alpha_ = value; }
    std::int32_t ImageType() const { return imageType_; }
    void SetImageType(std::int32_t code) override { imageType_ = code; }
    bool HighQualityInterpolation() const { return highQuality_; }
    void HighQualityInterpolation(bool value) { highQuality_ = value; }
    bool isAlphaBlendFriendly() const { return (flags_ & kCapAlphaBlendFriendly) != 0; }
    void isAlphaBlendFriendly(bool value);
    bool isGDIplusEnabled() const { return (flags_ & kCapGdiplusEnabled) != 0; }
    void isGDIplusEnabled(bool enabled);
    bool isZlibEnabled() const;
    std::uintptr_t gdiToken() const override { return gdiToken_; }
    void gdiToken(std::uintptr_t token) override { gdiToken_ = token; }
    // Through the GDI+ engine of this image's services, when the token is non-zero and GDI+ is
    // enabled for the image.
    bool DecodeThroughGdiplus(std::string_view fileName, std::span<const std::uint8_t> bytes,
                              std::uintptr_t token) override;
    std::uint32_t CapabilityFlags() const { return flags_; }
    const ImagingServices& Services() const { return *services_; }
    void UseServices(const ImagingServices& services) { services_ = &services; }
    void SetPngEncoder(std::shared_ptr<PngEncoderObject> encoder) {
        pngEncoder_ = std::move(encoder);
    }
    const std::shared_ptr<PngEncoderObject>& PngEncoder() const { return pngEncoder_; }

    // --- pixels ------------------------------------------------------------------------------
    // 0x00BBGGRR of pixel (x, y), y = 0 the top row; alphaValue receives A. Out of range: -1, 0.
    std::int32_t GetPixel(std::int32_t x, std::int32_t y, std::int32_t* alphaValue = nullptr,
                          bool asPreMultiplied = true) const;
    // Copies a region out in the requested layout; false when there is no image or the region
    // lies wholly outside it. The shape of the result goes to *shape when given.
    bool GetDIBbits(std::vector<std::uint8_t>& out, const DibBitsLayout& layout = {},
                    DibRegion region = {}, bool asPreMultiplied = true,
                    DibBitsShape* shape = nullptr) const;
    // Writes pixels in such a layout into the destination rectangle (0 sizes = whole image);
    // parts outside the image are skipped. 32-bit input is taken as premultiplied; 24-bit
    // input becomes opaque. False when there is no image, the rectangle misses the image or
    // the bytes are too few for the rectangle.
    bool SetDIBbits(std::span<const std::uint8_t> bytes, const DibBitsLayout& layout = {},
                    DibRegion destination = {});

    // --- source bytes ------------------------------------------------------------------------
    void SetOriginalFormat(std::vector<std::uint8_t> bytes) { source_ = std::move(bytes); }
    bool GetOrginalFormat(std::vector<std::uint8_t>& out) const;

    // --- loaders -----------------------------------------------------------------------------
    bool LoadPicture_File(std::string_view fileName, std::int32_t iconCx = 0,
                          std::int32_t iconCy = 0, bool saveFormat = false,
                          std::int32_t iconBitDepth = 32,
                          const DecoderChain& decoders = BuiltInDecoders());
    // streamStart < 0 is raised to 0; streamLength 0 = to the end of the array.
    bool LoadPicture_Stream(std::span<const std::uint8_t> inStream, std::int32_t iconCx = 0,
                            std::int32_t iconCy = 0, std::int64_t streamStart = 0,
                            std::int64_t streamLength = 0, bool saveFormat = false,
                            std::int32_t iconBitDepth = 32,
                            const DecoderChain& decoders = BuiltInDecoders());
    bool LoadPicture_FromOrignalFormat(std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                                       std::int32_t iconBitDepth = 32,
                                       const DecoderChain& decoders = BuiltInDecoders());

#ifdef _WIN32
    bool LoadPicture_StdPicture(IPicture* picture);
    bool LoadPicture_ByHandle(std::intptr_t handle);
    bool LoadPicture_ClipBoard();
    // resSection empty: resIndex names a bitmap/icon/cursor resource (pictureType 0 bitmap,
    // 1 icon, 2 cursor); otherwise resSection is a custom resource type whose bytes are loaded.
    // Resource names are UTF-8; "#123" names a numeric id.
    bool LoadPicture_Resource(std::string_view resIndex, std::string_view resSection,
                              std::intptr_t module = 0, std::int32_t iconCx = 0,
                              std::int32_t iconCy = 0, std::int64_t streamStart = 0,
                              std::int64_t streamLength = 0, std::int32_t iconBitDepth = 32,
                              std::int32_t pictureType = 0);
    static bool GetDroppedFileNames(IDataObject* dataObject, std::vector<std::string>& files);
    static bool GetPastedFileNames(std::vector<std::string>& files);
#endif

    // --- rendering ---------------------------------------------------------------------------
    // What to draw where (imaging/services.h).
    using RenderPlan = corvale::RenderPlan;
    // True when something was drawn.
    bool Render(const RenderPlan& plan) const;
    // The same with the arguments in order.
    bool Render(std::intptr_t destinationDC, std::int32_t destX = 0, std::int32_t destY = 0,
                std::int32_t destWidth = 0, std::int32_t destHeight = 0, std::int32_t srcX = 0,
                std::int32_t srcY = 0, std::int32_t srcWidth = 0, std::int32_t srcHeight = 0,
                std::int32_t opacity = 100, bool blend = true, bool setHalfTone = true,
                c32bppDIB* destHostDIB = nullptr, std::int32_t grayScale = -1,
                float lightAdjustment = 0.0f, float angle = 0.0f,
                bool centerOnDestXY = false) const {
        return Render(RenderPlan{destinationDC, destX, destY, destWidth, destHeight, srcX, srcY,
                                 srcWidth, srcHeight, opacity, blend, setHalfTone, destHostDIB,
                                 grayScale, lightAdjustment, angle, centerOnDestXY});
    }

    // --- effects and saving ------------------------------------------------------------------
    bool MakeImageInverse();
    bool MakeTransparent(std::int32_t transparentColor, bool revert = false);
    bool MirrorImage(bool mirrorAxisX, bool mirrorAxisY);
    bool CreateDropShadow(std::int32_t blurDepth, std::int32_t color, c32bppDIB& shadow) const;
    bool RenderDropShadow_JIT(std::intptr_t hDC, std::int32_t x, std::int32_t y,
                              std::int32_t blurDepth, std::int32_t color, std::int32_t opacity,
                              c32bppDIB* destHostDIB = nullptr) const;
    bool CreateCheckerBoard(std::int32_t checkerSize, std::int32_t firstColor,
                            std::int32_t secondColor);
    // The visible pixels as rectangles (style 0, 1 or 2), moved by the offsets; empty when
    // there is no image, no visible pixel or the style is unknown.
    std::vector<RegionRect> CreateRegionRects(std::int32_t style, std::int32_t xOffset = 0,
                                              std::int32_t yOffset = 0) const;
#ifdef _WIN32
    // A GDI region (HRGN) the caller owns, or 0.
    std::intptr_t CreateRegion(std::int32_t style, std::int32_t xOffset = 0,
                               std::int32_t yOffset = 0) const;
#endif
    bool CopyImageTo(c32bppDIB& target, std::int32_t newWidth = 0, std::int32_t newHeight = 0,
                     bool copyOriginalFormat = false) const;
    // The entries (size, depth) of the icon or cursor file kept as this image's source bytes;
    // false when no such file is kept.
    bool SourceIconSizes(std::vector<IconSize>& sizes) const;
    bool SaveToStream(std::vector<std::uint8_t>& out) const;
    bool SaveToStream_PNG(std::vector<std::uint8_t>& out) const;

  private:
    // Makes the storage of a new picture (InitializeDIB and InitializeDIBForOverwrite).
    bool Initialize(std::int32_t width, std::int32_t height, ImageFill fill);
    bool RouteStream(std::string_view fileName, std::span<const std::uint8_t> bytes,
                     std::int32_t iconCx, std::int32_t iconCy, bool saveFormat,
                     std::int32_t iconBitDepth, const DecoderChain& decoders);
    void ReleaseDC();
    // The end of a load: true when it succeeded and left pixels; otherwise the image is emptied.
    bool KeepLoaded(bool ok);
    // The memory DC while the image is selected into it, else 0.
    std::intptr_t SelectedDC() const {
        return previousBitmap_ ? dc_ : 0;
    }
    // The engines take a plan already resolved: sizes and source clipped to the image, the
    // opacity effective (1..100), the position no longer centred.
    bool RenderRotated(const RenderPlan& plan) const;
    bool RenderUnrotated(const RenderPlan& plan) const;

    std::shared_ptr<PngEncoderObject> pngEncoder_;
    bool highQuality_ = false;
    std::unique_ptr<ImageStorage> storage_;
    std::int32_t height_ = 0;
    std::int32_t width_ = 0;
    std::intptr_t dc_ = 0;
    std::intptr_t previousBitmap_ = 0;
    std::uint32_t flags_ = 0;
    std::int32_t imageType_ = image_type::kNone;
    bool manageOwnDC_ = false;
    bool alpha_ = false;
    std::uintptr_t gdiToken_ = 0;
    std::vector<std::uint8_t> source_;
    const ImagingServices* services_ = &BuiltInServices();
};

} // namespace corvale
