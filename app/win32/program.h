#pragma once
// Putting the program together: the start-up procedure mdStartup, the main window over the real
// system, and the pieces tests use to run the same windows over recorded data.
#include "app/win32/frm_main.h"

#include <windows.h>

#include <memory>

namespace corvale::win32 {

// The windows' design data with the common controls the program uses registered; false when
// the embedded design data cannot be read.
struct ProgramForms {
    Form main;
    Form detail;
};
std::optional<ProgramForms> LoadProgramForms();

// The user's decimal point and group separator, as the system has them now.
NumberLocale UserNumberLocale();

// The services of the real system (management service or service manager, shell folders, the
// file dialog, the clipboard, the end of the process, the user's number format read once), with
// `wmi` used for every binding.
MainWindowServices SystemServices(WmiLocator& wmi);

// Makes FrmMain from the embedded design data, runs its load steps and shows it; nullptr when
// it cannot be made.
std::unique_ptr<FrmMain> OpenMainWindow(HINSTANCE instance, MainWindowServices services);

// Serves the message queue until the main window is gone; the quit code.
int RunMessageLoop();

// The start-up procedure: prepares COM, the common controls and the visual styles, shows the
// main window and runs until it is closed. The process exit code.
int mdStartup(HINSTANCE instance);

} // namespace corvale::win32
