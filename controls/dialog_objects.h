#pragma once
// The small objects the colour, font, print and page-setup dialogs read and fill, and their
// argument bundles. As with the file dialogs, outputs overwrite inputs.
#include "controls/dialog_records.h"

#include <cstdint>
#include <string>

namespace corvale {

class DialogEventSink;

// A font as the font dialog sees it. Bold is not stored apart from the weight: setting it gives
// weight 700 or 400, and a weight above 550 reads as bold.
struct DialogFont {
    std::string Name = "MS Sans Serif";
    double Size = 8; // points
    std::int32_t Weight = 400;
    bool Italic = false;
    bool Underline = false;
    bool Strikethrough = false;

    bool Bold() const { return Weight > 550; }
    void SetBold(bool bold) { Weight = bold ? 700 : 400; }
};

// The printer settings a print or page-setup dialog hands on to a printer.
struct PrinterObject {
    std::int32_t Copies = 1;
    std::int32_t Orientation = 0;
    std::int32_t PaperSize = 0;
    std::int32_t PrintQuality = 0;
};

struct ColorDialogArgs {
    std::int32_t Color = 0; // the initial colour; the chosen one after OK, -1 otherwise
    bool AnyColor = false;
    bool FullOpen = false;
    bool DisableFullOpen = false;
    WindowHandle Owner = 0; // -1 = none
    std::int32_t flags = 0; // not read
    bool Hook = false;
    DialogEventSink* EventSink = nullptr;
};

struct FontDialogArgs {
    DialogFont CurFont;
    // -1: the current printer's, and only when flags asks for printer fonts. Any other value is
    // used as it is and asks for printer fonts.
    DeviceContext PrinterDC = -1;
    WindowHandle Owner = 0;
    std::int32_t Color = 0;
    std::int32_t MinSize = 0;
    std::int32_t MaxSize = 0;
    std::int32_t flags = 0;
    bool Hook = false;
    DialogEventSink* EventSink = nullptr;
};

struct PrintDialogArgs {
    DeviceContext hDC = 0;       // receives the printer's device context; the caller deletes it
    std::int32_t PrintRange = 0; // 0 all, 1 page numbers, 2 selection
    bool DisablePageNumbers = false;
    std::int32_t FromPage = 0;
    std::int32_t ToPage = 0;
    bool DisableSelection = false;
    std::int32_t Copies = 0;
    bool ShowPrintToFile = false;
    bool DisablePrintToFile = false;
    bool PrintToFile = false;
    bool Collate = false;
    bool PreventWarning = false;
    WindowHandle Owner = 0;
    PrinterObject* Printer = nullptr; // optional
    std::int32_t flags = 0;
    bool Hook = false;
    DialogEventSink* EventSink = nullptr;
};

struct PageSetupArgs {
    WindowHandle Owner = 0;
    bool DisableMargins = false;
    bool DisableOrientation = false;
    bool DisablePaper = false;
    bool DisablePrinter = false;
    // In millimetres when Units is nonzero, else in inches. A margin set that is all zero is not
    // passed, so the dialog starts from its own margins.
    double LeftMargin = 0, MinLeftMargin = 0;
    double RightMargin = 0, MinRightMargin = 0;
    double TopMargin = 0, MinTopMargin = 0;
    double BottomMargin = 0, MinBottomMargin = 0;
    std::int32_t PaperSize = 0;
    std::int32_t Orientation = 0;
    std::int32_t PrintQuality = 0;
    std::int32_t Units = 0;
    PrinterObject* Printer = nullptr; // optional
    std::int32_t flags = 0;           // receives the dialog's flags
    bool Hook = false;
    DialogEventSink* EventSink = nullptr;
};

} // namespace corvale
