// One whole scan over a machine of generated services and the numeric sort of a long list.
#include "app/ModSortListview.h"
#include "app/form_data.h"
#include "app/frm_main_logic.h"
#include "app/service_report.h"
#include "platform/fixture_wmi.h"
#include "platform/host/memory_list_control.h"

#include <benchmark/benchmark.h>

#include <random>

namespace corvale {
namespace {

struct NullBusyBar : BusyBar {
    void SetStyle(int) override {}
    void BeginDisplay() override {}
    void EndDisplay() override {}
};

// services in hosts svchost processes (every third service stopped, outside the hosts).
FixtureData Machine(int services, int hosts) {
    std::mt19937 rnd(7);
    FixtureData d;
    for (int h = 0; h < hosts; ++h) {
        WmiObject p;
        p.Set("ProcessId", WmiValue::Integer(1000 + 4 * h));
        p.Set("WorkingSetSize", WmiValue::Text(std::to_string(1048576 + rnd() % 50000000)));
        p.Set("PrivatePageCount", WmiValue::Text(std::to_string(524288 + rnd() % 30000000)));
        p.Set("CommandLine",
              WmiValue::Text("C:\\WINDOWS\\system32\\svchost.exe -k group" + std::to_string(h)));
        d.processes.push_back(std::move(p));
    }
    for (int i = 0; i < services; ++i) {
        WmiObject s;
        const bool running = i % 3 != 2;
        s.Set("Name", WmiValue::Text("Service" + std::to_string(i)));
        s.Set("DisplayName", WmiValue::Text("Generated Service " + std::to_string(i)));
        s.Set("PathName", WmiValue::Text("C:\\WINDOWS\\system32\\svchost.exe -k group" +
                                         std::to_string(i % hosts)));
        s.Set("ProcessId",
              WmiValue::Integer(running ? 1000 + 4 * static_cast<std::int64_t>(rnd() % hosts) : 0));
        d.services.push_back(std::move(s));
    }
    return d;
}

void BM_WholeScan(benchmark::State& state) {
    FixtureWmi wmi(Machine(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    Form form = *LoadFrmMain().form;
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    NullBusyBar bar;
    FrmMainLogic main(form, MainWindowSeams{list, wmi, bar, [] {}, NumberLocale{}, nullptr});
    for (auto _ : state) {
        main.OnRefreshClick();
        main.OnTimerTick();
        wmi.queries.clear();
        benchmark::DoNotOptimize(list.RowCount());
    }
    state.counters["rows"] = list.RowCount();
    state.counters["hosts"] = static_cast<double>(main.HostIds().size());
}
// The brief's machine, then twice the rows and twice the hosts: cost grows with rows x hosts.
BENCHMARK(BM_WholeScan)
    ->Args({2000, 300})
    ->Args({4000, 300})
    ->Args({2000, 600})
    ->Unit(benchmark::kMillisecond);

// The console report of the same machine, scan and formatting together, in each format.
void BM_Report(benchmark::State& state) {
    FixtureWmi wmi(Machine(2000, 300));
    ReportStyle style;
    style.format = static_cast<ReportFormat>(state.range(0));
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto services = wmi.Bind(kCimV2Moniker);
        auto report = ScanComputer(*services);
        report->computer = "HOST";
        report->time = "2026-12-08T16:00:00Z";
        bytes = FormatReport({*report}, style).size();
        benchmark::DoNotOptimize(bytes);
        wmi.queries.clear();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Report)
    ->ArgName("text0_csv1_json2")
    ->Arg(static_cast<int>(ReportFormat::Text))
    ->Arg(static_cast<int>(ReportFormat::Csv))
    ->Arg(static_cast<int>(ReportFormat::Json))
    ->Unit(benchmark::kMillisecond);

void BM_NumericSort(benchmark::State& state) {
    MemoryListControl list({"Service Display Name", "Service", "PID", "PID Memory", "Path"});
    std::mt19937 rnd(11);
    for (int i = 0; i < state.range(0); ++i) {
        const int r = list.AddRow("Service " + std::to_string(i));
        list.SetCellText(r, 2, std::to_string(rnd() % 60000));
        list.SetCellTag(r, 2, "t");
    }
    for (auto _ : state) SortListView(list, 3, kSortNumber, false);
}
BENCHMARK(BM_NumericSort)->Arg(10000)->Unit(benchmark::kMillisecond);

// The host-id list's duplicate removal against the pairwise compare-and-erase of the original.
void ReferenceRemoveDuplicates(std::vector<std::string>& e) {
    const std::size_t n = e.size();
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < e.size(); ++j)
            if (e[j] == e[i]) e.erase(e.begin() + static_cast<std::ptrdiff_t>(j--));
}

std::vector<std::string> HostIds(int services, int hosts) {
    std::mt19937 rnd(3);
    std::vector<std::string> ids;
    for (int i = 0; i < services; ++i) ids.push_back(std::to_string(1000 + 4 * (rnd() % hosts)));
    return ids;
}

// Removes the duplicates from a fresh copy of one list of host ids each run.
void BM_RemoveDuplicates(benchmark::State& state, void (*remove)(std::vector<std::string>&)) {
    const auto ids = HostIds(1334, 300);
    for (auto _ : state) {
        auto copy = ids;
        remove(copy);
        benchmark::DoNotOptimize(copy.size());
    }
}
BENCHMARK_CAPTURE(BM_RemoveDuplicates, RemoveListDuplicates, RemoveListDuplicates)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RemoveDuplicates, Reference, ReferenceRemoveDuplicates)
    ->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace corvale

BENCHMARK_MAIN();
