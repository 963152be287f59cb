#pragma once
// The main window's save and copy buttons and the desktop lookup on Windows: the system's save
// dialog, the ANSI report file written beside its target and then swapped in, the clipboard.
#include "app/report_export.h"

#include <windows.h>

#include <string>

namespace corvale::win32 {

// The file-system path of a shell special folder (0 = the desktop), without a trailing
// backslash; empty on any failure.
std::string GetSpecialFolderPath(int folderId);

// The desktop path followed by "\Corvale_By_Varnholt.txt".
std::string DefaultReportPath();

// The save button (Command2). reportPath is the proposal and becomes the chosen name; yield lets
// pending window messages run once; dialogEvents, when set, hooks the dialog (tests answer it).
SaveListResult SaveListWithSystemDialog(HWND owner, std::string& reportPath,
                                        const ListControl& list, const YieldFn& yield = {},
                                        cCommonDialog::Events* dialogEvents = nullptr);

// The copy button (Command3): the report onto the clipboard as text. False when the clipboard
// could not be used.
bool CopyListToSystemClipboard(HWND owner, const ListControl& list);

} // namespace corvale::win32
