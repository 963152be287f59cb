// CorvaleDesigner.exe [design-data.json [control name]]
#include "app/designer/designer.h"

#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    corvale::RestrictDllSearchAtStartup();
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring file = argv && argc > 1 ? argv[1] : L"";
    const std::string control = argv && argc > 2 ? corvale::Utf8FromWide(argv[2]) : "";
    if (argv) LocalFree(argv);
    return corvale::designer::RunDesigner(instance, file, control);
}
