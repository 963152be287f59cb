#pragma once
// Turns the windows' stored design data (app/forms/*.json, pictures beside them) into form
// models. The build embeds the data; LoadFrmMain and LoadFrmDetailService read that copy.
#include "platform/form_model.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace corvale {

// Bytes of a file of the design data by its relative path ("pictures/logo.png"), or nothing.
using DesignFileReader = std::function<std::optional<Bytes>(std::string_view relativePath)>;

struct FormLoadResult {
    std::optional<Form> form;
    std::string error; // why the data was refused; empty when form is set
};

// JSON layout: name, caption, clientWidth/Height, outerWidth/Height, font {name, size, bold,
// italic, underline}, controls: [{name, index?, kind, container?, position? [l, t, w, h], tag?,
// visible?, enabled?, text?, toolTip?, items?, font?, properties?: {Name: {int16|int32|bool|
// single|text: value} or {file: path}}}].
FormLoadResult LoadFormJson(std::string_view json, const DesignFileReader& files);

// The embedded design data of the two windows.
FormLoadResult LoadFrmMain();
FormLoadResult LoadFrmDetailService();

} // namespace corvale
