#include "app/win32/program.h"

#include "app/form_data.h"
#include "app/win32/message_pump.h"
#include "app/win32/report_export_win32.h"
#include "controls/win32/xp_theme_support.h"
#include "platform/win32/com.h"
#include "platform/win32/system_wmi.h"
#include "platform/win32/wide_text.h"

#include <commctrl.h>
#include <objbase.h>

namespace corvale::win32 {
namespace {

void RegisterCommonControls() {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&icc);
}

} // namespace

NumberLocale UserNumberLocale() {
    NumberLocale locale;
    wchar_t text[8] = {}; // the system keeps at most three characters for each
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, text, 8) > 1)
        locale.decimal = Utf8FromWide(text);
    // An empty group separator is the user's choice: the digits are then not grouped.
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, text, 8) > 0)
        locale.group = Utf8FromWide(text);
    return locale;
}

std::optional<ProgramForms> LoadProgramForms() {
    FormLoadResult main = LoadFrmMain();
    FormLoadResult detail = LoadFrmDetailService();
    if (!main.form || !detail.form) return std::nullopt;
    return ProgramForms{std::move(*main.form), std::move(*detail.form)};
}

MainWindowServices SystemServices(WmiLocator& wmi) {
    MainWindowServices s;
    s.wmi = &wmi;
    s.openWebPage = OpenWebPageWithShell;
    s.specialFolderPath = [](int folder) { return GetSpecialFolderPath(folder); };
    s.saveList = [](HWND owner, std::string& reportPath, const ListControl& list) {
        SaveListWithSystemDialog(owner, reportPath, list, [] { PumpPendingMessages(); });
    };
    s.copyList = [](HWND owner, const ListControl& list) {
        CopyListToSystemClipboard(owner, list);
    };
    s.endProgram = [] { ExitProcess(0); };
    s.locale = UserNumberLocale();
    return s;
}

std::unique_ptr<FrmMain> OpenMainWindow(HINSTANCE instance, MainWindowServices services) {
    RegisterCommonControls();
    auto forms = LoadProgramForms();
    if (!forms) return nullptr;
    auto window = std::make_unique<FrmMain>(std::move(forms->main), std::move(forms->detail),
                                            std::move(services), instance);
    if (!window->Load()) return nullptr;
    window->Show();
    return window;
}

int RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchWindowMessage(msg);
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : 0;
}

int mdStartup(HINSTANCE instance) {
    // Data-execution prevention stays as the system set it.
    ComApartment com;
    if (com.Usable())
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    PumpPendingMessages();
    InitVisualStyles();
    RegisterCommonControls();

    SystemWmiLocator wmi;
    MainWindowServices services = SystemServices(wmi);
    auto window = OpenMainWindow(instance, std::move(services));
    if (!window) return 1;
    return RunMessageLoop();
}

} // namespace corvale::win32
