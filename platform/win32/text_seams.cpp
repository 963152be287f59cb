#include "platform/win32/text_seams.h"

#include "platform/win32/wide_text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <optional>
#include <utility>

namespace corvale::win32 {

namespace {

class UniqueFile {
  public:
    explicit UniqueFile(HANDLE h) : h_(h) {}
    ~UniqueFile() { Close(); }
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    bool Close() {
        if (!Valid()) return true;
        const BOOL ok = CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

  private:
    HANDLE h_;
};

// Deletes the temporary file unless it was moved into place.
class TempFileGuard {
  public:
    explicit TempFileGuard(std::wstring path) : path_(std::move(path)) {}
    ~TempFileGuard() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Release() { path_.clear(); }

  private:
    std::wstring path_;
};

class ClipboardSession {
  public:
    explicit ClipboardSession(HWND owner) {
        // Another program may hold the clipboard for a moment.
        for (int attempt = 0; attempt < 10 && !open_; ++attempt) {
            open_ = OpenClipboard(owner) != FALSE;
            if (!open_) Sleep(10);
        }
    }
    ~ClipboardSession() {
        if (open_) CloseClipboard();
    }
    ClipboardSession(const ClipboardSession&) = delete;
    ClipboardSession& operator=(const ClipboardSession&) = delete;
    bool Open() const { return open_; }

  private:
    bool open_ = false;
};

class MessageWindow {
  public:
    MessageWindow()
        : hwnd_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr)) {}
    ~MessageWindow() {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    HWND Get() const { return hwnd_; }

  private:
    HWND hwnd_;
};

class GlobalBlock {
  public:
    explicit GlobalBlock(std::size_t bytes) : h_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
    ~GlobalBlock() {
        if (h_) GlobalFree(h_);
    }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;
    HGLOBAL Get() const { return h_; }
    HGLOBAL Release() { return std::exchange(h_, nullptr); }

  private:
    HGLOBAL h_;
};

class GlobalLockGuard {
  public:
    explicit GlobalLockGuard(HGLOBAL h) : h_(h), p_(h ? GlobalLock(h) : nullptr) {}
    ~GlobalLockGuard() {
        if (p_) GlobalUnlock(h_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    void* Get() const { return p_; }

  private:
    HGLOBAL h_;
    void* p_;
};

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        // "C:name" is relative to the drive's current folder.
        return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring();
    }
    return path.substr(0, slash + 1);
}

// A short name that cannot clash with an existing file (CREATE_NEW checks it).
std::wstring TempNameIn(const std::wstring& folder, unsigned serial) {
    wchar_t name[32];
    std::swprintf(name, 32, L"~cv%04lx%04x.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId() & 0xFFFF), serial & 0xFFFF);
    return folder + name;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    constexpr std::size_t kChunk = 1u << 20;
    while (!bytes.empty()) {
        const DWORD want = static_cast<DWORD>(std::min(bytes.size(), kChunk));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), want, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

} // namespace

namespace {

// Reads a whole small file from its start; nullopt when it cannot be read or is too large to
// keep in memory for a restore.
std::optional<std::string> ReadWhole(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > (64LL << 20))
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file, bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &read,
                      nullptr) ||
            read == 0)
            return std::nullopt;
        got += read;
    }
    return bytes;
}

bool Rewrite(HANDLE file, std::string_view bytes) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) && WriteAll(file, bytes) &&
           SetEndOfFile(file) && FlushFileBuffers(file);
}

// The folder lets the file be changed but nothing be created beside it: the file is rewritten
// where it is. Should that fail, what the file held is written back.
DWORD WriteInPlace(const std::wstring& path, std::string_view bytes) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return GetLastError();
    const std::optional<std::string> old = ReadWhole(file.Get());
    if (!old) return ERROR_READ_FAULT;
    if (Rewrite(file.Get(), bytes) && file.Close()) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    Rewrite(file.Get(), *old);
    return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
}

} // namespace

DWORD ReplaceFileBytes(const std::wstring& path, std::string_view bytes) {
    if (path.empty() || path.back() == L'\\' || path.back() == L'/') return ERROR_INVALID_NAME;
    // A read-only report or a folder of that name is not replaced (the system would refuse to
    // open either for writing; some file systems would let the rename through).
    const DWORD existing = GetFileAttributesW(path.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES &&
        (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return ERROR_ACCESS_DENIED;
    const std::wstring folder = FolderOf(path);

    static std::atomic<unsigned> serial{0};
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    DWORD createError = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 16 && h == INVALID_HANDLE_VALUE; ++attempt) {
        temp = TempNameIn(folder, GetTickCount() + serial++);
        h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            createError = GetLastError();
            if (createError != ERROR_FILE_EXISTS) break;
        }
    }
    UniqueFile file(h);
    if (!file.Valid()) {
        // Nothing may be created in the folder, but an existing report may still be changed.
        if (createError == ERROR_ACCESS_DENIED && existing != INVALID_FILE_ATTRIBUTES)
            return WriteInPlace(path, bytes);
        return createError != ERROR_SUCCESS ? createError : ERROR_CANNOT_MAKE;
    }
    TempFileGuard guard(temp);

    if (!WriteAll(file.Get(), bytes) || !FlushFileBuffers(file.Get()) || !file.Close())
        return GetLastError();
    if (!MoveFileExW(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        // The folder let the new file be made but not take the old one's place.
        if (error == ERROR_ACCESS_DENIED && existing != INVALID_FILE_ATTRIBUTES &&
            WriteInPlace(path, bytes) == ERROR_SUCCESS)
            return ERROR_SUCCESS;
        return error;
    }
    guard.Release();
    return ERROR_SUCCESS;
}

std::string SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (text.empty()) return "System error " + std::to_string(error) + ".";
    return Utf8FromWide(text);
}

bool Win32FileWriter::WriteTextFile(std::string_view path, std::string_view utf8Text) {
    const DWORD error = ReplaceFileBytes(WideFromUtf8(path), AnsiFromUtf8(utf8Text));
    failure_ = error == ERROR_SUCCESS ? std::string() : SystemErrorText(error);
    return error == ERROR_SUCCESS;
}

bool Win32Clipboard::SetText(std::string_view utf8Text) {
    const std::wstring wide = WideFromUtf8(utf8Text);
    GlobalBlock block((wide.size() + 1) * sizeof(wchar_t));
    if (!block.Get()) return false;
    {
        GlobalLockGuard lock(block.Get());
        if (!lock.Get()) return false;
        std::memcpy(lock.Get(), wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    }

    HWND owner = owner_;
    std::optional<MessageWindow> made; // only made when there is no owner
    if (!owner) owner = made.emplace().Get();
    ClipboardSession session(owner);
    if (!session.Open() || !EmptyClipboard()) return false;
    if (!SetClipboardData(CF_UNICODETEXT, block.Get())) return false;
    block.Release(); // the clipboard owns it now
    return true;
}

std::optional<std::string> Win32Clipboard::GetText() {
    ClipboardSession session(owner_);
    if (!session.Open()) return std::nullopt;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (!data) return std::nullopt;
    GlobalLockGuard lock(data);
    if (!lock.Get()) return std::nullopt;
    const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
    const auto* text = static_cast<const wchar_t*>(lock.Get());
    const std::size_t length = std::find(text, text + units, L'\0') - text;
    return Utf8FromWide(std::wstring_view(text, length));
}

} // namespace corvale::win32
