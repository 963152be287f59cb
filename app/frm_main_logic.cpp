#include "app/frm_main_logic.h"

#include "app/ModSortListview.h"
#include "app/service_scan.h"
#include "platform/ascii_text.h"

#include <algorithm>
#include <chrono>

namespace corvale {
namespace {

constexpr int kBusyBarScanStyle = 4;

// Column cells of a service row (cell k is column k + 1).
constexpr int kCellName = 1, kCellPid = 2, kCellMemory = 3, kCellPath = 4;

std::string TextOf(const WmiObject& o, std::string_view property) {
    auto v = o.Get(property);
    if (!v) return {};
    return v->ToText().value_or(std::string());
}

} // namespace

FrmMainLogic::FrmMainLogic(Form& form, MainWindowSeams seams)
    : form_(form), seams_(std::move(seams)) {}

Control& FrmMainLogic::Ctl(std::string_view name) {
    if (Control* c = form_.Find(name)) return *c;
    scratch_ = Control{};
    return scratch_;
}

void FrmMainLogic::SetEnabled(std::string_view name, bool on) {
    Control& c = Ctl(name);
    c.enabled = on;
    if (seams_.controlChanged && &c != &scratch_) seams_.controlChanged(c);
}

void FrmMainLogic::SetVisible(std::string_view name, bool on) {
    Control& c = Ctl(name);
    c.visible = on;
    if (name == "ListView1") seams_.list.SetVisible(on);
    if (seams_.controlChanged && &c != &scratch_) seams_.controlChanged(c);
}

void FrmMainLogic::SetText(std::string_view name, std::string text) {
    Control& c = Ctl(name);
    c.text = std::move(text);
    if (seams_.controlChanged && &c != &scratch_) seams_.controlChanged(c);
}

std::string FrmMainLogic::Quote() const {
    const Control* t = form_.Find("Text1");
    return t ? t->text : std::string("\"");
}

const std::vector<std::string>& FrmMainLogic::HostIds() const {
    static const std::vector<std::string> kNone;
    const Control* l = form_.Find("List1");
    return l ? l->items : kNone;
}

void FrmMainLogic::OnRefreshClick() {
    SetEnabled("Command1", false);
    SetVisible("ListView1", false);
    SetVisible("Label2", true);
    seams_.busyBar.SetStyle(kBusyBarScanStyle);
    seams_.busyBar.BeginDisplay();
    Yield();
    SetEnabled("Timer1", true);
    SetEnabled("Command2", true);
    SetEnabled("Command3", true);
}

void FrmMainLogic::OnTimerTick() {
    SetEnabled("Timer1", false);
    ListControl& list = seams_.list;
    list.ClearRows();
    Ctl("List1").items.clear();
    hostImages_.clear();
    Yield();

    if (auto services = seams_.wmi.Bind(kCimV2Moniker)) ListServices(*services);

    RemoveListDuplicates(Ctl("List1").items);
    Yield();
    SetText("Label5", std::to_string(list.RowCount()));
    SetText("Label6", std::to_string(HostIds().size()));
    MeasureHosts();

    AutoSizeListViewColumns(list);
    SetText("Label7", FormatSizeText(total_, true, seams_.locale));
    Yield();
    seams_.busyBar.EndDisplay();
    SetVisible("Label2", false);
    SetEnabled("Command1", true);
    SetVisible("ListView1", true);
    Yield();
}

void FrmMainLogic::ListServices(WmiServices& services) {
    const WmiQueryResult result = services.ExecQuery("Select * from Win32_Service", kWmiQueryFlags);
    if (!result.ok()) return;
    // Every process the answer names was running by now; one started later is not it.
    listedAt_ = Now();
    ListControl& list = seams_.list;
    for (const WmiObject& service : result.objects) {
        const std::string path = TextOf(service, "PathName");
        const std::string pid = TextOf(service, "ProcessID");
        Yield();
        // Case-sensitive on purpose: a path spelling the name only in capitals is not listed. A
        // service whose process id cannot be read is not running in a process either.
        if (!IsHostedService(path, pid)) continue;
        Ctl("List1").items.push_back(pid);
        if (std::none_of(hostImages_.begin(), hostImages_.end(),
                         [&](const auto& h) { return h.first == pid; }))
            hostImages_.emplace_back(pid, HostImageName(path));
        const int row = list.AddRow(TextOf(service, "DisplayName"));
        list.SetCellText(row, kCellName, TextOf(service, "Name"));
        list.SetCellText(row, kCellPid, pid);
        list.SetCellText(row, kCellMemory, "");
        list.SetCellText(row, kCellPath, path);
        Yield();
    }
}

void FrmMainLogic::MeasureHosts() {
    total_ = Currency{};
    const std::string quote = Quote();
    ListControl& list = seams_.list;
    // The entries are copied: a handler running at a yield point may change List1.
    const std::vector<std::string> hosts = HostIds();
    for (const std::string& pid : hosts) {
        auto services = seams_.wmi.Bind(kCimV2Moniker); // a fresh binding per host process
        if (!services) continue;
        const WmiQueryResult result =
            services->ExecQuery(HostProcessQuery(pid, quote), kWmiQueryFlags);
        if (!result.ok()) continue;
        for (const WmiObject& process : result.objects) {
            // A process that is not the one the services named (its host ended and the id went
            // to another program) is treated as a host that ended: its rows stay empty.
            if (!IsListedHost(process, pid)) continue;
            Currency memory{};
            if (auto v = process.Get("WorkingSetSize"))
                memory = v->ToCurrency().value_or(Currency{});
            total_ = total_.Plus(memory).value_or(total_);
            Yield();
            const std::string memoryText = FormatSizeText(memory, true, seams_.locale);
            Yield();
            for (int row = 1; row <= list.RowCount(); ++row) {
                if (list.CellText(row, kCellPid) == pid)
                    list.SetCellText(row, kCellMemory, memoryText);
                Yield();
            }
        }
    }
    Yield();
}

std::int64_t FrmMainLogic::Now() const {
    if (seams_.clock) return seams_.clock();
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool FrmMainLogic::IsListedHost(const WmiObject& process, const std::string& pid) const {
    const auto host = std::find_if(hostImages_.begin(), hostImages_.end(),
                                   [&](const auto& h) { return h.first == pid; });
    return host != hostImages_.end() && IsSameHostProcess(process, pid, host->second, listedAt_);
}

void FrmMainLogic::OnColumnClick(int columnIndex) {
    OnColumnHeaderClick(seams_.list, columnIndex, seams_.locale);
}

void FrmMainLogic::OnListDoubleClick(DetailWindowHost& host) {
    ListControl& list = seams_.list;
    if (list.RowCount() == 0) return;
    FrmDetailServiceLogic& detail = host.ShowDetailWindow();
    const int row = list.SelectedRow();
    if (row != 0) detail.SetCaption("Detailed Service Info - " + list.RowText(row));
    Yield();
    // The selection may have changed while messages ran; the row is read again.
    const int current = list.SelectedRow();
    if (current != 0) detail.RefreshData(list.CellText(current, kCellName), Quote());
    host.FocusDetailWindow();
}

} // namespace corvale
