#include "codecs/shared_library.h"

#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <algorithm>

namespace corvale {

bool SharedLibrary::Open(const std::string& name) {
    Close();
    const std::wstring wide = WideFromUtf8(name);
    if (wide.empty()) return false;
    // zlib1.dll and its kind ship with the program: its own folder only, by full path.
    handle_.reset(reinterpret_cast<void*>(LoadShippedLibrary(wide)));
    return IsOpen();
}

void SharedLibrary::Free::operator()(void* handle) const {
    FreeLibrary(static_cast<HMODULE>(handle));
}

void* SharedLibrary::Symbol(const char* name) const {
    if (!handle_) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_.get()), name));
}

std::span<const std::uint8_t> ReadableCodeAt(const void* address, std::size_t limit) {
    MEMORY_BASIC_INFORMATION info{};
    if (!address || VirtualQuery(address, &info, sizeof info) != sizeof info) return {};
    constexpr DWORD kReadable = PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_READONLY |
                                PAGE_READWRITE | PAGE_EXECUTE_WRITECOPY | PAGE_WRITECOPY;
    if (info.State != MEM_COMMIT || (info.Protect & kReadable) == 0 ||
        (info.Protect & PAGE_GUARD) != 0)
        return {};
    const auto* start = static_cast<const std::uint8_t*>(address);
    const auto* regionEnd = static_cast<const std::uint8_t*>(info.BaseAddress) + info.RegionSize;
    const std::size_t available = static_cast<std::size_t>(regionEnd - start);
    return {start, std::min(available, limit)};
}

void ResetLastError() {
    SetLastError(0);
}
std::uint32_t ReadLastError() {
    return GetLastError();
}

} // namespace corvale
