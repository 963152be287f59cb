#include "platform/form_model.h"
#include "platform/ascii_text.h"

#include <array>

namespace corvale {
namespace {

constexpr std::array<std::pair<ControlKind, std::string_view>, 14> kKindNames{{
    {ControlKind::CommandButton, "CommandButton"},
    {ControlKind::OptionButton, "OptionButton"},
    {ControlKind::CheckBox, "CheckBox"},
    {ControlKind::Label, "Label"},
    {ControlKind::ListView, "ListView"},
    {ControlKind::ListBox, "ListBox"},
    {ControlKind::TextBox, "TextBox"},
    {ControlKind::PictureBox, "PictureBox"},
    {ControlKind::Frame, "Frame"},
    {ControlKind::Timer, "Timer"},
    {ControlKind::AnimationBar, "AnimationBar"},
    {ControlKind::Anchor, "Anchor"},
    {ControlKind::AlphaImage, "aicAlphaImage"},
    {ControlKind::Other, "Other"},
}};

} // namespace

std::string_view ControlKindName(ControlKind kind) {
    for (const auto& [k, n] : kKindNames)
        if (k == kind) return n;
    return "Other";
}

ControlKind ControlKindFromName(std::string_view name) {
    for (const auto& [k, n] : kKindNames)
        if (n == name) return k;
    return ControlKind::Other;
}

void PropertyBag::Set(std::string_view name, PropertyValue value) {
    SetNamed(entries_, name, std::move(value));
}

bool PropertyBag::Remove(std::string_view name) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (SameTextIgnoringCase(it->first, name)) {
            entries_.erase(it);
            return true;
        }
    return false;
}

const PropertyValue* PropertyBag::Find(std::string_view name) const {
    return FindNamed(entries_, name);
}

std::optional<std::int16_t> PropertyBag::GetInt16(std::string_view name) const {
    const PropertyValue* v = Find(name);
    if (v == nullptr || !std::holds_alternative<std::int16_t>(*v)) return std::nullopt;
    return std::get<std::int16_t>(*v);
}

std::optional<std::int32_t> PropertyBag::GetInt32(std::string_view name) const {
    const PropertyValue* v = Find(name);
    if (v == nullptr) return std::nullopt;
    if (const auto* i = std::get_if<std::int32_t>(v)) return *i;
    if (const auto* s = std::get_if<std::int16_t>(v)) return *s;
    return std::nullopt;
}

std::optional<bool> PropertyBag::GetBool(std::string_view name) const {
    const PropertyValue* v = Find(name);
    if (v == nullptr || !std::holds_alternative<bool>(*v)) return std::nullopt;
    return std::get<bool>(*v);
}

std::optional<float> PropertyBag::GetSingle(std::string_view name) const {
    const PropertyValue* v = Find(name);
    if (v == nullptr || !std::holds_alternative<float>(*v)) return std::nullopt;
    return std::get<float>(*v);
}

std::optional<std::string> PropertyBag::GetText(std::string_view name) const {
    const PropertyValue* v = Find(name);
    if (v == nullptr || !std::holds_alternative<std::string>(*v)) return std::nullopt;
    return std::get<std::string>(*v);
}

const Bytes* PropertyBag::GetBytes(std::string_view name) const {
    const PropertyValue* v = Find(name);
    return v ? std::get_if<Bytes>(v) : nullptr;
}

std::string Control::DisplayName() const {
    if (!index) return name;
    return name + "(" + std::to_string(*index) + ")";
}

Control* Form::Find(std::string_view n, std::optional<std::int32_t> index) {
    for (Control& c : controls)
        if (SameTextIgnoringCase(c.name, n) && c.index == index) return &c;
    return nullptr;
}

const Control* Form::Find(std::string_view n, std::optional<std::int32_t> index) const {
    for (const Control& c : controls)
        if (SameTextIgnoringCase(c.name, n) && c.index == index) return &c;
    return nullptr;
}

} // namespace corvale
