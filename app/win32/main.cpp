// Corvale.exe: the whole program is the start-up procedure.
#include "app/win32/program.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return corvale::win32::mdStartup(instance);
}
