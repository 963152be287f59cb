#pragma once
// FrmDetailService: the one window with the twenty properties of a service.
#include "app/frm_detail_service_logic.h"
#include "app/win32/form_window.h"

#include <memory>

namespace corvale::win32 {

class FrmDetailService final : public FormWindow {
  public:
    FrmDetailService(Form design, WmiLocator& wmi, HINSTANCE instance);
    ~FrmDetailService() override;

    // Creates the window and runs its load steps; false when the window cannot be made.
    bool Load();
    bool Loaded() const { return Hwnd() != nullptr; }
    void Show();
    // Shows the model's caption and text in the window.
    void Sync();

    FrmDetailServiceLogic& Logic() { return *logic_; }
    HWND TextBox() const { return Child("Text1"); }

    // Outer size of the window in twips, as the load step sets it.
    static constexpr double kOuterWidth = 8055;
    static constexpr double kOuterHeight = 4695;

  private:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    bool OnShortcutKey(UINT vk) override;
    void Pump();

    WmiLocator& wmi_;
    std::unique_ptr<FrmDetailServiceLogic> logic_;
};

} // namespace corvale::win32
