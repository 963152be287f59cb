#pragma once
// A run-time-loaded library (dlopen on the host, LoadLibrary on Windows), owned by the object.
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace corvale {

// Movable, not copyable; the library is freed with the object.
class SharedLibrary {
  public:
    // Loads the library by name (UTF-8); false when it does not load.
    bool Open(const std::string& name);
    // Frees the library; false when none was loaded.
    bool Close() {
        const bool open = IsOpen();
        handle_.reset();
        return open;
    }
    bool IsOpen() const { return handle_ != nullptr; }
    // The address of an export, or nullptr.
    void* Symbol(const char* name) const;

  private:
    struct Free { // the platform's dlclose or FreeLibrary
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, Free> handle_;
};

// The bytes that can safely be read at a code address, at most `limit` of them; empty where
// the platform gives no way to tell (the calling-convention scan is then not needed).
std::span<const std::uint8_t> ReadableCodeAt(const void* address, std::size_t limit);

// The calling thread's last-error value (GetLastError on Windows, errno elsewhere).
void ResetLastError();
std::uint32_t ReadLastError();

} // namespace corvale
