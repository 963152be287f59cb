#include "app/report_arguments.h"

#include <string_view>

namespace corvale {
namespace {

bool IsHelp(std::string_view a) {
    return a == "/?" || a == "-h" || a == "--help";
}

} // namespace

ParsedArguments ParseReportArguments(const std::vector<std::string>& args) {
    for (const std::string& a : args)
        if (IsHelp(a)) {
            ParsedArguments help;
            help.options.emplace().action = ReportAction::Help;
            return help;
        }
    ReportOptions o;
    bool formatSeen = false;
    auto fail = [](std::string why) {
        ParsedArguments r;
        r.error = std::move(why);
        return r;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        std::optional<std::string> inlineValue;
        if (a.starts_with("--")) {
            if (const auto eq = a.find('='); eq != std::string_view::npos) {
                inlineValue = std::string(a.substr(eq + 1));
                a = a.substr(0, eq);
            }
        }
        const bool takesValue = a == "--format" || a == "--computer" || a == "--out";
        if (!takesValue && inlineValue) return fail(std::string(a) + " takes no value");
        std::string value;
        if (takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(std::string(a) + " needs a value");
            }
            if (value.empty()) return fail(std::string(a) + " needs a value");
        }
        if (a == "--format") {
            if (formatSeen) return fail("--format is given twice");
            formatSeen = true;
            if (value == "text")
                o.format = ReportFormat::Text;
            else if (value == "csv")
                o.format = ReportFormat::Csv;
            else if (value == "json")
                o.format = ReportFormat::Json;
            else
                return fail("unknown format \"" + value + "\" (text, csv or json)");
        } else if (a == "--computer") {
            o.computers.push_back(value);
        } else if (a == "--out") {
            if (o.out) return fail("--out is given twice");
            o.out = value;
        } else if (a == "--hosts") {
            o.hosts = true;
        } else if (a == "--version") {
            o.action = ReportAction::Version;
        } else {
            return fail("unknown argument \"" + std::string(args[i]) + "\"");
        }
    }
    ParsedArguments r;
    r.options = std::move(o);
    return r;
}

std::string ReportUsage() {
    return "Usage: CorvaleReport [--format text|csv|json] [--hosts] [--computer NAME]...\r\n"
           "                     [--out FILE]\r\n"
           "       CorvaleReport --version | --help\r\n"
           "\r\n"
           "Lists the services that run inside svchost.exe host processes, with each host's\r\n"
           "working set and private bytes.\r\n"
           "\r\n"
           "  --format FORMAT  text (the default, as the window's report), csv or json\r\n"
           "  --hosts          one line or row per host process instead of per service\r\n"
           "  --computer NAME  report this computer (repeatable; \".\" is this computer)\r\n"
           "  --out FILE       write the report to FILE (replaced whole) instead of the\r\n"
           "                   standard output\r\n"
           "  --version        print the product version\r\n"
           "  /?, -h, --help   print this text\r\n"
           "\r\n"
           "Exit codes: 0 complete, 1 nothing could be read, 2 bad arguments,\r\n"
           "3 partial (a computer or some memory figure could not be read).\r\n";
}

int ReportExitCode(std::size_t computersAsked, const std::vector<ComputerReport>& reports) {
    if (reports.empty()) return kExitNothing;
    if (reports.size() < computersAsked) return kExitPartial;
    for (const ComputerReport& r : reports)
        if (r.Partial()) return kExitPartial;
    return kExitComplete;
}

} // namespace corvale
