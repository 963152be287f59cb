#include "controls/win32/registry_settings_store.h"

#include "platform/win32/wide_text.h"

#include <windows.h>

#include <vector>

namespace corvale::win32 {
namespace {

constexpr DWORD kMaxValueBytes = 64 * 1024; // a stored position is a few bytes

std::wstring KeyPath(std::string_view app, std::string_view section) {
    return L"Software\\" + WideFromUtf8(app) + L"\\" + WideFromUtf8(section);
}

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

} // namespace

std::optional<std::string>
RegistrySettingsStore::Get(std::string_view app, std::string_view section, std::string_view key) {
    if (app.empty() || section.empty()) return std::nullopt;
    Key k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), 0, KEY_QUERY_VALUE, &k.h) !=
        ERROR_SUCCESS)
        return std::nullopt;
    const std::wstring name = WideFromUtf8(key);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(k.h, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ || bytes > kMaxValueBytes)
        return std::nullopt;
    std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(k.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                         &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    std::size_t len = std::min<std::size_t>(got / sizeof(wchar_t), buf.size() - 1);
    while (len > 0 && buf[len - 1] == L'\0') --len; // stored terminator
    return Utf8FromWide(std::wstring_view(buf.data(), len));
}

bool RegistrySettingsStore::Save(std::string_view app, std::string_view section,
                                 std::string_view key, std::string_view value) {
    if (app.empty() || section.empty()) return false;
    Key k;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(app, section).c_str(), 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &k.h, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring w = WideFromUtf8(value);
    return RegSetValueExW(k.h, WideFromUtf8(key).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(w.c_str()),
                          static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace corvale::win32
