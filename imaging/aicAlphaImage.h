#pragma once
// aicAlphaImage: a windowless picture control that shows one image with true alpha over whatever
// lies behind it. Its container paints it, asks it whether points belong to it and hands it the
// container's mouse messages; timers and the mouse pointer go through the container too
// (AlphaImageSite). Everything here is portable; imaging/win32/ has the window host.
#include "imaging/c32bppDIB.h"
#include "imaging/cCrossComm.h"
#include "platform/form_model.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

// What the control needs from the window that hosts it.
class AlphaImageSite {
  public:
    virtual ~AlphaImageSite() = default;
    // False while the control is being designed.
    virtual bool UserMode() const { return true; }
    // The container's ScaleMode, or nothing when it has none.
    virtual std::optional<std::int32_t> ContainerScaleMode() const { return std::nullopt; }
    // The control needs painting again.
    virtual void Invalidate() {}
    // AutoSize: the control asks to take this size in pixels.
    virtual void ResizeControl(std::int32_t widthPx, std::int32_t heightPx) {}
    // One-shot-style timers on the host window (the control stops them on each tick).
    virtual void StartTimer(std::intptr_t id, std::int32_t milliseconds) {}
    virtual void StopTimer(std::intptr_t id) {}
    // The cursor in control pixels when it is over the container's window, else nothing.
    virtual std::optional<std::pair<std::int32_t, std::int32_t>> CursorInControl() const {
        return std::nullopt;
    }
    // The cursor in screen pixels (kept as the cursor offset on entry).
    virtual std::pair<std::int32_t, std::int32_t> CursorOnScreen() const { return {0, 0}; }
    // The host's Tag ("Timer" while the mouse timer runs).
    virtual std::string Tag() const { return tag_; }
    virtual void SetTag(std::string tag) { tag_ = std::move(tag); }
    // A property changed under this name.
    virtual void PropertyChanged(std::string_view name) {}
    // MousePointer, MouseIcon (icon bytes, may be empty), OLEDropMode.
    virtual void MousePointerChanged(std::int32_t pointer, const Bytes& icon) {}
    virtual void OleDropModeChanged(std::int32_t mode) {}
    // Window handle of the container (0 without windows).
    virtual std::intptr_t ContainerWindow() const { return 0; }

  private:
    std::string tag_;
};

// The control's events (any may be empty).
struct AlphaImageEvents {
    std::function<void(std::int32_t button)> Click;
    std::function<void()> DblClick;
    std::function<void()> MouseExit;
    std::function<void()> MouseEnter;
    std::function<void(std::int32_t button, std::int32_t shift, float x, float y)> MouseUp;
    std::function<void(std::int32_t button, std::int32_t shift, float x, float y)> MouseMove;
    std::function<void(std::int32_t button, std::int32_t shift, float x, float y)> MouseDown;
    std::function<void(std::int32_t keyCode, std::int32_t shift)> KeyDown;
    std::function<void(std::int32_t keyAscii)> KeyPress;
    std::function<void(std::int32_t keyCode, std::int32_t shift)> KeyUp;
    std::function<void(std::int32_t currentOpacity)> FadeTerminated;
};

// Where and how one paint goes: a device context (Windows) or a host image, the control's top
// left corner in it, and the clip rectangle in control pixels (empty = the whole control).
struct AlphaImagePaint {
    std::intptr_t dc = 0;
    c32bppDIB* hostImage = nullptr;
    std::int32_t originX = 0, originY = 0;
    std::int32_t clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
};

// Props bits.
namespace alpha_props {
inline constexpr std::int32_t kStretchQuality = 1;
inline constexpr std::int32_t kAutoSize = 4;
inline constexpr std::int32_t kAutoRedraw = 8;
inline constexpr std::int32_t kKeepOriginalFormat = 16;
inline constexpr std::int32_t kBufferInUse = 32;
inline constexpr std::int32_t kInversedImage = 64;
inline constexpr std::int32_t kShadowEnabled = 128;
inline constexpr std::int32_t kRotateEnabled = 256;
} // namespace alpha_props

// ScaleMethod (stored as 0..4 in this order): how the picture takes the control's size.
enum class AlphaScaleMethod : std::int32_t {
    FitInside,    // keeping proportions, may enlarge
    Stretch,      // to the control's size
    FitNoEnlarge, // keeping proportions, never larger than the picture
    ActualSize,
    Custom, // ScaleCx x ScaleCy
};

// MaskUsed (stored as 0..5 in this order): where the colour made transparent comes from.
enum class AlphaMaskSource : std::int32_t {
    None,
    MaskColor,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight
};

// HitTest (stored as 0..3 in this order): which points belong to the control. The shaped modes
// build the picture's region with region style (mode - 1).
enum class AlphaHitTest : std::int32_t {
    WholeControl,
    ShapeBox,  // the bounding box of the visible pixels
    ShapeRows, // each row from its first to its last visible pixel
    ShapeRuns, // each run of visible pixels
};
static_assert(static_cast<int>(AlphaScaleMethod::Custom) == 4 &&
              static_cast<int>(AlphaMaskSource::BottomRight) == 5 &&
              static_cast<int>(AlphaHitTest::ShapeRuns) == 3);

inline constexpr std::int32_t kSystemButtonFace = static_cast<std::int32_t>(0x8000000F);
inline constexpr std::int32_t kNoScaleMode = 9; // container position

// Rounds to the nearest integer, halves to even.
std::int32_t RoundScaledSize(double value);

// The size an image of width x height takes when drawn with a scale method into desiredWidth x
// desiredHeight (method 4 gives customWidth x customHeight); asRotatedImage makes it fit at any
// angle. Method and desired sizes must already be resolved (0..4, >= 1).
std::pair<std::int32_t, std::int32_t>
ScaledImageSize(AlphaScaleMethod method, std::int32_t width, std::int32_t height,
                std::int32_t desiredWidth, std::int32_t desiredHeight, std::int32_t customWidth,
                std::int32_t customHeight, bool asRotatedImage);

class aicAlphaImage final : public ICrossComm {
  public:
    // site must outlive the control. capabilityFlags: the image object's capability flags
    // (default: the running system's); services: the image object's services.
    explicit aicAlphaImage(AlphaImageSite& site);
    aicAlphaImage(AlphaImageSite& site, std::uint32_t capabilityFlags,
                  const ImagingServices& services = BuiltInServices());
    ~aicAlphaImage();
    aicAlphaImage(const aicAlphaImage&) = delete;
    aicAlphaImage& operator=(const aicAlphaImage&) = delete;

    AlphaImageEvents events;

    // --- session (the form's shared object) ----------------------------------------------------
    // Joins the session of the form whose controls are given in order (the first one that has a
    // session lends it; otherwise a new one is made, starting GDI+ for containerHwnd when the
    // image can use it). Registration with AddRef happens when the control is shown.
    void JoinSession(std::span<aicAlphaImage* const> formControls);
    const std::shared_ptr<cCrossComm>& Session() const { return session_; }

    // --- life cycle (called by the host) -------------------------------------------------------
    // The control's size in pixels changed (also the first sizing); lays it out.
    void Resize(std::int32_t widthPx, std::int32_t heightPx);
    void Show();
    void Hide();
    std::int32_t ControlWidth() const { return width_; }
    std::int32_t ControlHeight() const { return height_; }

    // --- stored properties ---------------------------------------------------------------------
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag);
    // A new control's initial values.
    void InitProperties();

    // --- painting and hit testing --------------------------------------------------------------
    void Paint(const AlphaImagePaint& target);
    // True when the point (control pixels) belongs to the control.
    bool HitTest(std::int32_t x, std::int32_t y) const;

    // --- input from the host (points in control pixels) ----------------------------------------
    // Return whether the point was taken (passed the hit test).
    bool OnMouseMove(std::int32_t button, std::int32_t shift, std::int32_t x, std::int32_t y);
    bool OnMouseDown(std::int32_t button, std::int32_t shift, std::int32_t x, std::int32_t y);
    // Raises MouseUp and, when the press began on this control, Click.
    bool OnMouseUp(std::int32_t button, std::int32_t shift, std::int32_t x, std::int32_t y);
    bool OnDblClick(std::int32_t x, std::int32_t y);
    void OnKeyDown(std::int32_t keyCode, std::int32_t shift);
    void OnKeyPress(std::int32_t keyAscii);
    void OnKeyUp(std::int32_t keyCode, std::int32_t shift);
    // A timer of this control fired (id as given to StartTimer).
    void OnTimer(std::intptr_t id);
    std::intptr_t MouseTimerId() const;
    std::intptr_t FadeTimerId() const;

    // --- properties ----------------------------------------------------------------------------
    std::int32_t ScaleMethod() const { return static_cast<std::int32_t>(scaleMethod_); }
    void ScaleMethod(std::int32_t value);
    void ScaleMethod(AlphaScaleMethod method) { ScaleMethod(static_cast<std::int32_t>(method)); }
    bool StretchQuality() const { return (props_ & alpha_props::kStretchQuality) != 0; }
    void StretchQuality(bool value);
    std::int32_t Opacity() const { return opacity_; }
    void Opacity(std::int32_t value);
    std::int32_t Mirror() const { return mirror_; }
    void Mirror(std::int32_t value);
    // 0 none, 1..8 the formulas 0..7.
    std::int32_t grayScale() const { return grayScale_ + 1; }
    void grayScale(std::int32_t value);
    float IntensityOffset() const { return intensity_; }
    void IntensityOffset(float value);
    bool RotateEnabled() const { return (props_ & alpha_props::kRotateEnabled) != 0; }
    void RotateEnabled(bool value);
    std::int32_t Rotation() const { return rotation_; }
    void Rotation(std::int32_t value);
    bool AutoSize() const { return (props_ & alpha_props::kAutoSize) != 0; }
    void AutoSize(bool value);
    bool AutoRedraw() const { return (props_ & alpha_props::kAutoRedraw) != 0; }
    void AutoRedraw(bool value);
    bool KeepOriginalFormat() const { return (props_ & alpha_props::kKeepOriginalFormat) != 0; }
    void KeepOriginalFormat(bool value);
    bool InversedImage() const { return (props_ & alpha_props::kInversedImage) != 0; }
    void InversedImage(bool value);
    // The mask source 0..5.
    std::int32_t MaskUsed() const { return static_cast<std::int32_t>(maskSource_); }
    void MaskUsed(std::int32_t source);
    void MaskUsed(AlphaMaskSource source) { MaskUsed(static_cast<std::int32_t>(source)); }
    std::int32_t MaskColor() const { return maskColor_; }
    void MaskColor(std::int32_t color);
    std::int32_t HitTestMode() const { return static_cast<std::int32_t>(hitTest_); }
    void HitTestMode(std::int32_t mode);
    void HitTestMode(AlphaHitTest mode) { HitTestMode(static_cast<std::int32_t>(mode)); }
    bool Enabled() const { return enabled_; }
    void Enabled(bool value);
    bool ShadowEnabled() const { return (props_ & alpha_props::kShadowEnabled) != 0; }
    void ShadowEnabled(bool value);
    std::int32_t ShadowColor() const { return shadowColor_; }
    void ShadowColor(std::int32_t color);
    std::int32_t ShadowOffsetX() const { return shadowX_; }
    void ShadowOffsetX(std::int32_t value);
    std::int32_t ShadowOffsetY() const { return shadowY_; }
    void ShadowOffsetY(std::int32_t value);
    std::int32_t ShadowDepth() const { return shadowDepth_; }
    void ShadowDepth(std::int32_t value);
    std::int32_t ShadowOpacity() const { return shadowOpacity_; }
    void ShadowOpacity(std::int32_t value);
    std::int32_t MousePointer() const { return mousePointer_; }
    void MousePointer(std::int32_t value);
    const Bytes& MouseIcon() const { return mouseIcon_; }
    void MouseIcon(Bytes icon);
    std::int32_t OLEDropMode() const { return oleDropMode_; }
    void OLEDropMode(std::int32_t value);
    std::int32_t ImageType() const { return image_.ImageType(); }
    bool isMouseOver() const;
    bool GDIplusInitialized() const;
    bool GDIplusEnabled() const { return image_.isGDIplusEnabled(); }
    std::int32_t Props() const { return props_; }
    std::int32_t ParentScaleMode() const { return parentScaleMode_; }

    // --- methods -------------------------------------------------------------------------------
    void ClearImage();
    void Refresh();
    bool LoadImage_FromArray(std::span<const std::uint8_t> bytes, std::int64_t start = 0,
                             std::int64_t length = 0, std::int32_t iconCx = 0,
                             std::int32_t iconCy = 0, std::int32_t iconBitDepth = 32);
    bool LoadImage_FromFile(std::string_view fileName, std::int32_t iconCx = 0,
                            std::int32_t iconCy = 0, std::int32_t iconBitDepth = 32);
    bool LoadImage_FromOrignalBytes(std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                                    std::int32_t iconBitDepth = 32);
#ifdef _WIN32
    bool LoadImage_FromClipboard();
    bool LoadImage_FromHandle(std::intptr_t handle);
    bool LoadImage_FromStdPicture(IPicture* picture);
    // resSection empty: a bitmap/icon/cursor resource; else a custom resource type's bytes.
    bool LoadImage_FromResource(std::string_view resId, std::string_view resSection,
                                std::int32_t iconCx = 0, std::int32_t iconCy = 0,
                                std::int32_t iconBitDepth = 32);
#endif
    bool GetImageBytes(std::vector<std::uint8_t>& out, std::int32_t& scanWidth,
                       bool asBGRformat = true, bool asBottomUp = true, bool asPreMultiplied = true,
                       bool asFileFormat = false) const;
    bool SetImageBytes(std::span<const std::uint8_t> bytes, bool isBGRformat = true,
                       bool isBottomUp = true);
    // scaleMethod < 0: the control's own; desired sizes < 1: the control's.
    void GetImageScales(std::int32_t scaleMethod, std::int32_t desiredWidth,
                        std::int32_t desiredHeight, std::int32_t& width, std::int32_t& height,
                        bool asRotatedImage) const;
    void FadeInOut(std::int32_t finalOpacity, std::int32_t fadeStepPercent,
                   std::int32_t fadeDelayInterval);
    void OffsetShadow(std::int32_t x, std::int32_t y);
    void OffsetImage(bool setOffsets, std::int32_t& x, std::int32_t& y, std::int32_t& shadowX,
                     std::int32_t& shadowY);
    // ScaleCx / ScaleCy for ScaleMethod 4.
    void CustomSize(std::int32_t cx, std::int32_t cy);

    // --- layout results (for the host and tests) ------------------------------------------------
    std::int32_t ImageLeft() const {
        return imageLeft_;
    }
    std::int32_t ImageTop() const {
        return imageTop_;
    }
    std::int32_t ScaledWidth() const {
        return scaledWidth_;
    }
    std::int32_t ScaledHeight() const {
        return scaledHeight_;
    }
    std::int32_t RotatedSide() const {
        return rotatedSide_;
    }
    bool PartialPaint() const {
        return partialPaint_;
    }
    bool HasShadowImage() const {
        return shadowImage_ != nullptr;
    }
    bool HasRedrawBuffer() const {
        return buffer_ != nullptr;
    }
    const c32bppDIB& Image() const {
        return image_;
    }
    c32bppDIB& Image() {
        return image_;
    }

    // ICrossComm
    cCrossComm* CrossTalkClass() override {
        return session_.get();
    }
    void ReleaseMouseCapture() override;

  private:
    bool HasImage() const {
        return image_.Handle() != 0;
    }
    void Changed(std::string_view name);
    // Sets or clears a Props bit; false when it already was as asked.
    bool FlipProp(std::int32_t bit, bool value);
    // After a change of the property named: announced, laid out again and repainted.
    void Relayout(std::string_view changed);
    // The stored settings from the bag (missing keys take their defaults), picture aside.
    void ReadSettings(const PropertyBag& bag);
    void Layout();
    void AfterLoad(bool loaded);
    void ApplyPixelEffects();
    std::int32_t EffectiveMaskColor(AlphaMaskSource source) const;
    std::int32_t TranslatedColor(std::int32_t color) const;
    // Renders the picture at its place into an image of the control's size.
    bool BuildPlacedImage(c32bppDIB& out) const;
    void RebuildBuffer();
    void RebuildShape();
    void RebuildShadow();
    void RebuildDerived();
    void HandOutToken();
    void StopFade();
    void StopMouseTimer();
    bool UserMode() const {
        return site_.UserMode();
    }

    AlphaImageSite& site_;
    // The stored settings; their defaults come from the table of stored keys (ReadSettings).
    std::int32_t props_ = 0;
    std::int32_t rotation_ = 0;
    AlphaHitTest hitTest_ = AlphaHitTest::WholeControl;
    std::vector<RegionRect> shape_;
    std::int32_t grayScale_ = 0;
    std::int32_t parentScaleMode_ = kNoScaleMode;
    AlphaScaleMethod scaleMethod_ = AlphaScaleMethod::FitInside;
    std::int32_t mirror_ = 0;
    std::int32_t opacity_ = 0;
    float intensity_ = 0.0f;
    std::int32_t maskColor_ = 0;
    AlphaMaskSource maskSource_ = AlphaMaskSource::None;
    std::int32_t mask_ = 0;
    std::int32_t imageLeft_ = 0, imageTop_ = 0;
    std::int32_t scaledWidth_ = 0, scaledHeight_ = 0;
    std::int32_t scaleCx_ = 0, scaleCy_ = 0;
    std::int32_t rotatedSide_ = 0;
    std::int32_t offsetX_ = 0, offsetY_ = 0;
    bool partialPaint_ = false;
    c32bppDIB image_;
    std::unique_ptr<c32bppDIB> buffer_;
    std::unique_ptr<c32bppDIB> shadowImage_;
    std::int32_t cursorOffsetX_ = 0, cursorOffsetY_ = 0;
    std::int32_t fadeStep_ = 0, fadeInterval_ = 0, fadeTarget_ = 0;
    bool fadeRunning_ = false;
    bool mouseTimerRunning_ = false;
    std::int32_t shadowColor_ = 0;
    std::int32_t shadowX_ = 0, shadowY_ = 0;
    std::int32_t shadowDepth_ = 0;
    std::int32_t shadowOpacity_ = 0;
    std::int32_t mousePointer_ = 0;
    Bytes mouseIcon_;
    std::int32_t oleDropMode_ = 0;
    bool enabled_ = false;
    std::shared_ptr<cCrossComm> session_;
    std::int32_t width_ = 0, height_ = 0;
    bool inResize_ = false;
    bool pressed_ = false;
    std::uint32_t capabilityFlags_ = 0;
    const ImagingServices* services_ = nullptr;
};

} // namespace corvale
