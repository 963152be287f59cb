#pragma once
// The file-dialog component's system side: comdlg32, user32 and kernel32 behind DialogApi, and
// the hook procedures that hand the dialogs' callbacks to mDialogHook.
#include "controls/common_dialog.h"

#include <windows.h>

namespace corvale::win32 {

// The process-wide system implementation (stateless).
DialogApi& SystemDialogApi();

// The hook procedures; all of them route through mDialogHook::RouteHook.
UINT_PTR CALLBACK FileDialogHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
UINT_PTR CALLBACK PrintHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
UINT_PTR CALLBACK PrintSetupHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
UINT_PTR CALLBACK PageSetupHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
UINT_PTR CALLBACK ColorHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
UINT_PTR CALLBACK FontHookProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);

} // namespace corvale::win32
