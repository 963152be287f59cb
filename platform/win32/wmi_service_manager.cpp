// Win32_Service and Win32_Process records built from the service control manager and the
// processes' memory counters, for systems whose management service cannot give them.
#include "platform/ascii_text.h"
#include "platform/service_records.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/system_wmi.h"

namespace corvale::win32 {

std::unique_ptr<WmiServices> ServiceManagerWmiLocator::Bind(std::string_view moniker) {
    static SystemServiceRecords system;
    static ServiceRecordsWmi records(system);
    return records.Bind(moniker);
}

} // namespace corvale::win32
