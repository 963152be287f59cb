#include "controls/anchor_page.h"

#include "controls/anchor.h"

#include <charconv>

namespace corvale {

std::string AnchorListEntry(const Control& c) {
    return c.index ? c.name + "(" + std::to_string(*c.index) + ")" : c.name;
}

void ppAnchors::SelectionChanged() {
    entries_.clear();
    selected_ = -1;
    for (Control& c : form_->controls) {
        const bool hasCode = SplitAnchorTag(c.tag, nullptr).has_value();
        if (c.position) {
            entries_.push_back(AnchorListEntry(c));
            if (!hasCode) c.tag.insert(0, kDefaultAnchorTag);
        } else if (hasCode) {
            c.tag.erase(0, 6);
        }
    }
}

Control* ppAnchors::ControlOfEntry(std::string_view entry) const {
    std::string_view name = entry;
    std::optional<std::int32_t> index;
    if (auto open = entry.find('('); open != std::string_view::npos) {
        name = entry.substr(0, open);
        std::int32_t n = 0;
        const char* first = entry.data() + open + 1;
        const char* last = entry.data() + entry.size();
        if (auto [end, ec] = std::from_chars(first, last, n); ec == std::errc{} && end != first)
            index = n;
    }
    for (Control& c : form_->controls)
        if (c.position && c.name == name && (!index || c.index == index)) return &c;
    return nullptr;
}

void ppAnchors::SelectEntry(int listIndex) {
    if (listIndex < 0 || listIndex >= static_cast<int>(entries_.size())) {
        selected_ = -1;
        return;
    }
    selected_ = listIndex;
    const Control* c = ControlOfEntry(entries_[static_cast<std::size_t>(listIndex)]);
    if (!c) return;
    for (std::size_t j = 0; j < sides_.size(); ++j)
        sides_[j] = j < c->tag.size() && c->tag[j] == 'T' ? kSideAnchored : kSideFree;
}

void ppAnchors::ToggleSide(int side) {
    if (side < 0 || side >= static_cast<int>(sides_.size())) return;
    changed_ = true;
    auto& colour = sides_[static_cast<std::size_t>(side)];
    colour = colour == kSideFree ? kSideAnchored : kSideFree;
}

std::uint32_t ppAnchors::SideColor(int side) const {
    if (side < 0 || side >= static_cast<int>(sides_.size())) return kSideFree;
    return sides_[static_cast<std::size_t>(side)];
}

void ppAnchors::SetSideColor(int side, std::uint32_t color) {
    if (side >= 0 && side < static_cast<int>(sides_.size()))
        sides_[static_cast<std::size_t>(side)] = color;
}

std::string ppAnchors::BarCode() const {
    std::string code;
    for (std::uint32_t colour : sides_) code += colour == kSideAnchored ? 'T' : 'F';
    return code;
}

bool ppAnchors::Apply() {
    if (selected_ < 0) return false;
    Control* c = ControlOfEntry(entries_[static_cast<std::size_t>(selected_)]);
    if (!c) return false;
    // A Tag that lost its code since the list was filled gets the marker back with the code.
    if (SplitAnchorTag(c->tag, nullptr))
        c->tag.replace(0, 4, BarCode());
    else
        c->tag.insert(0, BarCode() + "*/");
    return true;
}

} // namespace corvale
