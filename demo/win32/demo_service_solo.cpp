// CorvaleDemoSolo.exe NAME: the demo service in a process of its own. The manager starts it with
// the service's name as the argument, so one program serves any name it is installed under.
#include "demo_service_body.h"

#include <cwchar>

namespace {

void WINAPI Main(DWORD argc, LPWSTR* argv) {
    corvale::demo::RunDemoService(argc, argv);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: CorvaleDemoSolo.exe SERVICE-NAME (started by the service "
                              L"manager)\n");
        return 2;
    }
    SERVICE_TABLE_ENTRYW table[] = {{argv[1], Main}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
