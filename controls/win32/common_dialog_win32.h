#pragma once
// The file-dialog component's system side: comdlg32, user32 and kernel32 behind DialogApi, and
// the hook procedures that hand the dialogs' callbacks to mDialogHook.
#include "controls/common_dialog.h"

#include <windows.h>

namespace corvale::win32 {

// The process-wide system implementation (stateless).
DialogApi& SystemDialogApi();

// The hook procedure of every dialog (file, print, print setup, page setup, colour, font): all
// of them route through mDialogHook::RouteHook, which knows the dialog by its window.
UINT_PTR CALLBACK DialogHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace corvale::win32
