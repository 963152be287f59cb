#pragma once
// Win32_Service and Win32_Process records made from what the service control manager and the
// process list give: the management seam for systems whose management service cannot give
// complete records. The source of the raw records is a seam of its own (the Windows one is in
// platform/win32/service_manager.h), so the records can be made from anything.
#include "platform/wmi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvale {

struct ScmService {
    // False when the configuration could not be read (the service went in the meantime): the
    // configuration's fields are then unknown, not empty.
    bool configured = false;
    std::string name;
    std::string displayName;
    std::string pathName;
    std::optional<std::string> startName;   // none for drivers without an account
    std::optional<std::string> description; // none when the service has no description
    std::uint32_t serviceType = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::uint32_t tagId = 0;
    std::uint32_t state = 0;
    std::uint32_t controlsAccepted = 0;
    std::uint32_t win32ExitCode = 0;
    std::uint32_t serviceSpecificExitCode = 0;
    std::uint32_t waitHint = 0;
    std::uint32_t processId = 0;
};

// What one look at a running process gives; every field read through the same opening of the
// process, so they all describe one process even if its id is reused right after.
struct ProcessRecord {
    std::uint32_t processId = 0;
    std::optional<std::string> imagePath;    // the program's path (or file name)
    std::optional<std::int64_t> createdAt;   // microseconds since 1970-01-01 UTC
    std::optional<std::uint64_t> workingSet; // bytes
};

class ServiceRecordSource {
  public:
    virtual ~ServiceRecordSource() = default;
    // Every installed Win32 service; nothing when the manager cannot be read completely.
    virtual std::optional<std::vector<ScmService>> ReadServices() = 0;
    // The process with this id, or nothing when there is none (or it cannot be opened).
    virtual std::optional<ProcessRecord> ReadProcess(std::uint32_t processId) = 0;
    // The ids of every process; nothing when they cannot be listed.
    virtual std::optional<std::vector<std::uint32_t>> ProcessIds() = 0;
};

WmiObject ServiceObject(const ScmService& service);
WmiObject ProcessObject(const ProcessRecord& process);

// Answers the program's queries (platform/wql.h shapes) over a source; binds to root\cimv2 only.
class ServiceRecordsWmi final : public WmiLocator {
  public:
    explicit ServiceRecordsWmi(ServiceRecordSource& source) : source_(source) {}
    std::unique_ptr<WmiServices> Bind(std::string_view moniker) override;
    // The answer to one query.
    WmiQueryResult Run(std::string_view wql);

  private:
    ServiceRecordSource& source_;
};

} // namespace corvale
