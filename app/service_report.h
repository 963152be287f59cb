#pragma once
// The console report: the scan's records of one computer as a model (services, their host
// processes with working set and private bytes), and that model as text, CSV or JSON.
#include "app/ModMain.h"
#include "platform/wmi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

struct ReportService {
    std::string displayName;
    std::string name;
    std::string pid; // decimal text, as the scan reads it
    std::string path;
};

// One distinct host process. A figure that could not be read (access denied, process gone) is
// empty, never 0.
struct ReportHost {
    std::string pid;
    std::optional<std::string> commandLine;
    std::optional<std::uint64_t> workingSet;
    std::optional<std::uint64_t> privateBytes;
    std::vector<std::size_t> services; // indexes into ComputerReport::services, in list order
};

struct ComputerReport {
    std::string computer;
    std::string time;                    // ISO 8601 UTC
    std::string osVersion;               // empty when unknown
    std::vector<ReportService> services; // in the order the service query returned them
    std::vector<ReportHost> hosts;       // in order of first appearance

    // True when some host's working set or private bytes could not be read.
    bool Partial() const;
};

// Sums over the readable figures: the working set total equals the window's total label.
struct ReportTotals {
    std::size_t services = 0;
    std::size_t hosts = 0;
    std::uint64_t workingSet = 0;
    std::uint64_t privateBytes = 0;
};
ReportTotals Totals(const ComputerReport& report);

// Scans through one binding: the service query, the window's listing rule, the distinct hosts
// in order of first appearance, then one process query per host. Nothing (and *error set) when
// the service query fails.
std::optional<ComputerReport> ScanComputer(WmiServices& services, std::string* error = nullptr);

enum class ReportFormat { Text, Csv, Json };

struct ReportStyle {
    ReportFormat format = ReportFormat::Text;
    bool hosts = false;         // one record per host instead of per service
    bool manyComputers = false; // several computers asked: text names each, JSON is an array
    NumberLocale locale;        // for the size texts of the text form
};

// The whole report of the computers that could be read. Text and CSV lines end in CR LF; the
// text is UTF-8 without a byte-order mark (the caller adds one where the medium needs it).
std::string FormatReport(const std::vector<ComputerReport>& reports, const ReportStyle& style);

// Field and string encoders, exposed for their tests.
std::string CsvField(std::string_view text);
std::string JsonString(std::string_view utf8);

} // namespace corvale
