#pragma once
// The rules of the service-host scan that the window and the console report share: which
// service is listed and how a host process is asked for.
#include "platform/wmi.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvale {

// A property as text: empty when the object lacks it or it has no text form (null).
std::string PropertyText(const WmiObject& object, std::string_view property);

// A service is listed when its path names the service host (exact, case-sensitive: a path
// spelling it only in capitals is not) and it runs in a process (its id is neither empty nor 0).
bool IsHostedService(std::string_view path, std::string_view pid);

// The query for one host process: the pid between two quote characters.
std::string HostProcessQuery(std::string_view pid, std::string_view quote);

// The file name of the program a service path starts (quoted or not, arguments after it):
// "C:\Windows\system32\svchost.exe -k netsvcs" gives "svchost.exe".
std::string HostImageName(std::string_view pathName);

// Whether a process answered for a host id is still the process the services named: the same
// id, the program hostImage (letter case ignored) and, where the answer gives a start time, one no
// later than listedAtMicros (microseconds since 1970-01-01 UTC, when the services were listed).
// A host that ended and whose id went to another program is not.
bool IsSameHostProcess(const WmiObject& process, std::string_view pid, std::string_view hostImage,
                       std::int64_t listedAtMicros);

} // namespace corvale
