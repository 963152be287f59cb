#include "platform/win32/com.h"

#include <climits>

namespace corvale::win32 {

std::wstring WideFromUtf8(std::string_view s) {
    if (s.empty() || s.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Utf8FromWide(std::wstring_view s) {
    if (s.empty() || s.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

} // namespace corvale::win32
