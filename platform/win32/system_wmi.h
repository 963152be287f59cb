#pragma once
// The management-instrumentation seam on Windows.
//  - ComWmiLocator: the management service over COM (IWbemLocator / IWbemServices), a fresh
//    connection for every Bind.
//  - ServiceManagerWmiLocator: answers the program's queries from the service control manager
//    and the process's memory counters.
//  - SystemWmiLocator: the management service while it gives complete service records, the
//    service manager when it cannot be bound or when its Win32_Service class lacks PathName.
// All of them must be used on a thread that has joined a COM apartment (ComApartment).
#include "platform/wmi.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace corvale::win32 {

// "winmgmts:\\.\root\cimv2" -> "root\cimv2"; also accepts a plain namespace path, and
// "winmgmts:{impersonationLevel=...}!\\server\ns" forms. Nothing for other monikers.
std::optional<std::string> NamespaceFromMoniker(std::string_view moniker);

class ComWmiLocator final : public WmiLocator {
  public:
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override;
    // True when the Win32_Service class of the bound namespace defines PathName.
    static bool ServiceClassHasPathName(WmiServices& services);
};

// The management service of a computer by name (root\cimv2 there). nullptr, with *error the
// system's HRESULT, when it cannot be reached. *hasPathName tells whether its Win32_Service
// records carry PathName.
std::unique_ptr<WmiServices> BindComputer(std::string_view computer, long* error,
                                          bool* hasPathName);

// The system's text for an error code (HRESULT or Win32 error), on one line; "error 0x..." when
// the system has none.
std::string SystemMessage(long code);

class ServiceManagerWmiLocator final : public WmiLocator {
  public:
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override;
};

class SystemWmiLocator final : public WmiLocator {
  public:
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override;
    // Which source the last Bind chose (for diagnostics and tests).
    bool UsingServiceManager() const { return useServiceManager_.value_or(false); }

  private:
    ComWmiLocator com_;
    ServiceManagerWmiLocator scm_;
    std::optional<bool> useServiceManager_; // decided on the first successful COM binding
};

} // namespace corvale::win32
