#include "imaging/win32/cGDIPlus.h"

#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include "codecs/cPNGparser.h"
#include "codecs/modParsers.h"
#include "imaging/c32bppDIB.h"

#include <windows.h>

#include <objidl.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>

namespace corvale {
namespace {

// --- the flat interface
// ----------------------------------------------------------------------------

using GpStatus = int;
constexpr GpStatus kOk = 0;
struct GpImage;
struct GpGraphics;
struct GpImageAttributes;

struct StartupInput {
    UINT32 GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

struct ColorMatrix {
    float m[5][5];
};

struct CodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    DWORD Flags;
    DWORD Version;
    DWORD SigCount;
    DWORD SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
};

constexpr int kPixelFormat32bppPARGB = 0x000E200B;
constexpr int kUnitPixel = 2;
constexpr int kInterpolationNearestNeighbor = 5;
constexpr int kInterpolationHighQualityBicubic = 7;
constexpr int kPixelOffsetModeHalf = 4;
constexpr int kCompositingModeSourceCopy = 1;
constexpr int kMatrixOrderPrepend = 0;
constexpr int kColorAdjustTypeDefault = 0;
constexpr int kColorMatrixFlagsDefault = 0;
// Largest picture GDI+ may hand us (pixels a side); larger ones are refused.
constexpr UINT kMaxDecodedSide = 32768;
constexpr std::uint64_t kMaxDecodedPixels = 1ull << 28;

struct FlatApi {
    HMODULE module = nullptr;
    GpStatus(WINAPI* GdiplusStartup)(ULONG_PTR*, const StartupInput*, void*) = nullptr;
    void(WINAPI* GdiplusShutdown)(ULONG_PTR) = nullptr;
    GpStatus(WINAPI* CreateBitmapFromScan0)(INT, INT, INT, INT, BYTE*, GpImage**) = nullptr;
    GpStatus(WINAPI* CreateFromHDC)(HDC, GpGraphics**) = nullptr;
    GpStatus(WINAPI* GetImageGraphicsContext)(GpImage*, GpGraphics**) = nullptr;
    GpStatus(WINAPI* DeleteGraphics)(GpGraphics*) = nullptr;
    GpStatus(WINAPI* SetInterpolationMode)(GpGraphics*, int) = nullptr;
    GpStatus(WINAPI* SetPixelOffsetMode)(GpGraphics*, int) = nullptr;
    GpStatus(WINAPI* SetCompositingMode)(GpGraphics*, int) = nullptr;
    GpStatus(WINAPI* CreateImageAttributes)(GpImageAttributes**) = nullptr;
    GpStatus(WINAPI* SetImageAttributesColorMatrix)(GpImageAttributes*, int, BOOL,
                                                    const ColorMatrix*, const ColorMatrix*,
                                                    int) = nullptr;
    GpStatus(WINAPI* DisposeImageAttributes)(GpImageAttributes*) = nullptr;
    GpStatus(WINAPI* DrawImageRectRectI)(GpGraphics*, GpImage*, INT, INT, INT, INT, INT, INT, INT,
                                         INT, int, GpImageAttributes*, void*, void*) = nullptr;
    GpStatus(WINAPI* TranslateWorldTransform)(GpGraphics*, float, float, int) = nullptr;
    GpStatus(WINAPI* RotateWorldTransform)(GpGraphics*, float, int) = nullptr;
    GpStatus(WINAPI* DisposeImage)(GpImage*) = nullptr;
    GpStatus(WINAPI* LoadImageFromFile)(const WCHAR*, GpImage**) = nullptr;
    GpStatus(WINAPI* LoadImageFromStream)(IStream*, GpImage**) = nullptr;
    GpStatus(WINAPI* GetImageWidth)(GpImage*, UINT*) = nullptr;
    GpStatus(WINAPI* GetImageHeight)(GpImage*, UINT*) = nullptr;
    GpStatus(WINAPI* GetImageEncodersSize)(UINT*, UINT*) = nullptr;
    GpStatus(WINAPI* GetImageEncoders)(UINT, UINT, CodecInfo*) = nullptr;
    GpStatus(WINAPI* SaveImageToStream)(GpImage*, IStream*, const CLSID*, const void*) = nullptr;
    GpStatus(WINAPI* SaveImageToFile)(GpImage*, const WCHAR*, const CLSID*, const void*) = nullptr;

    bool Complete() const {
        return GdiplusStartup && GdiplusShutdown && CreateBitmapFromScan0 && CreateFromHDC &&
               GetImageGraphicsContext && DeleteGraphics && SetInterpolationMode &&
               SetPixelOffsetMode && SetCompositingMode && CreateImageAttributes &&
               SetImageAttributesColorMatrix && DisposeImageAttributes && DrawImageRectRectI &&
               TranslateWorldTransform && RotateWorldTransform && DisposeImage &&
               LoadImageFromFile && LoadImageFromStream && GetImageWidth && GetImageHeight &&
               GetImageEncodersSize && GetImageEncoders && SaveImageToStream && SaveImageToFile;
    }
};

template <typename Fn> void Bind(HMODULE module, Fn& fn, const char* name) {
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::atomic<int> gOpenSessions{0};
std::atomic<int> gSessionsStarted{0};

// The library, loaded once and kept for the process: sessions and the marker windows of
// running forms rely on it staying put.
class Library {
  public:
    static const FlatApi* Get() {
        static Library library;
        return library.api_.module && library.api_.Complete() ? &library.api_ : nullptr;
    }
    ~Library() {
        // Only when no session is open any more (a form may outlive static destruction).
        if (api_.module && gOpenSessions.load() == 0) FreeLibrary(api_.module);
    }

  private:
    Library() {
        api_.module = LoadSystemLibrary(L"gdiplus.dll");
        if (!api_.module) return;
        HMODULE m = api_.module;
        Bind(m, api_.GdiplusStartup, "GdiplusStartup");
        Bind(m, api_.GdiplusShutdown, "GdiplusShutdown");
        Bind(m, api_.CreateBitmapFromScan0, "GdipCreateBitmapFromScan0");
        Bind(m, api_.CreateFromHDC, "GdipCreateFromHDC");
        Bind(m, api_.GetImageGraphicsContext, "GdipGetImageGraphicsContext");
        Bind(m, api_.DeleteGraphics, "GdipDeleteGraphics");
        Bind(m, api_.SetInterpolationMode, "GdipSetInterpolationMode");
        Bind(m, api_.SetPixelOffsetMode, "GdipSetPixelOffsetMode");
        Bind(m, api_.SetCompositingMode, "GdipSetCompositingMode");
        Bind(m, api_.CreateImageAttributes, "GdipCreateImageAttributes");
        Bind(m, api_.SetImageAttributesColorMatrix, "GdipSetImageAttributesColorMatrix");
        Bind(m, api_.DisposeImageAttributes, "GdipDisposeImageAttributes");
        Bind(m, api_.DrawImageRectRectI, "GdipDrawImageRectRectI");
        Bind(m, api_.TranslateWorldTransform, "GdipTranslateWorldTransform");
        Bind(m, api_.RotateWorldTransform, "GdipRotateWorldTransform");
        Bind(m, api_.DisposeImage, "GdipDisposeImage");
        Bind(m, api_.LoadImageFromFile, "GdipLoadImageFromFile");
        Bind(m, api_.LoadImageFromStream, "GdipLoadImageFromStream");
        Bind(m, api_.GetImageWidth, "GdipGetImageWidth");
        Bind(m, api_.GetImageHeight, "GdipGetImageHeight");
        Bind(m, api_.GetImageEncodersSize, "GdipGetImageEncodersSize");
        Bind(m, api_.GetImageEncoders, "GdipGetImageEncoders");
        Bind(m, api_.SaveImageToStream, "GdipSaveImageToStream");
        Bind(m, api_.SaveImageToFile, "GdipSaveImageToFile");
    }
    FlatApi api_;
};

// --- small owners
// ----------------------------------------------------------------------------------

// A session for the span of one call when the caller has none.
class CallSession {
  public:
    explicit CallSession(std::uintptr_t token)
        : own_(token == 0 ? cGDIPlus::StartSession() : 0), usable_(token != 0 || own_ != 0) {}
    ~CallSession() { cGDIPlus::StopSession(own_); }
    CallSession(const CallSession&) = delete;
    CallSession& operator=(const CallSession&) = delete;
    bool Usable() const { return usable_; }

  private:
    std::uintptr_t own_;
    bool usable_;
};

template <typename T, GpStatus (WINAPI* FlatApi::*Dispose)(T*)> class GpOwned {
  public:
    explicit GpOwned(const FlatApi& api) : api_(api) {}
    ~GpOwned() {
        if (p_) (api_.*Dispose)(p_);
    }
    GpOwned(const GpOwned&) = delete;
    GpOwned& operator=(const GpOwned&) = delete;
    T** Out() { return &p_; }
    T* get() const { return p_; }

  private:
    const FlatApi& api_;
    T* p_ = nullptr;
};
using ImageOwner = GpOwned<GpImage, &FlatApi::DisposeImage>;
using GraphicsOwner = GpOwned<GpGraphics, &FlatApi::DeleteGraphics>;
using AttributesOwner = GpOwned<GpImageAttributes, &FlatApi::DisposeImageAttributes>;

class StreamOwner {
  public:
    ~StreamOwner() {
        if (p_) p_->Release();
    }
    IStream** Out() { return &p_; }
    IStream* get() const { return p_; }

  private:
    IStream* p_ = nullptr;
};

// The bytes in a memory stream (global memory block, freed with the stream).
bool StreamFromBytes(std::span<const std::uint8_t> bytes, StreamOwner& stream) {
    if (bytes.empty()) return false;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return false;
    void* p = GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(block);
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, stream.Out()))) {
        GlobalFree(block);
        return false;
    }
    return true;
}

// The bytes written into a memory stream.
bool BytesFromStream(IStream* stream, std::vector<std::uint8_t>& out) {
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
    HGLOBAL block = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &block)) || !block) return false;
    const std::uint64_t size = stat.cbSize.QuadPart;
    if (size == 0 || size > GlobalSize(block)) return false;
    const void* p = GlobalLock(block);
    if (!p) return false;
    out.assign(static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + size);
    GlobalUnlock(block);
    return true;
}

// The image's pixels top row first, mirrored as asked (work copy for a GDI+ bitmap).
std::vector<std::uint8_t> TopDownCopy(const c32bppDIB& image, bool mirrorX, bool mirrorY) {
    const std::int32_t w = image.Width(), h = image.Height();
    const std::size_t row = std::size_t(w) * 4;
    std::vector<std::uint8_t> out(row * std::size_t(h));
    const std::uint8_t* bits = image.BitsPointer();
    for (std::int32_t y = 0; y < h; ++y) {
        const std::int32_t sourceTopRow = mirrorY ? h - 1 - y : y;
        const std::uint8_t* src = bits + std::size_t(h - 1 - sourceTopRow) * row;
        std::uint8_t* dst = out.data() + std::size_t(y) * row;
        if (!mirrorX) {
            std::memcpy(dst, src, row);
        } else {
            for (std::int32_t x = 0; x < w; ++x)
                std::memcpy(dst + std::size_t(x) * 4, src + std::size_t(w - 1 - x) * 4, 4);
        }
    }
    return out;
}

bool PngEncoderClass(const FlatApi& api, CLSID& clsid) {
    UINT count = 0, size = 0;
    if (api.GetImageEncodersSize(&count, &size) != kOk || count == 0 ||
        size < count * sizeof(CodecInfo))
        return false;
    std::vector<std::uint8_t> block(size);
    auto* codecs = reinterpret_cast<CodecInfo*>(block.data());
    if (api.GetImageEncoders(count, size, codecs) != kOk) return false;
    for (UINT i = 0; i < count; ++i)
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

// A 32-bpp DIB section selected into dc, when there is one: GDI+ then draws into its pixels as
// a premultiplied bitmap so that alpha survives.
bool SelectedDibSection(HDC dc, DIBSECTION& ds) {
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    if (!bitmap) return false;
    if (GetObjectW(bitmap, sizeof ds, &ds) != int(sizeof ds)) return false;
    return ds.dsBm.bmBitsPixel == 32 && ds.dsBm.bmBits && ds.dsBm.bmWidth > 0 &&
           ds.dsBm.bmHeight > 0;
}

void SetGraphicsQuality(const FlatApi& api, GpGraphics* g, bool highQuality) {
    api.SetInterpolationMode(g, highQuality ? kInterpolationHighQualityBicubic
                                            : kInterpolationNearestNeighbor);
    api.SetPixelOffsetMode(g, kPixelOffsetModeHalf);
}

bool EngineStarts() {
    return cGDIPlus::AvailableOnThisSystem();
}
bool EngineDraw(const c32bppDIB& image, const GdiplusDrawArgs& args) {
    return cGDIPlus::Draw(image, args);
}
bool EngineDecode(c32bppDIB& image, std::string_view fileName, std::span<const std::uint8_t> bytes,
                  std::uintptr_t token) {
    return cGDIPlus::LoadPicture(image, fileName, bytes, token);
}
bool EngineSavePng(const c32bppDIB& image, std::vector<std::uint8_t>& out) {
    return cGDIPlus::SaveToPNG({}, out, image, image.gdiToken());
}

} // namespace

// --- sessions
// --------------------------------------------------------------------------------------

std::uintptr_t cGDIPlus::StartSession() {
    const FlatApi* api = Library::Get();
    if (!api) return 0;
    StartupInput input;
    ULONG_PTR token = 0;
    if (api->GdiplusStartup(&token, &input, nullptr) != kOk || token == 0) return 0;
    ++gOpenSessions;
    ++gSessionsStarted;
    return token;
}

void cGDIPlus::StopSession(std::uintptr_t token) {
    if (token == 0 || token == static_cast<std::uintptr_t>(-1)) return;
    const FlatApi* api = Library::Get();
    if (!api) return;
    api->GdiplusShutdown(token);
    --gOpenSessions;
}

int cGDIPlus::OpenSessions() {
    return gOpenSessions.load();
}
int cGDIPlus::SessionsStarted() {
    return gSessionsStarted.load();
}

bool cGDIPlus::isGDIplusOk(std::uintptr_t& gdiToken, bool keepToken) {
    gdiToken = 0;
    if (!HasExport("gdiplus.dll", "GdiplusStartup")) return false;
    const std::uintptr_t token = StartSession();
    if (!token) return false;
    if (keepToken)
        gdiToken = token;
    else
        StopSession(token);
    return true;
}

bool cGDIPlus::AvailableOnThisSystem() {
    static const bool available = [] {
        std::uintptr_t token = 0;
        return isGDIplusOk(token, false);
    }();
    return available;
}

// --- decoding
// --------------------------------------------------------------------------------------

bool cGDIPlus::LoadPicture(c32bppDIB& image, std::string_view fileName,
                           std::span<const std::uint8_t> bytes, std::uintptr_t token) {
    const FlatApi* api = Library::Get();
    if (!api) return false;
    CallSession session(token);
    if (!session.Usable()) return false;

    StreamOwner stream;
    ImageOwner picture(*api);
    if (!fileName.empty()) {
        const std::wstring name = WideFromUtf8(fileName);
        if (name.empty() || api->LoadImageFromFile(name.c_str(), picture.Out()) != kOk)
            return false;
    } else {
        if (!StreamFromBytes(bytes, stream) ||
            api->LoadImageFromStream(stream.get(), picture.Out()) != kOk)
            return false;
    }
    UINT w = 0, h = 0;
    if (api->GetImageWidth(picture.get(), &w) != kOk ||
        api->GetImageHeight(picture.get(), &h) != kOk || w == 0 || h == 0 || w > kMaxDecodedSide ||
        h > kMaxDecodedSide || std::uint64_t(w) * h > kMaxDecodedPixels)
        return false;

    // Drawn 1:1 into a premultiplied work bitmap, then stored bottom-up.
    const std::size_t row = std::size_t(w) * 4;
    std::vector<std::uint8_t> work(row * h, 0);
    {
        ImageOwner target(*api);
        if (api->CreateBitmapFromScan0(INT(w), INT(h), INT(row), kPixelFormat32bppPARGB,
                                       work.data(), target.Out()) != kOk)
            return false;
        GraphicsOwner g(*api);
        if (api->GetImageGraphicsContext(target.get(), g.Out()) != kOk) return false;
        api->SetCompositingMode(g.get(), kCompositingModeSourceCopy);
        SetGraphicsQuality(*api, g.get(), false);
        if (api->DrawImageRectRectI(g.get(), picture.get(), 0, 0, INT(w), INT(h), 0, 0, INT(w),
                                    INT(h), kUnitPixel, nullptr, nullptr, nullptr) != kOk)
            return false;
    }
    if (!image.InitializeDIB(INT(w), INT(h))) return false;
    std::uint8_t* bits = image.BitsPointer();
    for (UINT y = 0; y < h; ++y)
        std::memcpy(bits + std::size_t(h - 1 - y) * row, work.data() + std::size_t(y) * row, row);
    bool hasAlpha = false;
    std::int32_t type = 0;
    ExamineAlpha(image, true, hasAlpha, type);
    image.SetAlpha(hasAlpha);
    image.SetImageType(image_type::kPng);
    return true;
}

// --- saving
// ----------------------------------------------------------------------------------------

bool cGDIPlus::SaveToPNG(std::string_view fileName, std::vector<std::uint8_t>& out,
                         const c32bppDIB& image, std::uintptr_t token) {
    out.clear();
    const FlatApi* api = Library::Get();
    if (!api || !image.BitsPointer()) return false;
    CallSession session(token);
    if (!session.Usable()) return false;
    CLSID png{};
    if (!PngEncoderClass(*api, png)) return false;
    std::vector<std::uint8_t> work = TopDownCopy(image, false, false);
    ImageOwner bitmap(*api);
    if (api->CreateBitmapFromScan0(image.Width(), image.Height(), image.scanWidth(),
                                   kPixelFormat32bppPARGB, work.data(), bitmap.Out()) != kOk)
        return false;
    if (!fileName.empty()) {
        const std::wstring name = WideFromUtf8(fileName);
        return !name.empty() &&
               api->SaveImageToFile(bitmap.get(), name.c_str(), &png, nullptr) == kOk;
    }
    StreamOwner stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()))) return false;
    if (api->SaveImageToStream(bitmap.get(), stream.get(), &png, nullptr) != kOk) return false;
    if (!BytesFromStream(stream.get(), out)) {
        out.clear();
        return false;
    }
    return true;
}

// --- drawing
// ---------------------------------------------------------------------------------------

bool cGDIPlus::Draw(const c32bppDIB& image, const GdiplusDrawArgs& a) {
    const FlatApi* api = Library::Get();
    if (!api || !image.BitsPointer() || !a.destinationDC) return false;
    if (a.destWidth == 0 || a.destHeight == 0 || a.srcWidth <= 0 || a.srcHeight <= 0) return false;
    CallSession session(a.token);
    if (!session.Usable()) return false;

    const bool mirrorX = a.destWidth < 0, mirrorY = a.destHeight < 0;
    const std::int32_t dw = mirrorX ? -a.destWidth : a.destWidth;
    const std::int32_t dh = mirrorY ? -a.destHeight : a.destHeight;
    // The source rectangle inside the mirrored copy.
    const std::int32_t sx = mirrorX ? image.Width() - a.srcX - a.srcWidth : a.srcX;
    const std::int32_t sy = mirrorY ? image.Height() - a.srcY - a.srcHeight : a.srcY;
    std::vector<std::uint8_t> work = TopDownCopy(image, mirrorX, mirrorY);
    ImageOwner bitmap(*api);
    if (api->CreateBitmapFromScan0(image.Width(), image.Height(), image.scanWidth(),
                                   kPixelFormat32bppPARGB, work.data(), bitmap.Out()) != kOk)
        return false;

    HDC dc = reinterpret_cast<HDC>(a.destinationDC);
    ImageOwner dibTarget(*api);
    GraphicsOwner g(*api);
    DIBSECTION ds{};
    if (SelectedDibSection(dc, ds)) {
        // Straight into the selected DIB's pixels (alpha kept); bottom-up DIBs are walked from
        // their last row with a negative stride.
        const INT w = ds.dsBm.bmWidth, h = ds.dsBm.bmHeight;
        const INT stride = ds.dsBm.bmWidthBytes;
        const bool bottomUp = ds.dsBmih.biHeight > 0;
        auto* base = static_cast<BYTE*>(ds.dsBm.bmBits);
        BYTE* scan0 = bottomUp ? base + std::size_t(h - 1) * std::size_t(stride) : base;
        if (api->CreateBitmapFromScan0(w, h, bottomUp ? -stride : stride, kPixelFormat32bppPARGB,
                                       scan0, dibTarget.Out()) != kOk ||
            api->GetImageGraphicsContext(dibTarget.get(), g.Out()) != kOk)
            return false;
        POINT origin{};
        GetViewportOrgEx(dc, &origin);
        if (origin.x || origin.y)
            api->TranslateWorldTransform(g.get(), float(origin.x), float(origin.y),
                                         kMatrixOrderPrepend);
    } else if (api->CreateFromHDC(dc, g.Out()) != kOk) {
        return false;
    }
    SetGraphicsQuality(*api, g.get(), a.highQuality);

    AttributesOwner attributes(*api);
    const std::int32_t opacity = a.opacity;
    if (a.grayScale != -1 || a.lightAdjustment != 0.0f || (opacity > 0 && opacity < 100)) {
        ColorMatrix m{};
        if (a.grayScale != -1) {
            const GrayWeightSet w = GrayWeights(a.grayScale);
            for (int column = 0; column < 3; ++column) {
                m.m[0][column] = w.red;
                m.m[1][column] = w.green;
                m.m[2][column] = w.blue;
            }
        } else {
            m.m[0][0] = m.m[1][1] = m.m[2][2] = 1.0f;
        }
        const float light = (a.lightAdjustment >= -100.0f && a.lightAdjustment <= 100.0f)
                                ? a.lightAdjustment / 100.0f
                                : 0.0f;
        m.m[4][0] = m.m[4][1] = m.m[4][2] = light;
        m.m[3][3] = (opacity > 0 && opacity < 100) ? float(opacity) / 100.0f : 1.0f;
        m.m[4][4] = 1.0f;
        if (api->CreateImageAttributes(attributes.Out()) != kOk ||
            api->SetImageAttributesColorMatrix(attributes.get(), kColorAdjustTypeDefault, TRUE, &m,
                                               nullptr, kColorMatrixFlagsDefault) != kOk)
            return false;
    }

    INT x = a.destX, y = a.destY;
    if (a.angle != 0.0f) {
        // Centred on the destination rectangle as the caller gave it: a negative size spans
        // from destX back to destX + destWidth, as the own engine places it.
        api->TranslateWorldTransform(g.get(), float(a.destX) + float(a.destWidth) / 2.0f,
                                     float(a.destY) + float(a.destHeight) / 2.0f,
                                     kMatrixOrderPrepend);
        api->RotateWorldTransform(g.get(), a.angle, kMatrixOrderPrepend);
        x = -dw / 2;
        y = -dh / 2;
    }
    return api->DrawImageRectRectI(g.get(), bitmap.get(), x, y, dw, dh, sx, sy, a.srcWidth,
                                   a.srcHeight, kUnitPixel, attributes.get(), nullptr,
                                   nullptr) == kOk;
}

const GdiplusEngine& GdiplusEngineForImages() {
    static const GdiplusEngine engine{EngineStarts, EngineDraw, EngineDecode, EngineSavePng};
    return engine;
}

} // namespace corvale
