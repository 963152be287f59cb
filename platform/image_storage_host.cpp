// Plain-memory image storage for systems without GDI.
#include "platform/image_storage.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace corvale {
namespace {

class HeapStorage final : public ImageStorage {
  public:
    HeapStorage(std::uint8_t* bits, std::intptr_t token) : bits_(bits), token_(token) {}
    ~HeapStorage() override { std::free(bits_); }
    HeapStorage(const HeapStorage&) = delete;
    HeapStorage& operator=(const HeapStorage&) = delete;
    std::uint8_t* Bits() const override { return bits_; }
    std::intptr_t Handle() const override { return token_; }

  private:
    std::uint8_t* bits_;
    std::intptr_t token_;
};

std::intptr_t NextToken() {
    static std::atomic<std::intptr_t> next{0x1000};
    return next.fetch_add(1);
}

} // namespace

std::unique_ptr<ImageStorage> CreateImageStorage(std::int32_t width, std::int32_t height,
                                                 ImageFill fill) {
    if (width <= 0 || height <= 0) return nullptr;
    const std::uint64_t bytes = std::uint64_t(width) * std::uint64_t(height) * 4u;
    if (bytes > kMaxImageBytes) return nullptr;
    const auto size = static_cast<std::size_t>(bytes);
    auto* bits = static_cast<std::uint8_t*>(fill == ImageFill::kZeros ? std::calloc(size, 1)
                                                                      : std::malloc(size));
    if (!bits) return nullptr;
    std::unique_ptr<ImageStorage> storage(new (std::nothrow) HeapStorage(bits, NextToken()));
    if (!storage) std::free(bits); // no memory for the holder: the request fails, nothing leaks
    return storage;
}

std::intptr_t CreateImageDC() {
    return 0;
}
std::intptr_t SelectImageIntoDC(std::intptr_t, std::intptr_t) {
    return 0;
}
void DeleteImageDC(std::intptr_t) {}

} // namespace corvale
