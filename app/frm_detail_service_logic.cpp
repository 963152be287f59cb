#include "app/frm_detail_service_logic.h"

#include <array>

namespace corvale {
namespace {

struct DetailLine {
    std::string_view label;
    std::string_view property;
    int tabs;
    bool boolean; // BoolText rather than plain text
};

constexpr std::array<DetailLine, 20> kDetailLines{{
    {"Accept Pause: ", "AcceptPause", 2, true},
    {"Accept Stop: ", "AcceptStop", 2, false},
    {"Caption: ", "Caption", 3, false},
    {"Description: ", "Description", 2, false},
    {"Desktop Interactaction: ", "DesktopInteract", 1, true},
    {"Display Name: ", "DisplayName", 2, false},
    {"Error Control: ", "ErrorControl", 2, false},
    {"Exit Code: ", "ExitCode", 2, false},
    {"Name: ", "Name", 3, false},
    {"Path Name: ", "PathName", 2, false},
    {"Process Id: ", "ProcessID", 2, false},
    {"Service Specific Exit Code: ", "ServiceSpecificExitCode", 1, false},
    {"Service Type: ", "ServiceType", 2, false},
    {"Started: ", "Started", 3, true},
    {"Start Mode: ", "StartMode", 2, false},
    {"Start Name: ", "StartName", 2, false},
    {"State: ", "State", 3, false},
    {"Status: ", "Status", 3, false},
    {"Tag Id: ", "TagId", 3, false},
    {"Wait Hint: ", "WaitHint", 2, false},
}};

std::optional<std::string> LineOf(const DetailLine& line, const WmiObject& service) {
    const auto value = service.Get(line.property);
    if (!value) return std::nullopt; // cannot be read
    std::optional<std::string> text = line.boolean ? BoolText(*value) : value->ToText();
    if (!text) return std::nullopt;
    return std::string(line.label) + std::string(static_cast<std::size_t>(line.tabs), '\t') +
           *text + "\r\n";
}

} // namespace

std::string BoolText(const WmiValue& value) {
    if (value.IsNull()) return "<Undetermined>";
    return value.ToBool().value_or(false) ? "True" : "False";
}

std::string BuildServiceDetailText(const WmiObject& service) {
    std::string text;
    for (const DetailLine& line : kDetailLines)
        if (auto l = LineOf(line, service)) text += *l;
    return text;
}

std::string ServiceByNameQuery(std::string_view serviceName, std::string_view quote) {
    // A quote character inside the name is escaped, so the name cannot end the value early.
    std::string value;
    for (char c : serviceName) {
        if (quote.size() == 1 && (c == quote[0] || c == '\\')) value += '\\';
        value += c;
    }
    return "Select * from Win32_Service where name = " + std::string(quote) + value +
           std::string(quote);
}

FrmDetailServiceLogic::FrmDetailServiceLogic(Form& form, WmiLocator& wmi, YieldFn yield,
                                             std::function<void(const Control&)> controlChanged)
    : form_(form), wmi_(wmi), yield_(std::move(yield)), changed_(std::move(controlChanged)) {}

std::string FrmDetailServiceLogic::Text() const {
    const Control* t = form_.Find("Text1");
    return t ? t->text : std::string();
}

void FrmDetailServiceLogic::SetDetailText(std::string text) {
    Control* t = form_.Find("Text1");
    if (t == nullptr) return;
    t->text = std::move(text);
    if (changed_) changed_(*t);
}

void FrmDetailServiceLogic::SetCaption(std::string caption) {
    form_.caption = std::move(caption);
}

void FrmDetailServiceLogic::RefreshData(std::string_view serviceName, std::string_view quote) {
    SetDetailText({});
    CallYield(yield_);
    auto services = wmi_.Bind(kCimV2Moniker);
    if (!services) return;
    const WmiQueryResult result =
        services->ExecQuery(ServiceByNameQuery(serviceName, quote), kWmiQueryFlags);
    if (!result.ok()) return;
    for (const WmiObject& service : result.objects) {
        // The first line replaces the text, each later line is appended to it.
        std::string text = Text();
        for (const DetailLine& line : kDetailLines) {
            auto l = LineOf(line, service);
            if (!l) continue;
            text = (&line == &kDetailLines.front()) ? *l : text + *l;
        }
        SetDetailText(std::move(text));
    }
}

} // namespace corvale
