#pragma once
// The ANSI records of the colour, font, print and page-setup dialogs and of the help window, byte
// for byte in their 32-bit layout, and the blocks the print dialogs hand back (device mode and
// device names).
//
// As with the file-dialog record, pointer fields hold 0 for "none" and a non-zero marker when
// the record carries what they point to; that travels beside the bytes (the custom-colour table,
// the logical font, the returned blocks). Handles are 32-bit fields; where a full-width handle
// comes back (a printer device context) it is kept beside the bytes as well. The Win32 side turns
// each record into the platform's own structure at the call and copies the answer back.
#include "controls/file_dialog_record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

using DeviceContext = std::intptr_t; // HDC; 0 = none

// A fixed-size little-endian record. Reads and writes past the end do nothing (reads give 0).
template <std::size_t N> struct ByteRecord {
    static constexpr std::size_t kSize = N;
    std::array<std::uint8_t, N> bytes{};

    std::uint32_t U32(std::size_t offset) const {
        if (offset > N || N - offset < 4) return 0;
        return static_cast<std::uint32_t>(bytes[offset]) |
               static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
               static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
               static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
    }
    void SetU32(std::size_t offset, std::uint32_t value) {
        if (offset > N || N - offset < 4) return;
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    void SetI32(std::size_t offset, std::int32_t value) {
        SetU32(offset, static_cast<std::uint32_t>(value));
    }
    std::uint16_t U16(std::size_t offset) const {
        if (offset > N || N - offset < 2) return 0;
        return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
    }
    void SetU16(std::size_t offset, std::uint16_t value) {
        if (offset > N || N - offset < 2) return;
        bytes[offset] = static_cast<std::uint8_t>(value);
        bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    bool Has(std::size_t pointerOffset) const { return U32(pointerOffset) != 0; }
    // A window handle as the platform sees it: 32-bit, sign-extended.
    WindowHandle Window(std::size_t offset) const { return I32(offset); }
};

// CHOOSECOLOR, 36 bytes.
namespace cc {
inline constexpr std::size_t kStructSize = 0;
inline constexpr std::size_t kOwner = 4;
inline constexpr std::size_t kInstance = 8;
inline constexpr std::size_t kResult = 12;
inline constexpr std::size_t kCustColors = 16;
inline constexpr std::size_t kFlags = 20;
inline constexpr std::size_t kCustData = 24;
inline constexpr std::size_t kHook = 28;
inline constexpr std::size_t kTemplateName = 32;
inline constexpr std::size_t kRecordSize = 36;

inline constexpr std::uint32_t kRgbInit = 0x1;
inline constexpr std::uint32_t kFullOpen = 0x2;
inline constexpr std::uint32_t kPreventFullOpen = 0x4;
inline constexpr std::uint32_t kEnableHook = 0x10;
inline constexpr std::uint32_t kEnableTemplate = 0x20;
inline constexpr std::uint32_t kSolidColor = 0x80;
inline constexpr std::uint32_t kAnyColor = 0x100;
} // namespace cc

struct ColorDialogRecord : ByteRecord<cc::kRecordSize> {
    std::array<std::uint32_t, 16> customColors{}; // what the custom-colours field points to
};

// LOGFONT (ANSI), 60 bytes.
namespace lf {
inline constexpr std::size_t kHeight = 0;
inline constexpr std::size_t kWidth = 4;
inline constexpr std::size_t kEscapement = 8;
inline constexpr std::size_t kOrientation = 12;
inline constexpr std::size_t kWeight = 16;
inline constexpr std::size_t kItalic = 20; // the next seven are bytes
inline constexpr std::size_t kUnderline = 21;
inline constexpr std::size_t kStrikeOut = 22;
inline constexpr std::size_t kCharSet = 23;
inline constexpr std::size_t kOutPrecision = 24;
inline constexpr std::size_t kClipPrecision = 25;
inline constexpr std::size_t kQuality = 26;
inline constexpr std::size_t kPitchAndFamily = 27;
inline constexpr std::size_t kFaceName = 28;
inline constexpr std::size_t kFaceNameSize = 32;
inline constexpr std::size_t kRecordSize = 60;
} // namespace lf

struct LogFontRecord : ByteRecord<lf::kRecordSize> {
    // The ANSI face name cut to 31 bytes, NUL-filled to the end of the field.
    void SetFaceName(std::string_view ansi);
    // The field up to its first NUL.
    std::string FaceName() const;
};

// CHOOSEFONT (ANSI), 60 bytes.
namespace cf {
inline constexpr std::size_t kStructSize = 0;
inline constexpr std::size_t kOwner = 4;
inline constexpr std::size_t kDC = 8;
inline constexpr std::size_t kLogFont = 12;
inline constexpr std::size_t kPointSize = 16;
inline constexpr std::size_t kFlags = 20;
inline constexpr std::size_t kColors = 24;
inline constexpr std::size_t kCustData = 28;
inline constexpr std::size_t kHook = 32;
inline constexpr std::size_t kTemplateName = 36;
inline constexpr std::size_t kInstance = 40;
inline constexpr std::size_t kStyle = 44;
inline constexpr std::size_t kFontType = 48; // 16-bit, then 2 bytes of padding
inline constexpr std::size_t kSizeMin = 52;
inline constexpr std::size_t kSizeMax = 56;
inline constexpr std::size_t kRecordSize = 60;

inline constexpr std::uint32_t kScreenFonts = 0x1;
inline constexpr std::uint32_t kPrinterFonts = 0x2;
inline constexpr std::uint32_t kEnableHook = 0x8;
inline constexpr std::uint32_t kEnableTemplate = 0x10;
inline constexpr std::uint32_t kEnableTemplateHandle = 0x20;
inline constexpr std::uint32_t kInitToLogFont = 0x40;
inline constexpr std::uint32_t kEffects = 0x100;
inline constexpr std::uint32_t kApply = 0x200; // an Apply button, which needs a hook to answer
inline constexpr std::uint32_t kLimitSize = 0x2000;
// What a missing upper size limit stands for: the largest size the dialog accepts at all.
inline constexpr std::int32_t kLargestPointSize = 1638;
inline constexpr std::uint16_t kBoldFontType = 0x100;
} // namespace cf

struct FontDialogRecord : ByteRecord<cf::kRecordSize> {
    DeviceContext dc = 0; // full-width device context (the field holds its low half)
    LogFontRecord logFont;
};

// PRINTDLG (ANSI), 66 bytes, packed: the 16-bit page fields leave the later pointers unaligned.
namespace pd {
inline constexpr std::size_t kStructSize = 0;
inline constexpr std::size_t kOwner = 4;
inline constexpr std::size_t kDevMode = 8;
inline constexpr std::size_t kDevNames = 12;
inline constexpr std::size_t kDC = 16;
inline constexpr std::size_t kFlags = 20;
inline constexpr std::size_t kFromPage = 24; // the next five are 16-bit
inline constexpr std::size_t kToPage = 26;
inline constexpr std::size_t kMinPage = 28;
inline constexpr std::size_t kMaxPage = 30;
inline constexpr std::size_t kCopies = 32;
inline constexpr std::size_t kInstance = 34;
inline constexpr std::size_t kCustData = 38;
inline constexpr std::size_t kPrintHook = 42;
inline constexpr std::size_t kSetupHook = 46;
inline constexpr std::size_t kPrintTemplateName = 50;
inline constexpr std::size_t kSetupTemplateName = 54;
inline constexpr std::size_t kPrintTemplate = 58;
inline constexpr std::size_t kSetupTemplate = 62;
inline constexpr std::size_t kRecordSize = 66;

inline constexpr std::uint32_t kSelection = 0x1;
inline constexpr std::uint32_t kPageNums = 0x2;
inline constexpr std::uint32_t kNoSelection = 0x4;
inline constexpr std::uint32_t kNoPageNums = 0x8;
inline constexpr std::uint32_t kCollate = 0x10;
inline constexpr std::uint32_t kPrintToFile = 0x20;
inline constexpr std::uint32_t kPrintSetup = 0x40;
inline constexpr std::uint32_t kNoWarning = 0x80;
inline constexpr std::uint32_t kReturnDC = 0x100;
inline constexpr std::uint32_t kEnablePrintHook = 0x1000;
inline constexpr std::uint32_t kEnableSetupHook = 0x2000;
inline constexpr std::uint32_t kEnablePrintTemplate = 0x4000;
inline constexpr std::uint32_t kEnableSetupTemplate = 0x8000;
inline constexpr std::uint32_t kUseDevModeCopiesAndCollate = 0x40000;
inline constexpr std::uint32_t kDisablePrintToFile = 0x80000;
inline constexpr std::uint32_t kHidePrintToFile = 0x100000;
} // namespace pd

struct PrintDialogRecord : ByteRecord<pd::kRecordSize> {
    DeviceContext dc = 0; // the returned device context, full width
    // The device-mode and device-names blocks the dialog handed back, copied whole.
    std::vector<std::uint8_t> devMode;
    std::vector<std::uint8_t> devNames;
};

// PAGESETUPDLG (ANSI), 84 bytes.
namespace psd {
inline constexpr std::size_t kStructSize = 0;
inline constexpr std::size_t kOwner = 4;
inline constexpr std::size_t kDevMode = 8;
inline constexpr std::size_t kDevNames = 12;
inline constexpr std::size_t kFlags = 16;
inline constexpr std::size_t kPaperSize = 20; // POINT
inline constexpr std::size_t kMinMargin = 28; // RECT: left, top, right, bottom
inline constexpr std::size_t kMargin = 44;    // RECT
inline constexpr std::size_t kInstance = 60;
inline constexpr std::size_t kCustData = 64;
inline constexpr std::size_t kPageSetupHook = 68;
inline constexpr std::size_t kPagePaintHook = 72;
inline constexpr std::size_t kTemplateName = 76;
inline constexpr std::size_t kTemplate = 80;
inline constexpr std::size_t kRecordSize = 84;
// Offsets inside a RECT.
inline constexpr std::size_t kLeft = 0, kTop = 4, kRight = 8, kBottom = 12;

inline constexpr std::uint32_t kMinMargins = 0x1;
inline constexpr std::uint32_t kMargins = 0x2;
inline constexpr std::uint32_t kInThousandthsOfInches = 0x4;
inline constexpr std::uint32_t kInHundredthsOfMillimeters = 0x8;
inline constexpr std::uint32_t kDisableMargins = 0x10;
inline constexpr std::uint32_t kDisablePrinter = 0x20;
inline constexpr std::uint32_t kDisableOrientation = 0x100;
inline constexpr std::uint32_t kDisablePaper = 0x200;
inline constexpr std::uint32_t kEnablePageSetupHook = 0x2000;
} // namespace psd

struct PageSetupRecord : ByteRecord<psd::kRecordSize> {
    std::vector<std::uint8_t> devMode;
    std::vector<std::uint8_t> devNames;
};

// The help-window record: size, x, y, dx, dy, window type as 32-bit values, then a 2-byte
// member name (empty).
namespace hwi {
inline constexpr std::size_t kStructSize = 0;
inline constexpr std::size_t kX = 4;
inline constexpr std::size_t kY = 8;
inline constexpr std::size_t kDx = 12;
inline constexpr std::size_t kDy = 16;
inline constexpr std::size_t kWindowType = 20;
inline constexpr std::size_t kMember = 24;
inline constexpr std::size_t kRecordSize = 26;
} // namespace hwi

struct HelpWindowRecord : ByteRecord<hwi::kRecordSize> {};

HelpWindowRecord MakeHelpWindowRecord(std::int32_t x, std::int32_t y, std::int32_t dx,
                                      std::int32_t dy, std::int32_t windowType);

// The first 122 bytes of a device-mode block (ANSI): the part that is kept after a print dialog.
namespace dm {
inline constexpr std::size_t kOrientation = 44; // the fields below are signed 16-bit
inline constexpr std::size_t kPaperSize = 46;
inline constexpr std::size_t kCopies = 54;
inline constexpr std::size_t kPrintQuality = 58;
inline constexpr std::size_t kCollate = 68;
inline constexpr std::size_t kCopySize = 122;
} // namespace dm

struct DeviceModeCopy : ByteRecord<dm::kCopySize> {
    // The first 122 bytes of block; a shorter block leaves the rest 0.
    static DeviceModeCopy From(std::span<const std::uint8_t> block);
    std::int16_t Field(std::size_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::int16_t Orientation() const { return Field(dm::kOrientation); }
    std::int16_t PaperSize() const { return Field(dm::kPaperSize); }
    std::int16_t Copies() const { return Field(dm::kCopies); }
    std::int16_t PrintQuality() const { return Field(dm::kPrintQuality); }
    std::int16_t Collate() const { return Field(dm::kCollate); }
};

// The three ANSI texts of a device-names block, each read from its offset (in characters from
// the start of the block) up to a NUL or the end of the block. An offset outside the block gives
// an empty text.
struct DeviceNames {
    std::string driver, device, port;
};
DeviceNames ParseDeviceNames(std::span<const std::uint8_t> block);

} // namespace corvale
