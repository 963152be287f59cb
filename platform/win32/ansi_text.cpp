#include "platform/win32/ansi_text.h"

#include <windows.h>

#include <climits>

namespace corvale::win32 {

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring out(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, out.data(), needed);
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
    return out;
}

} // namespace

std::wstring WideFromUtf8Text(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}
std::string Utf8FromWideText(std::wstring_view wide) {
    return FromWide(CP_UTF8, wide);
}
std::string AnsiFromUtf8(std::string_view utf8) {
    return FromWide(CP_ACP, ToWide(CP_UTF8, utf8));
}
std::string Utf8FromAnsi(std::string_view ansi) {
    return FromWide(CP_UTF8, ToWide(CP_ACP, ansi));
}

} // namespace corvale::win32
