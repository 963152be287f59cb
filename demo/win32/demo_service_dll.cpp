// CorvaleDemoService.dll: svchost finds ServiceMain by name and calls it once per service of its
// group that the manager starts, each on a thread of its own.
#include "demo_service_body.h"

extern "C" __declspec(dllexport) void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    corvale::demo::RunDemoService(argc, argv);
}
