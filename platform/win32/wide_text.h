#pragma once
// UTF-8 inside, UTF-16 at the Win32 boundary, and the system's ANSI code page where a record or
// a file format asks for it. Embedded NULs are kept; text that cannot be converted gives "".
#include <climits>
#include <string>
#include <string_view>

#include <windows.h>

namespace corvale {

namespace wide_text_detail {

inline std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), needed);
    return out;
}

inline std::string FromWide(UINT codePage, std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
    return out;
}

} // namespace wide_text_detail

inline std::wstring WideFromUtf8(std::string_view utf8) {
    return wide_text_detail::ToWide(CP_UTF8, utf8);
}
inline std::string Utf8FromWide(std::wstring_view wide) {
    return wide_text_detail::FromWide(CP_UTF8, wide);
}
inline std::string AnsiFromUtf8(std::string_view utf8) {
    return wide_text_detail::FromWide(CP_ACP, WideFromUtf8(utf8));
}
inline std::string Utf8FromAnsi(std::string_view ansi) {
    return Utf8FromWide(wide_text_detail::ToWide(CP_ACP, ansi));
}

} // namespace corvale
