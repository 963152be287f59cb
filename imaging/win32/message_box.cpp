#include "imaging/win32/message_box.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

namespace corvale {

void ShowMessageBoxOk(const std::string& text) {
    const std::wstring wide = WideFromUtf8(text);
    MessageBoxW(nullptr, wide.c_str(), L"", MB_OK);
}

} // namespace corvale
