// The Win32 side of the shared helpers: files, library probing, regions and picture objects.
#include "codecs/image_host.h"
#include "codecs/modParsers.h"
#include "codecs/win32/picture_objects.h"
#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include <cstring>
#include <new>
#include <string>

namespace corvale {
namespace {

HANDLE Native(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// Wide functions when asked, or when the desktop window is a Unicode window.
bool UseWide(bool wide) {
    return wide || IsWindowUnicode(GetDesktopWindow());
}

// Bytes in one ExtCreateRegion block that we are willing to allocate.
constexpr std::size_t kMaxRegionRects = 4u << 20;

} // namespace

bool HasExport(std::string_view library, std::string_view exportName) {
    const std::wstring name = WideFromUtf8(library);
    // A bare name is a DLL of the system; one with a folder is taken as given.
    HMODULE module = name.find_first_of(L"\\/:") == std::wstring::npos
                         ? LoadSystemLibrary(name.c_str())
                         : LoadShippedLibrary(name);
    if (!module) return false;
    const bool found = GetProcAddress(module, std::string(exportName).c_str()) != nullptr;
    FreeLibrary(module);
    return found;
}

void FileHandle::Close() {
    if (native_ != -1) CloseHandle(Native(native_));
    native_ = -1;
}

std::optional<std::uint64_t> FileHandle::Size() const {
    LARGE_INTEGER size{};
    if (native_ == -1 || !GetFileSizeEx(Native(native_), &size) || size.QuadPart < 0)
        return std::nullopt;
    return std::uint64_t(size.QuadPart);
}

std::optional<std::size_t> FileHandle::ReadSome(std::span<std::uint8_t> into) {
    DWORD n = 0;
    const DWORD part = DWORD(std::min<std::size_t>(into.size(), 1u << 30));
    if (!ReadFile(Native(native_), into.data(), part, &n, nullptr)) return std::nullopt;
    return std::size_t{n};
}

std::optional<std::size_t> FileHandle::WriteSome(std::span<const std::uint8_t> bytes) {
    const DWORD part = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD n = 0;
    if (!WriteFile(Native(native_), bytes.data(), part, &n, nullptr) || n == 0) return std::nullopt;
    return std::size_t{n};
}

FileHandle OpenFileForWrite(std::string_view fileName, bool forRead, bool wide) {
    const DWORD access = forRead ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
    const DWORD share = forRead ? FILE_SHARE_READ : 0;
    const DWORD disposition = forRead ? OPEN_EXISTING : CREATE_ALWAYS;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (UseWide(wide)) {
        const std::wstring name = WideFromUtf8(fileName);
        DWORD attributes = forRead ? FILE_ATTRIBUTE_NORMAL : GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) attributes = FILE_ATTRIBUTE_NORMAL;
        h = CreateFileW(name.c_str(), access, share, nullptr, disposition, attributes, nullptr);
    } else {
        const std::string name = AnsiFromUtf8(fileName);
        DWORD attributes = forRead ? FILE_ATTRIBUTE_NORMAL : GetFileAttributesA(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) attributes = FILE_ATTRIBUTE_NORMAL;
        h = CreateFileA(name.c_str(), access, share, nullptr, disposition, attributes, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) return FileHandle();
    return FileHandle(reinterpret_cast<std::intptr_t>(h));
}

bool DeleteFileSafe(std::string_view fileName, bool wide) {
    if (UseWide(wide)) {
        const std::wstring name = WideFromUtf8(fileName);
        SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileW(name.c_str()) != 0;
    }
    const std::string name = AnsiFromUtf8(fileName);
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileA(name.c_str()) != 0;
}

std::intptr_t RegionHandleFromRects(std::span<const RegionRect> rects) try {
    if (rects.empty() || rects.size() > kMaxRegionRects) return 0;
    if (rects.size() == 1) {
        const RegionRect& r = rects[0];
        return reinterpret_cast<std::intptr_t>(CreateRectRgn(r.left, r.top, r.right, r.bottom));
    }
    // One block: a 32-byte header and 16 bytes a rectangle.
    const std::size_t bytes = sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT);
    std::vector<std::uint8_t> block(bytes, 0);
    auto* data = reinterpret_cast<RGNDATA*>(block.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = DWORD(rects.size());
    data->rdh.nRgnSize = DWORD(rects.size() * sizeof(RECT));
    RECT bound{rects[0].left, rects[0].top, rects[0].right, rects[0].bottom};
    auto* out = reinterpret_cast<RECT*>(data->Buffer);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const RegionRect& r = rects[i];
        out[i] = RECT{r.left, r.top, r.right, r.bottom};
        bound.left = std::min<LONG>(bound.left, r.left);
        bound.top = std::min<LONG>(bound.top, r.top);
        bound.right = std::max<LONG>(bound.right, r.right);
        bound.bottom = std::max<LONG>(bound.bottom, r.bottom);
    }
    data->rdh.rcBound = bound;
    HRGN region = ExtCreateRegion(nullptr, DWORD(bytes), data);
    if (region) return reinterpret_cast<std::intptr_t>(region);
    // Fallback: union of one region per rectangle.
    HRGN all = CreateRectRgn(0, 0, 0, 0);
    if (!all) return 0;
    for (const RegionRect& r : rects) {
        HRGN one = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        if (!one) continue;
        CombineRgn(all, all, one, RGN_OR);
        DeleteObject(one);
    }
    return reinterpret_cast<std::intptr_t>(all);
} catch (const std::bad_alloc&) {
    return 0;
}

std::intptr_t RegionHandleFromAlpha(const ImageHost& image, std::int32_t style,
                                    std::int32_t xOffset, std::int32_t yOffset) {
    std::vector<RegionRect> rects = RegionFromAlpha(image, style);
    const std::intptr_t region = RegionHandleFromRects(rects);
    if (region && (xOffset || yOffset)) OffsetRgn(reinterpret_cast<HRGN>(region), xOffset, yOffset);
    return region;
}

PicturePtr LoadPictureFromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFFu) return {};
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block) return {};
    void* p = GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        return {};
    }
    std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream)) || !stream) {
        GlobalFree(block);
        return {};
    }
    IPicture* picture = nullptr;
    const HRESULT hr = OleLoadPicture(stream, LONG(bytes.size()), FALSE, IID_IPicture,
                                      reinterpret_cast<void**>(&picture));
    stream->Release(); // frees the block
    if (FAILED(hr)) return {};
    return PicturePtr(picture);
}

PicturePtr PictureFromHandle(std::intptr_t handle, PictureKind kind) {
    if (!handle) return {};
    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof(desc);
    desc.picType = UINT(kind);
    switch (kind) {
    case PictureKind::Bitmap:
        desc.bmp.hbitmap = reinterpret_cast<HBITMAP>(handle);
        break;
    case PictureKind::Icon:
        desc.icon.hicon = reinterpret_cast<HICON>(handle);
        break;
    case PictureKind::EnhMetafile:
        desc.emf.hemf = reinterpret_cast<HENHMETAFILE>(handle);
        break;
    case PictureKind::Metafile:
        desc.wmf.hmeta = reinterpret_cast<HMETAFILE>(handle);
        break;
    }
    IPicture* picture = nullptr;
    if (FAILED(OleCreatePictureIndirect(&desc, IID_IPicture, TRUE,
                                        reinterpret_cast<void**>(&picture))))
        return {};
    return PicturePtr(picture);
}

} // namespace corvale
