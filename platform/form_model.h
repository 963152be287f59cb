#pragma once
// The form model: a window's stored design data and the run-time state of its controls, as an
// ordered collection of controls. The windows, the anchoring control, the visual-style fix-ups
// and the alpha image controls all walk forms through it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace corvale {

enum class ControlKind {
    CommandButton,
    OptionButton,
    CheckBox,
    Label,
    ListView,
    ListBox,
    TextBox,
    PictureBox,
    Frame,
    Timer,
    AnimationBar, // busy bar
    Anchor,       // anchoring control
    AlphaImage,   // alpha image control
    Other,
};

// Stable names used in the design data ("CommandButton", "Label", ...); Other for unknown ones.
std::string_view ControlKindName(ControlKind kind);
ControlKind ControlKindFromName(std::string_view name);

// Left, Top, Width, Height in twips (15 twips a pixel at 96 dpi).
struct TwipsRect {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

struct FontSpec {
    std::string name = "Verdana";
    float sizePt = 6.75f;
    bool bold = false, italic = false, underline = false;
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

using Bytes = std::vector<std::uint8_t>;
using PropertyValue = std::variant<std::int16_t, std::int32_t, bool, float, std::string, Bytes>;

// Stored properties by name (names compare without regard to letter case). Reading a property
// the bag lacks, or one of another type, gives nothing.
class PropertyBag {
  public:
    void Set(std::string_view name, PropertyValue value);
    bool Has(std::string_view name) const { return Find(name) != nullptr; }
    bool Remove(std::string_view name);
    const PropertyValue* Find(std::string_view name) const;

    std::optional<std::int16_t> GetInt16(std::string_view name) const;
    // 16-bit values widen to 32 bits.
    std::optional<std::int32_t> GetInt32(std::string_view name) const;
    std::optional<bool> GetBool(std::string_view name) const;
    std::optional<float> GetSingle(std::string_view name) const;
    std::optional<std::string> GetText(std::string_view name) const;
    const Bytes* GetBytes(std::string_view name) const;

    const std::vector<std::pair<std::string, PropertyValue>>& Entries() const { return entries_; }

  private:
    std::vector<std::pair<std::string, PropertyValue>> entries_;
};

struct Control {
    std::string name;
    std::optional<std::int32_t> index; // control-array index
    ControlKind kind = ControlKind::Other;
    std::string container;             // name of the containing control; empty = the form itself
    std::optional<TwipsRect> position; // none for controls without a place (timers, anchors)
    std::string tag;
    bool visible = true;
    bool enabled = true;
    std::string text;               // caption or text
    std::string toolTip;            // tool tip text
    std::vector<std::string> items; // column headers of a list view, entries of a list box
    std::optional<FontSpec> font;   // none = the form's font
    PropertyBag properties;

    // "Name" or "Name(3)" for an array member.
    std::string DisplayName() const;
};

struct Form {
    std::string name;
    std::string caption;
    std::int32_t clientWidth = 0, clientHeight = 0; // twips
    std::int32_t outerWidth = 0, outerHeight = 0;   // twips
    FontSpec font;
    std::vector<Control> controls; // design order

    Control* Find(std::string_view name, std::optional<std::int32_t> index = std::nullopt);
    const Control* Find(std::string_view name,
                        std::optional<std::int32_t> index = std::nullopt) const;
    // The font a control draws with: its own, else the form's.
    const FontSpec& FontOf(const Control& c) const { return c.font ? *c.font : font; }
};

} // namespace corvale
