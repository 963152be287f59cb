#pragma once
// The main window's behaviour, free of any window: the refresh button, the timer-tick scan, the
// header click and the double-click rule. The window forwards its events here and shows the
// state this keeps in the form model (the controls' enabled/visible state and texts).
#include "app/ModMain.h"
#include "app/frm_detail_service_logic.h"
#include "app/service_scan.h"
#include "platform/form_model.h"
#include "platform/list_control.h"
#include "platform/ui_seams.h"
#include "platform/wmi.h"

#include <cstdint>
#include <functional>
#include <string>

namespace corvale {

// The busy bar DB1, as far as the scan drives it.
class BusyBar {
  public:
    virtual ~BusyBar() = default;
    virtual void SetStyle(int style) = 0;
    virtual void BeginDisplay() = 0;
    virtual void EndDisplay() = 0;
};

// Where the double-click rule finds the one detail window: created and loaded on first use,
// shown modeless, reused afterwards.
class DetailWindowHost {
  public:
    virtual ~DetailWindowHost() = default;
    virtual FrmDetailServiceLogic& ShowDetailWindow() = 0;
    virtual void FocusDetailWindow() = 0;
};

struct MainWindowSeams {
    ListControl& list;   // ListView1
    WmiLocator& wmi;     // binds a fresh root\cimv2 connection per use
    BusyBar& busyBar;    // DB1
    YieldFn yield;       // lets pending window messages run once
    NumberLocale locale; // separators for the size texts and number keys
    // Called after the scan or a handler changed a control of the form (enabled/visible state or
    // text), so a window can show it; Timer1's enabled state arms or stops the timer. May be empty.
    std::function<void(const Control&)> controlChanged;
    // Now, in microseconds since 1970-01-01 UTC; empty: the system clock.
    std::function<std::int64_t()> clock = {};
};

class FrmMainLogic {
  public:
    // form is the main window's model (FrmMain design data); it must outlive this object.
    FrmMainLogic(Form& form, MainWindowSeams seams);

    void OnRefreshClick();               // Command1
    void OnTimerTick();                  // Timer1: the whole scan, once per refresh
    void OnColumnClick(int columnIndex); // 1-based header
    void OnListDoubleClick(DetailWindowHost& host);

    // The host-id list (List1's entries).
    const std::vector<std::string>& HostIds() const;
    // The running total of the last scan's working sets.
    Currency TotalMemory() const { return total_; }

    Form& form() { return form_; }

  private:
    Control& Ctl(std::string_view name);
    void SetEnabled(std::string_view name, bool on);
    void SetVisible(std::string_view name, bool on);
    void SetText(std::string_view name, std::string text);
    void Yield() { CallYield(seams_.yield); }
    std::string Quote() const;
    void ListServices(WmiServices& services);
    void MeasureHosts();
    bool IsListedHost(const WmiObject& process, const std::string& pid) const;
    std::int64_t Now() const;

    Form& form_;
    MainWindowSeams seams_;
    Currency total_;
    // The process a host id named when the services were listed: its program's file name, taken
    // from the first listed service of that id, and when the list was read.
    std::vector<std::pair<std::string, std::string>> hostImages_;
    std::int64_t listedAt_ = 0;
    Control scratch_; // stands in for a control the form lacks
};

} // namespace corvale
