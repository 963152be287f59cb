// CorvaleDemo.exe: the demo system in the current system (under Wine: the current prefix).
//   CorvaleDemo.exe [up]          install and start the demo services, start the system's own
//                                 svchost services; one line says what runs (the default)
//   CorvaleDemo.exe up --own-only the same without the system's own services
//   CorvaleDemo.exe up [--own-only] --run PROGRAM [ARGS...]
//                                 then runs PROGRAM in the same session and returns its exit
//                                 code (under Wine the services end with the session; a Unix
//                                 path to PROGRAM is accepted)
//   CorvaleDemo.exe install       copy the files and install the services, start nothing
//   CorvaleDemo.exe start|stop    start or stop the demo set (the stopped one stays stopped)
//   CorvaleDemo.exe delete        stop and delete every demo service, the groups cleaned up
//   CorvaleDemo.exe list          one line per demo service: state, process, group, memory, name
// Exit code 0 on success, 1 when a step failed (the step is printed), 2 for a bad command line.
#include "demo/win32/demo_services.h"

#include <string>

namespace {

using namespace corvale::demo;

void Print(const std::wstring& line, bool error = false) {
    HANDLE out = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    const std::wstring text = line + L"\r\n";
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string bytes = ToUtf8(line) + "\n";
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

int Usage() {
    Print(L"usage: CorvaleDemo.exe [up [--own-only] [--run PROGRAM [ARGS...]]|install|start|stop|"
          L"delete|list]",
          true);
    return 2;
}

int Failed(const DemoResult& r) {
    Print(L"CorvaleDemo: " + FromUtf8(r.Utf8()), true);
    return 1;
}

const wchar_t* StateName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED:
        return L"stopped";
    case SERVICE_START_PENDING:
        return L"starting";
    case SERVICE_STOP_PENDING:
        return L"stopping";
    case SERVICE_RUNNING:
        return L"running";
    default:
        return L"other";
    }
}

// One argument quoted for CommandLineToArgvW and the C runtime's parser.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

// Runs the program in this session and waits for it; its exit code.
int Run(const std::vector<std::wstring>& args) {
    std::wstring line = Quoted(WindowsPathOf(args[0]));
    for (size_t i = 1; i < args.size(); ++i) line += L" " + Quoted(args[i]);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi))
        return Failed({GetLastError(), L"running " + line});
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// How many programs run through "up --run" in this session (a second tools/run reuses the demo
// of the first): a counter in shared memory that each one raises on start and lowers at its end.
class RunningPrograms {
  public:
    RunningPrograms() {
        mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(LONG), L"Local\\CorvaleDemoRunningPrograms");
        if (mapping_)
            count_ = static_cast<volatile LONG*>(
                MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(LONG)));
        if (count_) InterlockedIncrement(count_);
    }
    ~RunningPrograms() {
        if (count_) UnmapViewOfFile(const_cast<LONG*>(count_));
        if (mapping_) CloseHandle(mapping_);
    }
    RunningPrograms(const RunningPrograms&) = delete;
    RunningPrograms& operator=(const RunningPrograms&) = delete;
    // Lowers the count; true when this was the last one.
    bool Leave() { return count_ && InterlockedDecrement(count_) == 0; }

  private:
    HANDLE mapping_ = nullptr;
    volatile LONG* count_ = nullptr;
};

// With a program to run, the summary goes to the error stream: the program's own output (a
// report redirected to a file) stays clean.
int Up(bool systemToo, bool programFollows) {
    std::wstring summary;
    const DemoResult r = PrepareDemoSystem(systemToo, &summary);
    if (!r.ok()) return Failed(r);
    Print(summary, programFollows);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"up";
    const std::vector<DemoService> set = DefaultDemoSet();
    if (command == L"up") {
        bool systemToo = true;
        int at = 2;
        if (at < argc && std::wstring(argv[at]) == L"--own-only") {
            systemToo = false;
            ++at;
        }
        std::vector<std::wstring> program;
        if (at < argc && std::wstring(argv[at]) == L"--run" && at + 1 < argc)
            program.assign(argv + at + 1, argv + argc);
        else if (at < argc)
            return Usage();
        const int rc = Up(systemToo, !program.empty());
        if (rc != 0 || program.empty()) return rc;
        RunningPrograms count;
        const int code = Run(program);
        if (count.Leave()) {
            // The last program started this way has ended: the demo services stop as services
            // do (the session's end alone would just end their processes).
            for (const DemoService& s : set)
                if (s.running) StopDemoService(s.name);
        }
        return code;
    }
    if (argc > 2) return Usage();
    if (command == L"install") {
        DemoResult r = InstallDemoFiles();
        for (const DemoService& s : set)
            if (r.ok()) r = InstallDemoService(s);
        return r.ok() ? 0 : Failed(r);
    }
    if (command == L"start" || command == L"stop") {
        for (const DemoService& s : set) {
            if (command == L"start" && !s.running) continue;
            DemoResult r = command == L"start" ? StartDemoService(s.name) : StopDemoService(s.name);
            if (!r.ok()) return Failed(r);
        }
        return 0;
    }
    if (command == L"delete") {
        std::vector<std::wstring> names;
        for (const DemoServiceState& s : ListDemoServices()) names.push_back(s.name);
        DemoResult r = RemoveDemoServices(names);
        return r.ok() ? 0 : Failed(r);
    }
    if (command == L"list") {
        for (const DemoServiceState& s : ListDemoServices()) {
            Print(std::wstring(StateName(s.state)) + L"\t" + std::to_wstring(s.processId) + L"\t" +
                  (s.group.empty() ? L"-" : s.group) + L"\t" + std::to_wstring(s.workingSetMB) +
                  L" MB\t" + s.name + L"\t" + s.displayName);
        }
        return 0;
    }
    return Usage();
}
