#pragma once
// A plain in-memory image for the codec tests: the ImageHost contract over a byte vector,
// no GDI, no GDI+.
#include "codecs/image_host.h"
#include "platform/image_storage.h"

#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace corvale {

class MemoryImage final : public ImageHost {
  public:
    MemoryImage() = default;
    MemoryImage(const MemoryImage&) = delete;
    MemoryImage& operator=(const MemoryImage&) = delete;
    ~MemoryImage() = default;

    bool InitializeDIB(std::int32_t width, std::int32_t height) override {
        return Initialize(width, height, 0);
    }
    // Filled with 0xCD bytes (colour above alpha: no decode writes such a pixel), so that a
    // decoder leaving a pixel unwritten fails its comparison.
    bool InitializeDIBForOverwrite(std::int32_t width, std::int32_t height) override {
        return Initialize(width, height, kUnwritten);
    }
    static constexpr std::uint8_t kUnwritten = 0xCD;

  private:
    bool Initialize(std::int32_t width, std::int32_t height, std::uint8_t fill) {
        DestroyDIB();
        if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
            return false;
        if (height < 0) height = -height;
        const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * 4u;
        if (bytes > kMaxImageBytes) return false;
        try {
            bits_.assign(static_cast<std::size_t>(bytes), fill);
        } catch (const std::bad_alloc&) {
            return false;
        }
        width_ = width;
        height_ = height;
        alpha_ = true;
        type_ = image_type::kBlank;
        return true;
    }

  public:
    void DestroyDIB() override {
        bits_ = {};
        width_ = height_ = 0;
        alpha_ = false;
        type_ = image_type::kNone;
    }
    std::uint8_t* BitsPointer() const override {
        return bits_.empty() ? nullptr : const_cast<std::uint8_t*>(bits_.data());
    }
    std::int32_t Width() const override { return width_; }
    std::int32_t Height() const override { return height_; }
    std::int32_t scanWidth() const override { return width_ * 4; }
    std::intptr_t Handle() const override { return reinterpret_cast<std::intptr_t>(BitsPointer()); }
    std::intptr_t LoadDIBinDC(bool) override { return 0; }
    bool Alpha() const override { return alpha_; }
    void SetAlpha(bool value) override { alpha_ = value; }
    std::int32_t ImageType() const { return type_; }
    void SetImageType(std::int32_t code) override { type_ = code; }
    std::uintptr_t gdiToken() const override { return token_; }
    void gdiToken(std::uintptr_t token) override { token_ = token; }
    bool DecodeThroughGdiplus(std::string_view, std::span<const std::uint8_t>,
                              std::uintptr_t) override {
        return false;
    }

  private:
    std::vector<std::uint8_t> bits_;
    std::int32_t width_ = 0, height_ = 0;
    bool alpha_ = false;
    std::int32_t type_ = image_type::kNone;
    std::uintptr_t token_ = 0;
};

} // namespace corvale
