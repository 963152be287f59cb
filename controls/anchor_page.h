#pragma once
// ppAnchors, the design-time page of the anchoring control ("Anchors"): lists the positioned
// controls of a form, shows a control's four-letter anchor code as four side bars (black =
// anchored, white = free), toggles them and writes the code back in front of the control's Tag.
// Everything works on the form model; controls/win32/anchor_page_window.h draws it.
#include "platform/form_model.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

inline constexpr char kAnchorPageCaption[] = "Anchors";
inline constexpr char kAnchorPageTitle[] = "Select an object, set anchors and then click Apply";
inline constexpr std::int32_t kAnchorPageWidth = 5445; // twips
inline constexpr std::int32_t kAnchorPageHeight = 2940;
inline constexpr char kDefaultAnchorTag[] = "TTFF*/";

// Side bar colours (RGB as the system stores them).
inline constexpr std::uint32_t kSideAnchored = 0x000000;
inline constexpr std::uint32_t kSideFree = 0xFFFFFF;

// One element of the page's layout, in twips; inFrame: relative to picFrame.
struct AnchorPageElement {
    std::string_view name;
    std::int32_t index; // -1 outside a control array
    TwipsRect place;
    bool inFrame;
};
inline constexpr std::array<AnchorPageElement, 8> kAnchorPageLayout{{
    {"lblTitle", -1, {120, 120, 5205, 285}, false},
    {"lstCtrls", -1, {120, 540, 2385, 2205}, false},
    {"picFrame", -1, {2670, 540, 2685, 2205}, false},
    {"cmdObject", -1, {900, 720, 795, 735}, true},
    {"lblSides", 0, {90, 990, 735, 285}, true},
    {"lblSides", 1, {1170, 90, 285, 585}, true},
    {"lblSides", 2, {1740, 1020, 765, 285}, true},
    {"lblSides", 3, {1170, 1500, 285, 585}, true},
}};

// The list entry of a control: its name, with "(index)" for an array member.
std::string AnchorListEntry(const Control& c);

class ppAnchors {
  public:
    // form must outlive the page.
    explicit ppAnchors(Form& form) : form_(&form) {}

    // Filling (the page's selection changed): lists the positioned controls, giving the default
    // code to those without one, and drops the codes of controls that cannot move.
    void SelectionChanged();
    const std::vector<std::string>& Entries() const { return entries_; }

    // Showing (a list entry was clicked): sets the bars from the matching control's code.
    // An entry outside the list selects nothing.
    void SelectEntry(int listIndex);
    int SelectedEntry() const { return selected_; }
    // The control an entry names: the name before "(", the number after it (or any index when
    // there is none); nullptr when none matches.
    Control* ControlOfEntry(std::string_view entry) const;

    // Toggling (side bar j was clicked): white turns black, any other colour white; the page is
    // marked changed.
    void ToggleSide(int side);
    std::uint32_t SideColor(int side) const;
    void SetSideColor(int side, std::uint32_t color);
    // The code the bars show, left, top, right, bottom.
    std::string BarCode() const;

    bool Changed() const { return changed_; }
    void ClearChanged() { changed_ = false; }

    // Applying: the selected control's Tag gets the bars' code in place of its old one. Returns
    // whether a control was changed (nothing selected: false).
    bool Apply();

  private:
    Form* form_;
    std::vector<std::string> entries_;
    int selected_ = -1;
    std::array<std::uint32_t, 4> sides_{kSideFree, kSideFree, kSideFree, kSideFree};
    bool changed_ = false;
};

} // namespace corvale
