#pragma once
// FrmMain: the service-host inspector's main window.
#include "app/frm_main_logic.h"
#include "app/win32/form_window.h"
#include "app/win32/frm_detail_service.h"
#include "app/win32/list_view.h"
#include "app/win32/main_pictures.h"
#include "controls/win32/animation_bar_window.h"

#include <functional>
#include <memory>
#include <string>

namespace corvale::win32 {

// What the main window needs from the rest of the program. Every member may be empty; the
// window then simply leaves that step out.
struct MainWindowServices {
    WmiLocator* wmi = nullptr;
    // The file-system path of a shell folder (0 = the desktop), empty on failure.
    std::function<std::string(int folderId)> specialFolderPath;
    // The save button's flow: asks for a file name (starting from reportPath), writes the
    // report and updates reportPath after a successful choice.
    std::function<void(HWND owner, std::string& reportPath, const ListControl& list)> saveList;
    // The copy button: the report onto the clipboard.
    std::function<void(HWND owner, const ListControl& list)> copyList;
    NumberLocale locale;
    // The link images: opens a web address (nothing happens when empty).
    WebPageOpener openWebPage;
    // Ends the process at once; called when the main window goes while a handler is paused in
    // a yield. Empty: that handler runs to its end first.
    std::function<void()> endProgram;
};

class FrmMain final : public FormWindow, private BusyBar, private DetailWindowHost {
  public:
    static constexpr double kOuterWidth = 9180;
    static constexpr double kOuterHeight = 5190;
    static constexpr UINT_PTR kTimer1 = 1;

    FrmMain(Form mainDesign, Form detailDesign, MainWindowServices services, HINSTANCE instance);
    ~FrmMain() override;

    // Creates the window and runs its load steps (the window stays hidden); false when the
    // window cannot be made.
    bool Load();
    void Show();

    Win32ListView& List() { return *list_; }
    FrmMainLogic& Logic() { return *logic_; }
    // The detail window once it has been opened (nullptr before, or after it was closed).
    FrmDetailService* DetailWindow() const;
    AnimationBarWindow& BusyBarWindow() { return busyBar_; }
    const std::string& DesktopPath() const { return desktopPath_; }
    const std::string& ReportPath() const { return reportPath_; }
    // The logo and the link images (after Load).
    MainWindowPictures* Pictures() const { return pictures_.get(); }

  private:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnControlCreated(const Control& control, HWND child) override;
    bool OnShortcutKey(UINT vk) override;
    void OnDpiRelayout() override;
    // The click a key stands for: a disabled or hidden button takes the key and does nothing,
    // as a click on it would.
    void PressButton(const char* name);
    void NameControlsForScreenReaders();
    void RoundBusyBar();
    void OnCommand(int id, WORD code);
    LRESULT OnNotify(const NMHDR& hdr);
    void OnControlChanged(const Control& c);
    void SyncHostIds();
    void Pump();

    // BusyBar (DB1)
    void SetStyle(int style) override;
    void BeginDisplay() override;
    void EndDisplay() override;
    // DetailWindowHost
    FrmDetailServiceLogic& ShowDetailWindow() override;
    void FocusDetailWindow() override;

    Form detailDesign_;
    MainWindowServices services_;
    HINSTANCE instance_;
    std::unique_ptr<Win32ListView> list_;
    std::unique_ptr<FrmMainLogic> logic_;
    std::unique_ptr<FrmDetailService> detail_;
    std::unique_ptr<MainWindowPictures> pictures_;
    std::string desktopPath_;
    std::string reportPath_;
    AnimationBarWindow busyBar_; // DB1
};

} // namespace corvale::win32
