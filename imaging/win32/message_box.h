#pragma once
#include <string>

namespace corvale {
// A message box with an OK button only (UTF-8 text).
void ShowMessageBoxOk(const std::string& text);
} // namespace corvale
