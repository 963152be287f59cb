// The demo service itself: one instance per service name, in svchost or in a process of its own.
#pragma once

#include <windows.h>

namespace corvale::demo {

// The body of ServiceMain: registers the control handler, takes the memory the service's
// Parameters key asks for ("WorkingSetMB"), reports running and returns once stopped.
void RunDemoService(DWORD argc, LPWSTR* argv);

} // namespace corvale::demo
