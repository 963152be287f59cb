// Corvale.exe: the whole program is the start-up procedure.
#include "app/win32/program.h"
#include "platform/win32/safe_dll.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    corvale::RestrictDllSearchAtStartup();
    return corvale::win32::mdStartup(instance);
}
