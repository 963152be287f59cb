#pragma once
// The console report's command line, its usage text and its exit codes.
#include "app/service_report.h"

#include <optional>
#include <string>
#include <vector>

namespace corvale {

enum class ReportAction { Report, Help, Version };

struct ReportOptions {
    ReportAction action = ReportAction::Report;
    ReportFormat format = ReportFormat::Text;
    bool hosts = false;
    std::vector<std::string> computers; // as given; empty means the local computer
    std::optional<std::string> out;     // file to write instead of standard output
};

struct ParsedArguments {
    std::optional<ReportOptions> options;
    std::string error; // why the arguments were refused, when options is empty
};

// Parses the arguments after the program name (UTF-8). "--name value" and "--name=value" both
// work; /?, -h and --help ask for the usage whatever else is given.
ParsedArguments ParseReportArguments(const std::vector<std::string>& args);

std::string ReportUsage(); // lines end in CR LF

// Exit codes: 0 complete, 1 nothing could be read, 2 bad arguments, 3 partial (a computer or a
// figure missing).
inline constexpr int kExitComplete = 0, kExitNothing = 1, kExitBadArguments = 2, kExitPartial = 3;
int ReportExitCode(std::size_t computersAsked, const std::vector<ComputerReport>& reports);

} // namespace corvale
