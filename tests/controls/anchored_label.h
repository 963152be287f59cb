#pragma once
// The forms the anchor tests lay out: labels placed in twips, their anchor codes in their tags.
#include "platform/form_model.h"

#include <string>
#include <utility>
#include <vector>

namespace corvale::test_support {

inline Control AnchoredLabel(std::string name, std::string tag, TwipsRect where) {
    Control c;
    c.name = std::move(name);
    c.kind = ControlKind::Label;
    c.tag = std::move(tag);
    c.position = where;
    return c;
}

// A form of 9180 x 5190 twips (outer) holding the controls.
inline Form AnchorTestForm(std::vector<Control> controls) {
    Form f;
    f.outerWidth = 9180;
    f.outerHeight = 5190;
    f.controls = std::move(controls);
    return f;
}

} // namespace corvale::test_support
