#include "codecs/shared_library.h"

#include <cerrno>
#include <dlfcn.h>

namespace corvale {

bool SharedLibrary::Open(const std::string& name) {
    Close();
    handle_.reset(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
    return IsOpen();
}

void SharedLibrary::Free::operator()(void* handle) const {
    dlclose(handle);
}

void* SharedLibrary::Symbol(const char* name) const {
    return handle_ ? dlsym(handle_.get(), name) : nullptr;
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
