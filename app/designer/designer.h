#pragma once
// The form designer for Corvale's design data (app/forms/*.json and their pictures): opens a
// design-data file, lists the form's controls and shows the design-time property pages of the
// selected control on a property sheet ("Anchors" for a form that holds the anchoring
// control, "Image Source" for an alpha image control). Apply and OK write the file back.
#include "app/design_data_file.h"

#include <windows.h>

#include <optional>
#include <string>

namespace corvale::designer {

enum class PageKind { None, Anchors, ImageSource };

// The page the designer shows for a control: Image Source for an alpha image control; Anchors
// for the anchoring control itself and, when the form holds one, for any positioned control
// (preselected on the page).
PageKind PageFor(const Form& form, const Control& control);

// Shows the property sheet of the control (name, index) of the open file, modal to owner.
// Returns false when the control has no page (nothing shown). Failed writes are reported in
// a message box and keep the sheet open.
bool ShowProperties(HWND owner, DesignDataFile& file, const std::string& name,
                    std::optional<std::int32_t> index);

// The designer's main window and message loop. file: the design data to open (empty: ask with
// the open dialog); openControl: a control whose properties are shown at once (may be empty).
int RunDesigner(HINSTANCE instance, const std::wstring& file, const std::string& openControl);

} // namespace corvale::designer
