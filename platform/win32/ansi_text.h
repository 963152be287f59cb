#pragma once
// Text at the Win32 boundary: UTF-8 inside, UTF-16 for the wide calls, and the system's ANSI
// code page for the records and files that are ANSI by definition. Every conversion keeps
// embedded NULs and takes explicit lengths.
#include <string>
#include <string_view>

namespace corvale::win32 {

std::wstring WideFromUtf8Text(std::string_view utf8);
std::string Utf8FromWideText(std::wstring_view wide);

// Characters the ANSI code page cannot hold become the system's default character.
std::string AnsiFromUtf8(std::string_view utf8);
std::string Utf8FromAnsi(std::string_view ansi);

} // namespace corvale::win32
