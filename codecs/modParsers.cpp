#include "codecs/modParsers.h"

#include "codecs/image_host.h"

#include <algorithm>
#include <iterator>
#include <new>

#ifndef _WIN32
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvale {

std::int64_t RowBytes(std::int64_t count, std::int32_t bitsPerPixel) {
    if (count <= 0 || bitsPerPixel <= 0) return 0;
    const std::int64_t bits = std::min<std::int64_t>(count, INT32_MAX) * bitsPerPixel;
    return (bits + 31) / 32 * 4;
}

void ExamineAlpha(std::span<std::uint8_t> pixels, bool fix, bool& hasAlpha,
                  std::int32_t& imageType) {
    hasAlpha = false;
    if (imageType == image_type::kNone) return;
    const std::size_t count = pixels.size() / 4;
    std::size_t zeros = 0, opaque = 0;
    int state = 0; // 0 premultiplied so far, 1 a hidden colour seen, 2 straight for sure
    for (std::size_t i = 0; i < count && state != 2; ++i) {
        const std::uint8_t* p = &pixels[i * 4];
        const std::uint8_t a = p[3];
        if (a == 0) {
            if (state == 0 && (p[0] | p[1] | p[2]) != 0) state = 1;
            ++zeros;
        } else if (a == 255) {
            if (state == 1) state = 2;
            ++opaque;
        } else if (state == 1 || p[0] > a || p[1] > a || p[2] > a) {
            state = 2;
        }
    }
    // A scan stopped early has seen a pixel that is neither 0 nor 255 or both kinds mixed, so
    // the counts only decide when the scan ran to the end.
    if (state != 2 && (zeros == count || opaque == count)) {
        imageType = image_type::kBitmap;
        if (fix)
            for (std::size_t i = 0; i < count; ++i) pixels[i * 4 + 3] = 255;
        return;
    }
    hasAlpha = true;
    if (state == 0) {
        imageType = image_type::kAlphaBitmapPremultiplied;
        return;
    }
    imageType = image_type::kAlphaBitmap;
    if (!fix) return;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* p = &pixels[i * 4];
        const unsigned a = p[3];
        if (a == 0) {
            p[0] = p[1] = p[2] = 0;
        } else if (a != 255) {
            p[0] = std::uint8_t(p[0] * a / 255u);
            p[1] = std::uint8_t(p[1] * a / 255u);
            p[2] = std::uint8_t(p[2] * a / 255u);
        }
    }
}

void ExamineAlpha(ImageHost& image, bool fix, bool& hasAlpha, std::int32_t& imageType) {
    hasAlpha = false;
    if (!image.BitsPointer()) return;
    const std::size_t bytes = std::size_t(image.scanWidth()) * std::size_t(image.Height());
    ExamineAlpha(std::span<std::uint8_t>(image.BitsPointer(), bytes), fix, hasAlpha, imageType);
}

void SettleBitmapAlpha(ImageHost& image) {
    bool hasAlpha = false;
    std::int32_t imageType = image_type::kBitmap;
    ExamineAlpha(image, true, hasAlpha, imageType);
    image.SetAlpha(hasAlpha);
    image.SetImageType(imageType);
}

GrayWeightSet GrayWeights(std::int32_t formula) {
    // Red, green and blue weights of formulas 0 to 7.
    static constexpr GrayWeightSet kFormulas[] = {
        {0.299f, 0.587f, 0.114f}, {0.213f, 0.715f, 0.072f}, {0.333f, 0.334f, 0.333f},
        {0.8f, 0.1f, 0.1f},       {0.1f, 0.8f, 0.1f},       {0.1f, 0.1f, 0.8f},
        {0.45f, 0.45f, 0.1f},     {0.1f, 0.45f, 0.45f}};
    if (formula == -1) return {1.0f, 1.0f, 1.0f};
    if (formula < 0 || formula >= std::int32_t(std::size(kFormulas))) formula = 0;
    return kFormulas[formula];
}

bool FileHandle::ReadAll(std::vector<std::uint8_t>& out) {
    out.clear();
    if (native_ == -1) return false;
    std::uint8_t chunk[65536];
    for (;;) {
        const auto n = ReadSome(chunk);
        if (!n) return false;
        if (*n == 0) return true;
        out.insert(out.end(), chunk, chunk + *n);
    }
}

bool FileHandle::Write(std::span<const std::uint8_t> bytes) {
    if (native_ == -1) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto n = WriteSome(bytes.subspan(done));
        if (!n) return false;
        done += *n;
    }
    return true;
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        native_ = other.native_;
        other.native_ = -1;
    }
    return *this;
}

std::vector<RegionRect> RegionFromAlpha(const ImageHost& image, std::int32_t style) try {
    std::vector<RegionRect> rects;
    const std::uint8_t* bits = image.BitsPointer();
    if (!bits || style < 0 || style > 2) return rects;
    const std::int32_t w = image.Width(), h = image.Height();
    if (!image.Alpha()) {
        rects.push_back({0, 0, w, h});
        return rects;
    }
    RegionRect box{w, h, 0, 0};
    bool any = false;
    for (std::int32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = bits + std::size_t(h - 1 - y) * std::size_t(w) * 4u;
        std::int32_t first = 0;
        while (first < w && row[first * 4 + 3] == 0) ++first;
        if (first == w) continue;
        std::int32_t last = w - 1;
        while (row[last * 4 + 3] == 0) --last;
        if (style == 0) {
            box.left = std::min(box.left, first);
            box.right = std::max(box.right, last + 1);
            if (!any) box.top = y;
            box.bottom = y + 1;
        } else if (style == 1) {
            rects.push_back({first, y, last + 1, y + 1});
        } else {
            std::int32_t x = first;
            while (x <= last) {
                const std::int32_t start = x;
                while (x <= last && row[x * 4 + 3] != 0) ++x;
                rects.push_back({start, y, x, y + 1});
                while (x <= last && row[x * 4 + 3] == 0) ++x;
            }
        }
        any = true;
    }
    if (style == 0 && any) rects.push_back(box);
    return rects;
} catch (const std::bad_alloc&) {
    return {}; // no memory for the rectangles: no region
}

#ifndef _WIN32

bool HasExport(std::string_view library, std::string_view exportName) {
    void* lib = dlopen(std::string(library).c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!lib) return false;
    const bool found = dlsym(lib, std::string(exportName).c_str()) != nullptr;
    dlclose(lib);
    return found;
}

void FileHandle::Close() {
    if (native_ != -1) ::close(int(native_));
    native_ = -1;
}

std::optional<std::uint64_t> FileHandle::Size() const {
    struct stat st {};
    if (native_ == -1 || ::fstat(int(native_), &st) != 0 || st.st_size < 0) return std::nullopt;
    return std::uint64_t(st.st_size);
}

std::optional<std::size_t> FileHandle::ReadSome(std::span<std::uint8_t> into) {
    const ssize_t n = ::read(int(native_), into.data(), into.size());
    if (n < 0) return std::nullopt;
    return std::size_t(n);
}

std::optional<std::size_t> FileHandle::WriteSome(std::span<const std::uint8_t> bytes) {
    const ssize_t n = ::write(int(native_), bytes.data(), bytes.size());
    if (n <= 0) return std::nullopt;
    return std::size_t(n);
}

FileHandle OpenFileForWrite(std::string_view fileName, bool forRead, bool /*wide*/) {
    const std::string name(fileName);
    if (forRead) return FileHandle(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) mode = st.st_mode & 07777;
    return FileHandle(::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
}

bool DeleteFileSafe(std::string_view fileName, bool /*wide*/) {
    const std::string name(fileName);
    ::chmod(name.c_str(), 0644);
    return ::unlink(name.c_str()) == 0;
}

#endif

} // namespace corvale
