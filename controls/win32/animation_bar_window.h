#pragma once
// The busy bar as a Win32 child control: a track window with four block windows (two showing a
// shaded 50 x 20 picture the control draws itself, two plain) and a pulse band, each block with
// a rounded region, moved by the window timers of the animation model (controls/animation_bar.h).
#include "controls/animation_bar.h"
#include "platform/win32/dpi.h"
#include "platform/win32/gdi_handles.h"

#include <windows.h>

#include <functional>
#include <memory>

namespace corvale::win32 {

struct AnimationPanel; // what one constituent window shows

class AnimationBarWindow {
  public:
    AnimationBarWindow();
    ~AnimationBarWindow();
    AnimationBarWindow(const AnimationBarWindow&) = delete;
    AnimationBarWindow& operator=(const AnimationBarWindow&) = delete;

    // Creates the control as a child of parent at the given place in pixels.
    bool Create(HWND parent, int x, int y, int width, int height, int id = 0);
    void Destroy();

    // Lets pending window messages run once; the reset calls it. Empty: nothing is pumped.
    void SetYield(std::function<void()> yield);

    // Write-only properties and methods of the control (see AnimationBar).
    void ColorBars(std::int16_t value) { model_.ColorBars(value); }
    void LeftColorBarColor(std::string value) { model_.LeftColorBarColor(std::move(value)); }
    void RightColorBarColor(std::string value) { model_.RightColorBarColor(std::move(value)); }
    void BackGroundColor(std::string value) { model_.BackGroundColor(std::move(value)); }
    void PulseColor(std::string value) { model_.PulseColor(std::move(value)); }
    void Style(std::int32_t value) { model_.Style(value); }
    void Timing(std::int16_t milsec) { model_.Timing(milsec); }
    void Increment(std::int16_t twips) { model_.Increment(twips); }

    bool BeginDisplay();
    void EndDisplay();
    bool ApplyBackGroundColor();

    HWND hWnd() const { return hwnd_; }
    HDC hDC() const;
    bool HasDC() const { return true; } // the class has a private device context

    const AnimationBar& Model() const { return model_; }
    // Runs one tick of the model's timer as WM_TIMER would (for tests and screenshots).
    void TickNow(AnimationBar::Timer timer);

    // The constituent windows (for tests).
    HWND Track() const { return bar_; }
    HWND LeftBlock() const { return blocks_[0]; }
    HWND RightBlock() const { return blocks_[1]; }

  private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnSize(int width, int height);
    void OnTimer(UINT_PTR id);
    void ApplyBlockRegions();
    void Sync();       // positions, sizes, colours and visibility from the model
    void SyncTimers(); // window timers from the model's timer flags
    int Px(double twips) const;
    double TwipsPerPixel() const { return twipsPerPixel_; }

    AnimationBar model_;
    HWND hwnd_ = nullptr;
    HWND bar_ = nullptr;
    HWND blocks_[4] = {}; // pLeft, pRight, pLeft2, pRight2
    HWND pulse_ = nullptr;
    std::unique_ptr<AnimationPanel> panels_[6]; // bar, four blocks, pulse
    BitmapHandle pictures_[2];                  // the shaded blocks' pictures
    bool timerOn_[AnimationBar::kTimerCount] = {};
    UINT timerInterval_[AnimationBar::kTimerCount] = {};
    double twipsPerPixel_ = 15;
    std::function<void()> yield_;
};

// Clips a window to a rectangle of width x height pixels with rounded corners (ellipse
// width and height = corner). True when the window took the region.
bool SetRoundedWindowRegion(HWND window, int width, int height, int corner);

} // namespace corvale::win32
