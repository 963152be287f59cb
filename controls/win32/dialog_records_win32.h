#pragma once
// The colour, font, print and page-setup records as the platform's own structures, and the
// comdlg32 calls that take them. On 32-bit Windows the structures have exactly the records'
// layout (checked at compile time); on 64-bit Windows they are the platform's wider forms and the
// fields are copied one by one.
#include "controls/dialog_records.h"

#include <windows.h>

#include <commdlg.h>

namespace corvale::win32 {

// The platform structure for a record. Pointers refer into the record (and, for the font, into
// `font`), which must outlive the structure. Hook fields point at the component's hook
// procedures when the record asks for a hook.
CHOOSECOLORA ToPlatform(ColorDialogRecord& record);
CHOOSEFONTA ToPlatform(FontDialogRecord& record, LOGFONTA& font);
PRINTDLGA ToPlatform(const PrintDialogRecord& record);
PAGESETUPDLGA ToPlatform(const PageSetupRecord& record);

// Show the dialog and copy the answer back into the record. The device-mode and device-names
// blocks the print dialogs hand back are copied into the record and freed here.
std::int32_t CallChooseColor(ColorDialogRecord& record);
std::int32_t CallChooseFont(FontDialogRecord& record);
std::int32_t CallPrintDlg(PrintDialogRecord& record);
std::int32_t CallPageSetupDlg(PageSetupRecord& record);

// The help engine; SetHelpWindow hands it the record in movable global memory.
void CallWinHelp(HWND owner, const char* file, UINT command, ULONG_PTR data);
void SetHelpWindow(HWND owner, const char* file, const HelpWindowRecord& record);

} // namespace corvale::win32
