// Loaders that only Windows has: picture objects, GDI handles, the clipboard, resources and
// dropped or pasted file lists.
#include "codecs/cBMPparser.h"
#include "codecs/cICOparser.h"
#include "codecs/win32/picture_objects.h"
#include "imaging/c32bppDIB.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/wide_text.h"

#include <shellapi.h>
#include <windows.h>

#include <new>
#include <string>
#include <vector>

namespace corvale {
namespace {

// The clipboard, open for the life of the object.
class OpenedClipboard {
  public:
    OpenedClipboard() : open_(OpenClipboard(nullptr) != 0) {}
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool open() const { return open_; }

  private:
    bool open_;
};

// Names of a file-drop list.
std::vector<std::string> DropFileNames(HDROP drop) {
    std::vector<std::string> names;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFFu, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        if (length == 0) continue;
        std::wstring name(length + 1, L'\0');
        const UINT got = DragQueryFileW(drop, i, name.data(), length + 1);
        name.resize(got);
        if (!name.empty()) names.push_back(Utf8FromWide(name));
    }
    return names;
}

// An enhanced-metafile copy of a metafile picture record (which carries the extents).
HENHMETAFILE EnhancedFromMetafilePict(const METAFILEPICT& pict) {
    const UINT size = GetMetaFileBitsEx(pict.hMF, 0, nullptr);
    if (size == 0) return nullptr;
    std::vector<BYTE> bits(size);
    if (GetMetaFileBitsEx(pict.hMF, size, bits.data()) != size) return nullptr;
    return SetWinMetaFileBits(size, bits.data(), nullptr, &pict);
}

// A resource name: "#123" is the numeric id 123. The wide text must outlive the pointer.
LPCWSTR ResourceName(std::string_view name, std::wstring& storage) {
    if (name.size() > 1 && name[0] == '#') {
        unsigned long id = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9' || id > 0xFFFF) return nullptr;
            id = id * 10 + unsigned(c - '0');
        }
        if (id == 0 || id > 0xFFFF) return nullptr;
        return MAKEINTRESOURCEW(id);
    }
    storage = WideFromUtf8(name);
    return storage.empty() ? nullptr : storage.c_str();
}

} // namespace

bool c32bppDIB::LoadPicture_StdPicture(IPicture* picture) try {
    DestroyDIB();
    if (!picture) return false;
    SHORT type = PICTYPE_NONE;
    if (FAILED(picture->get_Type(&type))) return false;
    OLE_HANDLE handle = 0;
    if (type != PICTYPE_NONE && type != PICTYPE_UNINITIALIZED &&
        FAILED(picture->get_Handle(&handle)))
        return false;
    const auto h = static_cast<std::intptr_t>(handle);
    bool ok = false;
    switch (type) {
    case PICTYPE_NONE:
    case PICTYPE_UNINITIALIZED:
        return false;
    case PICTYPE_ICON:
        ok = cICOparser().ConvertstdPicTo32bpp(h, *this);
        break;
    case PICTYPE_BITMAP:
        ok = cBMPparser().ConvertstdPicTo32bpp(nullptr, h, *this);
        break;
    default:
        ok = cBMPparser().ConvertstdPicTo32bpp(picture, 0, *this);
        break; // metafiles
    }
    return KeepLoaded(ok);
} catch (const std::bad_alloc&) {
    return KeepLoaded(false);
}

bool c32bppDIB::LoadPicture_ByHandle(std::intptr_t handle) try {
    DestroyDIB();
    if (!handle) return false;
    const auto gdiObject = reinterpret_cast<HGDIOBJ>(handle);
    bool ok = false;
    switch (GetObjectType(gdiObject)) {
    case OBJ_BITMAP:
        ok = cBMPparser().ConvertstdPicTo32bpp(nullptr, handle, *this);
        break;
    case OBJ_ENHMETAFILE:
    case OBJ_METAFILE: {
        // The picture object owns what it is given, so it gets a copy: the caller keeps its
        // handle. A plain metafile carries no size, so it becomes an enhanced one.
        HENHMETAFILE copy = nullptr;
        if (GetObjectType(gdiObject) == OBJ_ENHMETAFILE) {
            copy = CopyEnhMetaFileW(reinterpret_cast<HENHMETAFILE>(handle), nullptr);
        } else {
            METAFILEPICT pict{MM_ANISOTROPIC, 0, 0, reinterpret_cast<HMETAFILE>(handle)};
            copy = EnhancedFromMetafilePict(pict);
        }
        if (!copy) return false;
        PicturePtr picture =
            PictureFromHandle(reinterpret_cast<std::intptr_t>(copy), PictureKind::EnhMetafile);
        if (!picture) {
            DeleteEnhMetaFile(copy);
            return false;
        }
        return LoadPicture_StdPicture(picture.get());
    }
    default: {
        ICONINFO info{};
        if (!GetIconInfo(reinterpret_cast<HICON>(handle), &info)) return false;
        // Only whether it is an icon is asked: the copies of its bitmaps are not used.
        const win32::BitmapHandle colour(info.hbmColor), mask(info.hbmMask);
        ok = cICOparser().ConvertstdPicTo32bpp(handle, *this);
        break;
    }
    }
    return KeepLoaded(ok);
} catch (const std::bad_alloc&) {
    return KeepLoaded(false);
}

bool c32bppDIB::LoadPicture_ClipBoard() try {
    DestroyDIB();
    const bool bitmap = IsClipboardFormatAvailable(CF_BITMAP) || IsClipboardFormatAvailable(CF_DIB);
    const bool enhanced = IsClipboardFormatAvailable(CF_ENHMETAFILE);
    const bool metafile = IsClipboardFormatAvailable(CF_METAFILEPICT);
    if (!bitmap && !enhanced && !metafile) return false;

    PicturePtr picture;
    {
        OpenedClipboard clipboard;
        if (!clipboard.open()) return false;
        // The clipboard keeps its handles; the picture gets copies.
        if (bitmap) {
            if (HANDLE h = GetClipboardData(CF_BITMAP)) {
                win32::GdiObject copy(CopyImage(h, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
                if (copy) {
                    picture = PictureFromHandle(reinterpret_cast<std::intptr_t>(copy.get()),
                                                PictureKind::Bitmap);
                    if (picture) copy.release(); // the picture owns it now
                }
            }
        }
        if (!picture && enhanced) {
            if (HANDLE h = GetClipboardData(CF_ENHMETAFILE)) {
                HENHMETAFILE copy = CopyEnhMetaFileW(static_cast<HENHMETAFILE>(h), nullptr);
                if (copy) {
                    picture = PictureFromHandle(reinterpret_cast<std::intptr_t>(copy),
                                                PictureKind::EnhMetafile);
                    if (!picture) DeleteEnhMetaFile(copy);
                }
            }
        }
        if (!picture && metafile) {
            if (HANDLE h = GetClipboardData(CF_METAFILEPICT)) {
                HENHMETAFILE copy = nullptr;
                if (const auto* pict = static_cast<const METAFILEPICT*>(GlobalLock(h))) {
                    if (GlobalSize(h) >= sizeof(METAFILEPICT))
                        copy = EnhancedFromMetafilePict(*pict);
                    GlobalUnlock(h);
                }
                if (copy) {
                    picture = PictureFromHandle(reinterpret_cast<std::intptr_t>(copy),
                                                PictureKind::EnhMetafile);
                    if (!picture) DeleteEnhMetaFile(copy);
                }
            }
        }
    }
    return picture && LoadPicture_StdPicture(picture.get());
} catch (const std::bad_alloc&) {
    DestroyDIB();
    return false;
}

bool c32bppDIB::LoadPicture_Resource(std::string_view resIndex, std::string_view resSection,
                                     std::intptr_t module, std::int32_t iconCx, std::int32_t iconCy,
                                     std::int64_t streamStart, std::int64_t streamLength,
                                     std::int32_t iconBitDepth, std::int32_t pictureType) try {
    DestroyDIB();
    HMODULE instance = module ? reinterpret_cast<HMODULE>(module) : GetModuleHandleW(nullptr);
    std::wstring nameText, typeText;
    LPCWSTR name = ResourceName(resIndex, nameText);
    if (!name) return false;
    if (!resSection.empty()) {
        LPCWSTR type = ResourceName(resSection, typeText);
        if (!type) return false;
        HRSRC found = FindResourceW(instance, name, type);
        if (!found) return false;
        HGLOBAL loaded = LoadResource(instance, found);
        const DWORD size = SizeofResource(instance, found);
        const auto* bytes =
            loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
        if (!bytes || size == 0) return false;
        LoadPicture_Stream(std::span<const std::uint8_t>(bytes, size), iconCx, iconCy, streamStart,
                           streamLength, false, iconBitDepth);
        return storage_ != nullptr;
    }
    UINT kind = IMAGE_BITMAP;
    PictureKind pictureKind = PictureKind::Bitmap;
    if (pictureType == 1 || pictureType == 2) {
        kind = pictureType == 1 ? IMAGE_ICON : IMAGE_CURSOR;
        pictureKind = PictureKind::Icon;
    }
    HANDLE h = LoadImageW(instance, name, kind, kind == IMAGE_BITMAP ? 0 : iconCx,
                          kind == IMAGE_BITMAP ? 0 : iconCy,
                          kind == IMAGE_BITMAP ? LR_CREATEDIBSECTION : LR_DEFAULTCOLOR);
    if (!h) return false;
    PicturePtr picture = PictureFromHandle(reinterpret_cast<std::intptr_t>(h), pictureKind);
    if (!picture) {
        if (kind == IMAGE_BITMAP)
            DeleteObject(h);
        else
            DestroyIcon(static_cast<HICON>(h));
        return false;
    }
    LoadPicture_StdPicture(picture.get());
    return storage_ != nullptr;
} catch (const std::bad_alloc&) {
    DestroyDIB();
    return false;
}

bool c32bppDIB::GetDroppedFileNames(IDataObject* dataObject, std::vector<std::string>& files) {
    files.clear();
    if (!dataObject) return false;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(dataObject->GetData(&format, &medium))) return false;
    try {
        if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal)
            files = DropFileNames(static_cast<HDROP>(medium.hGlobal));
    } catch (const std::bad_alloc&) {
        files.clear();
    }
    ReleaseStgMedium(&medium);
    return !files.empty();
}

bool c32bppDIB::GetPastedFileNames(std::vector<std::string>& files) {
    files.clear();
    if (!IsClipboardFormatAvailable(CF_HDROP)) return false;
    OpenedClipboard clipboard;
    if (!clipboard.open()) return false;
    try {
        if (HANDLE h = GetClipboardData(CF_HDROP)) files = DropFileNames(static_cast<HDROP>(h));
    } catch (const std::bad_alloc&) {
        files.clear();
    }
    return !files.empty();
}

} // namespace corvale
