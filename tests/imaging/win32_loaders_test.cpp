// The Windows-only loaders: GDI handles, picture objects, the clipboard, resources and file
// lists from drag and drop or the clipboard.
#include "imaging/c32bppDIB.h"

#include "codecs/win32/picture_objects.h"
#include "test_images.h"
#include "tests/support/win32_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <shlobj.h>
#include <windows.h>

namespace corvale {
namespace {

using namespace testing;

// A 32-bpp DIB section with a few translucent pixels (premultiplied), which the caller owns.
HBITMAP MakeAlphaBitmap(int w, int h) {
    void* bits = nullptr;
    HBITMAP bitmap = test_support::NewDibSection(nullptr, w, h, 32, &bits);
    auto* p = static_cast<std::uint8_t*>(bits);
    for (int i = 0; i < w * h; ++i) {
        const std::uint8_t a = i % 2 ? 255 : 128;
        p[i * 4 + 0] = std::uint8_t(a / 2);
        p[i * 4 + 1] = 0;
        p[i * 4 + 2] = 0;
        p[i * 4 + 3] = a;
    }
    return bitmap;
}

HENHMETAFILE MakeMetafile() {
    const RECT frame{0, 0, 1000, 500}; // hundredths of a millimetre
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    HBRUSH brush = CreateSolidBrush(RGB(200, 0, 0));
    const RECT area{0, 0, 30, 15};
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    return CloseEnhMetaFile(dc);
}

TEST(Win32Loaders, BitmapHandleKeepsItsAlpha) {
    HBITMAP bitmap = MakeAlphaBitmap(4, 3);
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.LoadPicture_ByHandle(reinterpret_cast<std::intptr_t>(bitmap)));
    EXPECT_EQ(dib.Width(), 4);
    EXPECT_EQ(dib.Height(), 3);
    EXPECT_TRUE(dib.Alpha());
    EXPECT_EQ(GetObjectType(bitmap), DWORD(OBJ_BITMAP)); // still the caller's
    DeleteObject(bitmap);
    EXPECT_FALSE(dib.LoadPicture_ByHandle(0));
    EXPECT_EQ(dib.ImageType(), image_type::kNone);
}

TEST(Win32Loaders, IconHandle) {
    HBITMAP color = MakeAlphaBitmap(16, 16);
    HBITMAP mask = CreateBitmap(16, 16, 1, 1, nullptr);
    ICONINFO info{TRUE, 0, 0, mask, color};
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(color);
    DeleteObject(mask);
    ASSERT_NE(icon, nullptr);
    c32bppDIB dib(kOwn);
    ASSERT_TRUE(dib.LoadPicture_ByHandle(reinterpret_cast<std::intptr_t>(icon)));
    EXPECT_EQ(dib.Width(), 16);
    EXPECT_EQ(dib.Height(), 16);
    DestroyIcon(icon);
}

// Wine's picture objects report no size for enhanced metafiles, so they cannot be drawn there.
bool UnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TEST(Win32Loaders, MetafileHandleStaysTheCallers) {
    HENHMETAFILE emf = MakeMetafile();
    ASSERT_NE(emf, nullptr);
    c32bppDIB dib(kOwn);
    const bool loaded = dib.LoadPicture_ByHandle(reinterpret_cast<std::intptr_t>(emf));
    // The picture object works on a copy: the caller's handle stays alive whatever the outcome.
    EXPECT_EQ(GetObjectType(emf), DWORD(OBJ_ENHMETAFILE));
    if (!UnderWine()) {
        ASSERT_TRUE(loaded);
        EXPECT_GT(dib.Width(), 0);
        ASSERT_TRUE(dib.LoadPicture_ByHandle(reinterpret_cast<std::intptr_t>(emf)));
    }
    DeleteEnhMetaFile(emf);
}

TEST(Win32Loaders, StdPictureKinds) {
    c32bppDIB dib(kOwn);
    EXPECT_FALSE(dib.LoadPicture_StdPicture(nullptr));
    PicturePtr bitmapPicture = PictureFromHandle(
        reinterpret_cast<std::intptr_t>(MakeAlphaBitmap(5, 2)), PictureKind::Bitmap);
    ASSERT_TRUE(bitmapPicture);
    ASSERT_TRUE(dib.LoadPicture_StdPicture(bitmapPicture.get()));
    EXPECT_EQ(dib.Width(), 5);
    PicturePtr emfPicture = PictureFromHandle(reinterpret_cast<std::intptr_t>(MakeMetafile()),
                                              PictureKind::EnhMetafile);
    ASSERT_TRUE(emfPicture);
    const bool loaded = dib.LoadPicture_StdPicture(emfPicture.get());
    if (!UnderWine()) {
        ASSERT_TRUE(loaded);
        EXPECT_GT(dib.Width(), 0);
    }
}

// The clipboard, opened and emptied for one test and closed again.
struct ClipboardWithData {
    explicit ClipboardWithData(UINT format, HANDLE data) {
        if (!OpenClipboard(nullptr)) return;
        EmptyClipboard();
        ok = SetClipboardData(format, data) != nullptr;
        CloseClipboard();
    }
    ~ClipboardWithData() {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }
    bool ok = false;
};

TEST(Win32Loaders, ClipboardBitmap) {
    c32bppDIB dib(kOwn);
    {
        ClipboardWithData clip(CF_UNICODETEXT, nullptr);
        EXPECT_FALSE(dib.LoadPicture_ClipBoard()); // no picture format offered
    }
    HBITMAP bitmap = CreateBitmap(6, 4, 1, 32, nullptr);
    ClipboardWithData clip(CF_BITMAP, bitmap);
    ASSERT_TRUE(clip.ok);
    ASSERT_TRUE(dib.LoadPicture_ClipBoard());
    EXPECT_EQ(dib.Width(), 6);
    EXPECT_EQ(dib.Height(), 4);
    ASSERT_TRUE(dib.LoadPicture_ClipBoard()); // the clipboard still holds its bitmap
}

// A CF_HDROP block with the given names.
HGLOBAL MakeDropList(const std::vector<std::wstring>& names) {
    std::size_t chars = 1; // the final terminator
    for (const auto& n : names) chars += n.size() + 1;
    if (names.empty()) chars = 2;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * 2);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& n : names) {
        std::memcpy(text, n.c_str(), n.size() * 2);
        text += n.size() + 1;
    }
    GlobalUnlock(block);
    return block;
}

TEST(Win32FileLists, PastedFileNames) {
    std::vector<std::string> files{"stale"};
    {
        ClipboardWithData clip(CF_UNICODETEXT, nullptr);
        EXPECT_FALSE(c32bppDIB::GetPastedFileNames(files));
        EXPECT_TRUE(files.empty());
    }
    ClipboardWithData clip(CF_HDROP,
                           MakeDropList({L"C:\\pics\\a.png", L"C:\\pics\\\u00e9t\u00e9.gif"}));
    ASSERT_TRUE(clip.ok);
    ASSERT_TRUE(c32bppDIB::GetPastedFileNames(files));
    EXPECT_EQ(files,
              (std::vector<std::string>{"C:\\pics\\a.png", "C:\\pics\\\xc3\xa9t\xc3\xa9.gif"}));
}

// A data object that offers one file list.
class DropObject final : public IDataObject {
  public:
    explicit DropObject(std::vector<std::wstring> names) : names_(std::move(names)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; } // lives on the stack
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = MakeDropList(names_);
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

  private:
    std::vector<std::wstring> names_;
    ULONG refs_ = 1;
};

TEST(Win32FileLists, DroppedFileNames) {
    DropObject two({L"C:\\x.bmp", L"D:\\y.ico"});
    std::vector<std::string> files;
    ASSERT_TRUE(c32bppDIB::GetDroppedFileNames(&two, files));
    EXPECT_EQ(files, (std::vector<std::string>{"C:\\x.bmp", "D:\\y.ico"}));
    DropObject none({});
    EXPECT_FALSE(c32bppDIB::GetDroppedFileNames(&none, files));
    EXPECT_FALSE(c32bppDIB::GetDroppedFileNames(nullptr, files));
}

TEST(Win32Loaders, Resources) {
    c32bppDIB dib(kOwn);
    // A custom resource's bytes go through the decoders.
    ASSERT_TRUE(dib.LoadPicture_Resource("#7", "PICTURE"));
    ASSERT_EQ(dib.Width(), 3);
    ASSERT_EQ(dib.Height(), 2);
    EXPECT_EQ(Px(dib, 0, 0), (Bgra{0, 0, 255, 255}));
    EXPECT_EQ(Px(dib, 2, 1), (Bgra{70, 80, 90, 255}));
    // A bitmap resource through a picture object.
    ASSERT_TRUE(dib.LoadPicture_Resource("#8", ""));
    EXPECT_EQ(dib.Width(), 3);
    EXPECT_EQ(Px(dib, 1, 0), (Bgra{0, 255, 0, 255}));
    EXPECT_FALSE(dib.LoadPicture_Resource("#99", "PICTURE"));
    EXPECT_FALSE(dib.LoadPicture_Resource("#99", ""));
    EXPECT_EQ(dib.BitsPointer(), nullptr);
}

} // namespace
} // namespace corvale
