#pragma once
// The rules of the service-host scan that the window and the console report share: which
// service is listed and how a host process is asked for.
#include "platform/wmi.h"

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

} // namespace corvale
