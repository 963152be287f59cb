#pragma once
// The anchoring control: when its form is resized it moves or stretches the form's other
// controls by the four-letter anchor code at the start of each control's Tag ("TFFT*/..." for
// left, top, right, bottom; "T" anchored, anything else free), keeps the form from shrinking below
// a minimum size, and can remember the form's position in a per-user settings store.
//
// The form is reached through AnchorHost, so the same logic runs over a real window (see
// controls/win32/anchor_window.h) and over the form model in tests (FormModelAnchorHost).
#include "controls/settings_store.h"
#include "platform/form_model.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

// Opaque window handle as the platform knows it (an HWND on Windows).
using NativeWindow = void*;

// The hosting form as the anchoring control sees it. Sizes and positions are in twips; Height
// and Width are the form's outer size. Controls are reached by index, their properties by name
// ("Left", "Top", "Width", "Height"); a control that lacks one gives nothing / refuses the set.
class AnchorHost {
  public:
    virtual ~AnchorHost() = default;
    virtual double FormHeight() const = 0;
    virtual double FormWidth() const = 0;
    virtual void SetFormHeight(double twips) = 0; // may raise a resize (DoResize) at once
    virtual void SetFormWidth(double twips) = 0;
    virtual double FormLeft() const = 0;
    virtual double FormTop() const = 0;
    virtual void SetFormLeft(double twips) = 0;
    virtual void SetFormTop(double twips) = 0;
    virtual bool IsMinimised() const = 0;
    virtual bool IsNormal() const = 0; // neither minimised nor maximised
    virtual NativeWindow FormWindow() const = 0;

    virtual int ControlCount() const = 0;
    virtual std::optional<std::string> Tag(int index) const = 0;
    virtual bool SetTag(int index, std::string tag) = 0;
    virtual std::optional<double> Number(int index, std::string_view property) const = 0;
    virtual bool SetNumber(int index, std::string_view property, double value) = 0;
};

// Redraw switching of a window (WM_SETREDRAW and a forced redraw on Windows).
class RedrawControl {
  public:
    virtual ~RedrawControl() = default;
    virtual void SetRedraw(NativeWindow window, bool on) = 0;
    // Invalidate the window with all its children and repaint now.
    virtual void RedrawNow(NativeWindow window) = 0;
};

class Anchor {
  public:
    struct Events {
        std::function<void()> beforeResize;
        std::function<void(std::int32_t heightChanged, std::int32_t widthChanged)> afterResize;
    };

    // store may be null (no position memory); redraw may be null (Freeze/UnFreeze do nothing).
    Anchor(AnchorHost& host, RedrawControl* redraw = nullptr, SettingsStore* store = nullptr);
    // The end of the control: saves the position when configured (see End()).
    ~Anchor();
    Anchor(const Anchor&) = delete;
    Anchor& operator=(const Anchor&) = delete;

    // "application,section,key prefix,default"; empty: no position memory.
    std::string RegString;
    // When true the form is not frozen and unfrozen around a resize.
    bool DontRefresh = false;
    std::int32_t MinHeight = 0;
    std::int32_t MinWidth = 0;
    Events events;

    void DoInit(std::int32_t minHeight, std::int32_t minWidth);
    void DoResize();
    void Freeze(NativeWindow window);
    void UnFreeze(NativeWindow window, bool forceUpdate);
    void About() {}
    // Saves the position (when RegString is usable and the form is in its normal state) and
    // lets go of the form. Runs once; the destructor calls it when the host did not.
    void End();

    // The code read for the control at index (empty when none), for the property page and tests.
    std::string CodeOf(int index) const;
    std::int32_t PreviousHeight() const { return prevHeight_; }
    std::int32_t PreviousWidth() const { return prevWidth_; }

    // Deepest nesting of DoResize (setting the form's size inside DoResize raises another
    // resize); deeper calls return at once.
    static constexpr int kMaxResizeDepth = 8;

  private:
    struct RegParts {
        std::string app, section, key, fallback;
    };
    std::optional<RegParts> SplitRegString() const;
    void RestorePosition();
    void ApplyDifference(std::int32_t dH, std::int32_t dW);

    AnchorHost* host_;
    RedrawControl* redraw_;
    SettingsStore* store_;
    std::vector<std::string> codes_;
    std::int32_t prevHeight_ = 0;
    std::int32_t prevWidth_ = 0;
    int depth_ = 0;
};

// Reads an anchor code from the start of a Tag: four characters followed by "*/". On success
// returns the code and leaves the control's own tag text (what follows the marker) in rest.
std::optional<std::string> SplitAnchorTag(std::string_view tag, std::string* rest);

// The form model as an anchoring host: controls are the form's controls in design order; their
// positions are the model's (a control without a position lacks the properties). The form's
// own place and size and its window state live here. onResize, when set, runs after every change
// of the form's size (as a window's resize event would).
class FormModelAnchorHost : public AnchorHost {
  public:
    explicit FormModelAnchorHost(Form& form);

    std::function<void()> onResize;
    bool minimised = false;
    bool maximised = false;
    double left = 0, top = 0;

    // Changes the size as a user would; raises onResize when it changed.
    void Resize(double heightTwips, double widthTwips);

    double FormHeight() const override { return height_; }
    double FormWidth() const override { return width_; }
    void SetFormHeight(double twips) override;
    void SetFormWidth(double twips) override;
    double FormLeft() const override { return left; }
    double FormTop() const override { return top; }
    void SetFormLeft(double twips) override { left = twips; }
    void SetFormTop(double twips) override { top = twips; }
    bool IsMinimised() const override { return minimised; }
    bool IsNormal() const override { return !minimised && !maximised; }
    NativeWindow FormWindow() const override { return const_cast<Form*>(form_); }

    int ControlCount() const override;
    std::optional<std::string> Tag(int index) const override;
    bool SetTag(int index, std::string tag) override;
    std::optional<double> Number(int index, std::string_view property) const override;
    bool SetNumber(int index, std::string_view property, double value) override;

  private:
    Form* form_;
    double height_;
    double width_;
};

} // namespace corvale
