#include "codecs/shared_library.h"

#include <cerrno>
#include <dlfcn.h>

namespace corvale {

bool SharedLibrary::Open(const std::string& name) {
    Close();
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle_ != nullptr;
}

bool SharedLibrary::Close() {
    if (!handle_) return false;
    dlclose(handle_);
    handle_ = nullptr;
    return true;
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

std::span<const std::uint8_t> ReadableCodeAt(const void*, std::size_t) {
    return {};
}

void ResetLastError() {
    errno = 0;
}
std::uint32_t ReadLastError() {
    return static_cast<std::uint32_t>(errno);
}

} // namespace corvale
