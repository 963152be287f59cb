#include "app/service_report.h"

#include "app/service_scan.h"

#include <chrono>
#include <unordered_map>

namespace corvale {
namespace {

const std::string kCrLf = "\r\n";
const std::string kSeparator = std::string(62, '-') + "\r\n";

// A whole, non-negative byte count; nothing for null, text that is no number, or below zero.
std::optional<std::uint64_t> ByteCount(const WmiObject& o, std::string_view property) {
    auto v = o.Get(property);
    if (!v || v->IsNull()) return std::nullopt;
    if (auto n = v->ToInt64(); n && *n >= 0) return static_cast<std::uint64_t>(*n);
    // Values above the signed range arrive as decimal text.
    auto t = v->ToText();
    if (!t || t->empty() || t->size() > 20) return std::nullopt;
    std::uint64_t out = 0;
    for (char c : *t) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (out > (UINT64_MAX - digit) / 10) return std::nullopt;
        out = out * 10 + digit;
    }
    return out;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

bool AllDigits(std::string_view t) {
    if (t.empty() || t.size() > 19) return false;
    for (char c : t)
        if (c < '0' || c > '9') return false;
    return true;
}

// The host of every service, by the services' indexes.
std::vector<const ReportHost*> HostsOfServices(const ComputerReport& r) {
    std::vector<const ReportHost*> of(r.services.size(), nullptr);
    for (const ReportHost& h : r.hosts)
        for (std::size_t i : h.services)
            if (i < of.size()) of[i] = &h;
    return of;
}

// ---- text -------------------------------------------------------------------------------------

// The size text the window shows; beyond the window's amount range the byte count is shown.
std::string SizeText(const std::optional<std::uint64_t>& bytes, const NumberLocale& locale) {
    if (!bytes) return "n/a";
    if (*bytes > static_cast<std::uint64_t>(Currency::kMaxWhole))
        return std::to_string(*bytes) + " bytes";
    return FormatSizeText(*Currency::FromWhole(static_cast<std::int64_t>(*bytes)), true, locale);
}

void TextServices(std::string& out, const ComputerReport& r, const ReportStyle& style) {
    const auto hostOf = HostsOfServices(r);
    for (std::size_t i = 0; i < r.services.size(); ++i) {
        const ReportService& s = r.services[i];
        const ReportHost* host = hostOf[i];
        out += kSeparator;
        out += "Service Display Name: " + s.displayName + kCrLf;
        out += "Service: " + s.name + kCrLf;
        out += "PID: " + s.pid + kCrLf;
        out +=
            "PID Memory: " + SizeText(host ? host->workingSet : std::nullopt, style.locale) + kCrLf;
        out += "PID Private Bytes: " +
               SizeText(host ? host->privateBytes : std::nullopt, style.locale) + kCrLf;
        out += "Path: " + s.path + kCrLf;
        out += kSeparator;
    }
}

std::string ServiceNames(const ComputerReport& r, const ReportHost& h, std::string_view sep) {
    std::string names;
    for (std::size_t i : h.services) {
        if (!names.empty()) names += sep;
        names += r.services[i].name;
    }
    return names;
}

void TextHosts(std::string& out, const ComputerReport& r, const ReportStyle& style) {
    for (const ReportHost& h : r.hosts) {
        out += "PID: " + h.pid + " | Services: " + std::to_string(h.services.size()) +
               " | PID Memory: " + SizeText(h.workingSet, style.locale) +
               " | PID Private Bytes: " + SizeText(h.privateBytes, style.locale) + " | " +
               ServiceNames(r, h, ", ") + kCrLf;
    }
}

// ---- CSV ----------------------------------------------------------------------------------------

std::string CsvNumber(const std::optional<std::uint64_t>& v) {
    return v ? std::to_string(*v) : std::string();
}

void CsvRows(std::string& out, const ComputerReport& r, bool hosts) {
    const std::string computer = CsvField(r.computer);
    if (hosts) {
        for (const ReportHost& h : r.hosts)
            out += computer + ',' + CsvField(h.pid) + ',' + std::to_string(h.services.size()) +
                   ',' + CsvNumber(h.workingSet) + ',' + CsvNumber(h.privateBytes) + ',' +
                   CsvField(ServiceNames(r, h, ";")) + kCrLf;
        return;
    }
    const auto hostOf = HostsOfServices(r);
    for (std::size_t i = 0; i < r.services.size(); ++i) {
        const ReportService& s = r.services[i];
        const ReportHost* host = hostOf[i];
        out += computer + ',' + CsvField(s.pid) + ',' + CsvField(s.name) + ',' +
               CsvField(s.displayName) + ',' + CsvField(s.path) + ',' +
               CsvNumber(host ? host->workingSet : std::nullopt) + ',' +
               CsvNumber(host ? host->privateBytes : std::nullopt) + kCrLf;
    }
}

// ---- JSON ---------------------------------------------------------------------------------------

std::string JsonNumber(const std::optional<std::uint64_t>& v) {
    return v ? std::to_string(*v) : std::string("null");
}

std::string JsonPid(const std::string& pid) {
    return AllDigits(pid) ? pid : JsonString(pid);
}

void JsonComputer(std::string& out, const ComputerReport& r, bool hosts, const std::string& in) {
    const ReportTotals t = Totals(r);
    const std::string i1 = in + "  ", i2 = in + "    ", i3 = in + "      ", i4 = in + "        ";
    out += in + "{" + kCrLf;
    out += i1 + "\"computer\": " + JsonString(r.computer) + "," + kCrLf;
    out += i1 + "\"time\": " + JsonString(r.time) + "," + kCrLf;
    out += i1 + "\"osVersion\": " + (r.osVersion.empty() ? "null" : JsonString(r.osVersion)) + "," +
           kCrLf;
    out += i1 + "\"partial\": " + (r.Partial() ? "true" : "false") + "," + kCrLf;
    out += i1 + "\"totals\": {\"services\": " + std::to_string(t.services) +
           ", \"hosts\": " + std::to_string(t.hosts) +
           ", \"workingSetBytes\": " + std::to_string(t.workingSet) +
           ", \"privateBytes\": " + std::to_string(t.privateBytes) + "}," + kCrLf;
    out += i1 + "\"hosts\": [";
    for (std::size_t k = 0; k < r.hosts.size(); ++k) {
        const ReportHost& h = r.hosts[k];
        out += (k ? "," : "") + kCrLf + i2 + "{" + kCrLf;
        out += i3 + "\"pid\": " + JsonPid(h.pid) + "," + kCrLf;
        out += i3 + "\"commandLine\": " + (h.commandLine ? JsonString(*h.commandLine) : "null") +
               "," + kCrLf;
        out += i3 + "\"workingSetBytes\": " + JsonNumber(h.workingSet) + "," + kCrLf;
        out += i3 + "\"privateBytes\": " + JsonNumber(h.privateBytes) + "," + kCrLf;
        out += i3 + "\"serviceCount\": " + std::to_string(h.services.size()) + "," + kCrLf;
        out += i3 + "\"services\": [";
        for (std::size_t j = 0; j < h.services.size(); ++j) {
            const ReportService& s = r.services[h.services[j]];
            out += (j ? "," : "") + kCrLf + i4;
            if (hosts) {
                out += JsonString(s.name);
            } else {
                out += "{\"name\": " + JsonString(s.name) +
                       ", \"displayName\": " + JsonString(s.displayName) +
                       ", \"path\": " + JsonString(s.path) + "}";
            }
        }
        out += (h.services.empty() ? "]" : kCrLf + i3 + "]") + kCrLf + i2 + "}";
    }
    out += (r.hosts.empty() ? "]" : kCrLf + i1 + "]") + kCrLf + in + "}";
}

// Length of the UTF-8 sequence at s[i], or 0 when it is not a well-formed one (overlong forms,
// surrogates and values above U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n = 0;
    unsigned lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c == 0xE0)
        n = 3, lo = 0xA0;
    else if (c == 0xED)
        n = 3, hi = 0x9F;
    else if (c >= 0xE1 && c <= 0xEF)
        n = 3;
    else if (c == 0xF0)
        n = 4, lo = 0x90;
    else if (c >= 0xF1 && c <= 0xF3)
        n = 4;
    else if (c == 0xF4)
        n = 4, hi = 0x8F;
    else
        return 0;
    if (i + n > s.size()) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
    return n;
}

} // namespace

bool ComputerReport::Partial() const {
    for (const ReportHost& h : hosts)
        if (!h.workingSet || !h.privateBytes) return true;
    return false;
}

ReportTotals Totals(const ComputerReport& report) {
    ReportTotals t;
    t.services = report.services.size();
    t.hosts = report.hosts.size();
    for (const ReportHost& h : report.hosts) {
        t.workingSet = SaturatingAdd(t.workingSet, h.workingSet.value_or(0));
        t.privateBytes = SaturatingAdd(t.privateBytes, h.privateBytes.value_or(0));
    }
    return t;
}

std::optional<ComputerReport> ScanComputer(WmiServices& services, std::string* error) {
    const WmiQueryResult listed = services.ExecQuery("Select * from Win32_Service", kWmiQueryFlags);
    if (!listed.ok()) {
        if (error) *error = listed.error;
        return std::nullopt;
    }
    // Every process the answer names was running by now; one started later is not it.
    const std::int64_t listedAt = std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::system_clock::now().time_since_epoch())
                                      .count();
    ComputerReport report;
    std::unordered_map<std::string, std::size_t> hostIndex; // pid -> place in report.hosts
    std::vector<std::string> hostImages;                    // by the hosts' places
    for (const WmiObject& service : listed.objects) {
        const std::string path = PropertyText(service, "PathName");
        const std::string pid = PropertyText(service, "ProcessID");
        if (!IsHostedService(path, pid)) continue;
        // Hosts in order of first appearance, as the window's duplicate removal leaves them.
        auto [at, added] = hostIndex.try_emplace(pid, report.hosts.size());
        if (added) {
            report.hosts.push_back(ReportHost{pid, std::nullopt, std::nullopt, std::nullopt, {}});
            hostImages.push_back(HostImageName(path));
        }
        report.hosts[at->second].services.push_back(report.services.size());
        report.services.push_back(
            {PropertyText(service, "DisplayName"), PropertyText(service, "Name"), pid, path});
    }
    for (std::size_t k = 0; k < report.hosts.size(); ++k) {
        ReportHost& host = report.hosts[k];
        const WmiQueryResult p =
            services.ExecQuery(HostProcessQuery(host.pid, "\""), kWmiQueryFlags);
        // A host that ended and whose id went to another program is left unread, as one that
        // ended: its figures are missing, never another program's.
        if (p.ok() && !p.objects.empty() &&
            IsSameHostProcess(p.objects.front(), host.pid, hostImages[k], listedAt)) {
            const WmiObject& process = p.objects.front();
            host.workingSet = ByteCount(process, "WorkingSetSize");
            host.privateBytes = ByteCount(process, "PrivatePageCount");
            if (auto cl = process.Get("CommandLine"); cl && !cl->IsNull())
                host.commandLine = cl->ToText();
        }
    }
    return report;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string JsonString(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    out += "\\u00";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        const std::size_t n = Utf8SequenceLength(s, i);
        if (n == 0) {
            out += "\\ufffd"; // a byte that is no UTF-8 is replaced, never passed on
            ++i;
            continue;
        }
        // U+2028 and U+2029 end lines in script parsers that read JSON as code.
        if (n == 3 && c == 0xE2 && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xA8) {
            out += static_cast<unsigned char>(s[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
    out += '"';
    return out;
}

std::string FormatReport(const std::vector<ComputerReport>& reports, const ReportStyle& style) {
    std::string out;
    switch (style.format) {
    case ReportFormat::Text:
        for (const ComputerReport& r : reports) {
            if (style.manyComputers) out += "Computer: " + r.computer + kCrLf;
            if (style.hosts)
                TextHosts(out, r, style);
            else
                TextServices(out, r, style);
        }
        break;
    case ReportFormat::Csv:
        out += style.hosts ? "Computer,Host PID,Service Count,Working Set Bytes,Private Bytes,"
                             "Services"
                           : "Computer,Host PID,Service,Display Name,Path,Working Set Bytes,"
                             "Private Bytes";
        out += kCrLf;
        for (const ComputerReport& r : reports) CsvRows(out, r, style.hosts);
        break;
    case ReportFormat::Json:
        if (style.manyComputers) {
            out += "[";
            for (std::size_t i = 0; i < reports.size(); ++i) {
                out += (i ? "," : "") + kCrLf;
                JsonComputer(out, reports[i], style.hosts, "  ");
            }
            out += (reports.empty() ? "]" : kCrLf + "]") + kCrLf;
        } else if (!reports.empty()) {
            JsonComputer(out, reports.front(), style.hosts, "");
            out += kCrLf;
        }
        break;
    }
    return out;
}

} // namespace corvale
