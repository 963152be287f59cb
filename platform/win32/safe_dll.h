#pragma once
// Where the programs load DLLs from at run time: system DLLs only from the system folder, the
// DLLs that ship with a program (zlib1.dll) only from the program's own folder, by full path. A
// DLL of the same name in the current folder, or anywhere else on the search path, is never
// taken.
#include <string>

#include <windows.h>

namespace corvale {

namespace safe_dll_detail {

inline std::wstring SystemFolder() {
    wchar_t path[MAX_PATH];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(path, n) : std::wstring();
}

// Systems without the search flags (no KB2533623) refuse them with ERROR_INVALID_PARAMETER.
inline bool FlagsRefused() {
    return GetLastError() == ERROR_INVALID_PARAMETER;
}

} // namespace safe_dll_detail

// Called first thing at start-up: the default DLL search leaves out the current folder (and the
// PATH), where the system has SetDefaultDllDirectories; elsewhere at least the current folder
// leaves the search order.
inline void RestrictDllSearchAtStartup() {
    using SetDefault = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto setDefault = kernel ? reinterpret_cast<SetDefault>(reinterpret_cast<void*>(
                                         GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                   : nullptr;
    if (!setDefault ||
        !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR))
        SetDllDirectoryW(L"");
}

// A DLL of the system (a bare name such as L"uxtheme.dll") from the system folder only.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (HMODULE m = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return m;
    if (!safe_dll_detail::FlagsRefused()) return nullptr;
    const std::wstring folder = safe_dll_detail::SystemFolder();
    if (folder.empty()) return nullptr;
    return LoadLibraryExW((folder + L"\\" + name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The folder of the running program, without a trailing backslash; "" when it cannot be read.
inline std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// A DLL that ships with the program: a bare name is looked for in the program's own folder only,
// by full path; a name with a folder is taken as given. Its own dependencies come from its
// folder and the system folder.
inline HMODULE LoadShippedLibrary(const std::wstring& name) {
    if (name.empty()) return nullptr;
    std::wstring path = name;
    if (name.find_first_of(L"\\/:") == std::wstring::npos) {
        const std::wstring folder = ProgramFolder();
        if (folder.empty()) return nullptr;
        path = folder + L"\\" + name;
    }
    if (HMODULE m = LoadLibraryExW(path.c_str(), nullptr,
                                   LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32))
        return m;
    if (!safe_dll_detail::FlagsRefused()) return nullptr;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace corvale
