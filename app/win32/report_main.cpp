// CorvaleReport.exe: the console report; everything is in RunReport.
#include "app/win32/report_program.h"
#include "platform/win32/safe_dll.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    corvale::RestrictDllSearchAtStartup();
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(corvale::Utf8FromWide(argv[i]));
    return corvale::win32::RunReport(args);
}
