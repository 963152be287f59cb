#pragma once
// The ANSI file-dialog record in its 76-byte form, built byte for byte, and the text rules that
// go with it: filter conversion, buffer sizes, flag words and the lookups on returned buffers.
//
// The record is the documented 32-bit layout. Pointer fields hold 0 for "no string" and a
// non-zero marker when the record carries the string; the strings and buffers travel beside the
// bytes. The Win32 side turns the record into the platform's own structure at the call and
// copies the returned words back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

using WindowHandle = std::intptr_t; // HWND; 0 = none
using ModuleHandle = std::intptr_t; // HMODULE / HINSTANCE; 0 = none

namespace ofn {

// Byte offsets of the 76-byte record (all fields little-endian).
inline constexpr std::size_t kStructSize = 0;
inline constexpr std::size_t kOwner = 4;
inline constexpr std::size_t kInstance = 8;
inline constexpr std::size_t kFilter = 12;
inline constexpr std::size_t kCustomFilter = 16;
inline constexpr std::size_t kMaxCustomFilter = 20;
inline constexpr std::size_t kFilterIndex = 24;
inline constexpr std::size_t kFile = 28;
inline constexpr std::size_t kMaxFile = 32;
inline constexpr std::size_t kFileTitle = 36;
inline constexpr std::size_t kMaxFileTitle = 40;
inline constexpr std::size_t kInitialDir = 44;
inline constexpr std::size_t kTitle = 48;
inline constexpr std::size_t kFlags = 52;
inline constexpr std::size_t kFileOffset = 56;    // 16-bit
inline constexpr std::size_t kFileExtension = 58; // 16-bit
inline constexpr std::size_t kDefExt = 60;
inline constexpr std::size_t kCustData = 64;
inline constexpr std::size_t kHook = 68;
inline constexpr std::size_t kTemplateName = 72;
inline constexpr std::size_t kRecordSize = 76;

// Flag bits.
inline constexpr std::uint32_t kReadOnly = 0x1;
inline constexpr std::uint32_t kOverwritePrompt = 0x2;
inline constexpr std::uint32_t kHideReadOnly = 0x4;
inline constexpr std::uint32_t kEnableHook = 0x20;
inline constexpr std::uint32_t kEnableTemplate = 0x40;
inline constexpr std::uint32_t kAllowMultiSelect = 0x200;
inline constexpr std::uint32_t kFileMustExist = 0x1000;
inline constexpr std::uint32_t kExplorer = 0x80000;

// Buffer sizes in ANSI characters, terminator included.
inline constexpr std::size_t kSingleBuffer = 260;
inline constexpr std::size_t kMultiBuffer = 8192;
// The filter's length is a signed 16-bit count.
inline constexpr std::size_t kMaxFilterLength = 32767;

// Marker written into a pointer field whose string the record carries.
inline constexpr std::uint32_t kPresent = 1;

} // namespace ofn

struct FileDialogRecord {
    std::array<std::uint8_t, ofn::kRecordSize> bytes{};

    // Full-width module handle: on 64-bit Windows a module address does not fit the 32-bit
    // field, which then holds its low half.
    ModuleHandle instance = 0;

    // The strings the pointer fields refer to (ANSI, each without its terminator unless noted).
    std::string filter; // double-NUL-terminated list, terminators included
    std::string initialDir;
    std::string title;
    std::string defExt;
    std::vector<char> file;      // fixed-size buffer, size = the max-file field
    std::vector<char> fileTitle; // fixed-size buffer, size = the max-file-title field
    // The wide-character dialog: the strings and buffers above hold UTF-8 (buffers up to their
    // first NUL going in, whole coming back) and the max-file fields count UTF-16 units.
    bool wide = false;

    std::uint32_t U32(std::size_t offset) const;
    void SetU32(std::size_t offset, std::uint32_t value);
    std::uint16_t U16(std::size_t offset) const;
    void SetU16(std::size_t offset, std::uint16_t value);
    bool Has(std::size_t pointerOffset) const { return U32(pointerOffset) != 0; }

    std::uint32_t Flags() const { return U32(ofn::kFlags); }
    void SetFlags(std::uint32_t flags) { SetU32(ofn::kFlags, flags); }
    std::int32_t FilterIndex() const { return static_cast<std::int32_t>(U32(ofn::kFilterIndex)); }
    // The owner as the platform sees it: window handles are 32-bit values, sign-extended.
    WindowHandle Owner() const { return static_cast<std::int32_t>(U32(ofn::kOwner)); }
};

// "|" and ":" become NUL, then two NULs close the list ("Text (*.txt)|*.txt" gives
// "Text (*.txt)", NUL, "*.txt", NUL, NUL).
std::string ConvertFilter(std::string_view filter);

// The pair number n (1-based) of a NUL-separated filter list as description, NUL, pattern; the
// last pair without a closing NUL runs to the end. Empty for n < 1 or a missing pair.
std::string FilterLookup(std::string_view list, std::int32_t n);

// The text up to its first NUL, or all of it.
std::string_view TrimAtNull(std::string_view text);

// (value AND mask) = mask
constexpr bool FlagSet(std::uint32_t value, std::uint32_t mask) {
    return (value & mask) == mask;
}

// Flag words built fresh for each dialog (the caller's word is not merged).
std::uint32_t OpenDialogFlags(bool readOnly, bool hideReadOnly, bool fileMustExist,
                              bool multiSelect);
std::uint32_t SaveDialogFlags(bool overwritePrompt);

// Makes `buffer` `size` characters long: `text`, then NULs. False (buffer untouched) when the
// text leaves no room for at least one terminating NUL.
bool FillBuffer(std::string_view text, std::size_t size, std::vector<char>& buffer);

} // namespace corvale
