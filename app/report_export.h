#pragma once
// The main window's save button: ask for a file name in the save dialog, starting from the
// remembered report path, then write the report there. The flow is portable; the system's
// dialogs and files come in through DialogApi and FileWriter.
#include "controls/common_dialog.h"
#include "platform/list_control.h"
#include "platform/ui_seams.h"

#include <functional>
#include <string>
#include <string_view>

namespace corvale {

inline constexpr std::string_view kReportFileName = "\\Corvale_By_Varnholt.txt";
inline constexpr std::string_view kSaveDialogTitle = "List Save Location";
inline constexpr std::string_view kReportFilter = "Text Files (*.txt)|*.txt";

// The default report path: the desktop folder followed by the report's file name (the root of
// the current drive when the desktop is unknown).
std::string MakeReportPath(std::string_view desktopPath);

struct SaveListSeams {
    DialogApi& dialogs;
    FileWriter& writer;
    YieldFn yield;
    // When set, the dialog is hooked and its notifications go here (tests answer the dialog).
    cCommonDialog::Events* dialogEvents = nullptr;
    // Tells the user a chosen file could not be written (the text names the file and the
    // system's reason). Empty: nothing is shown.
    std::function<void(const std::string& message)> showMessage;
};

// The message of a save that could not be written.
std::string ReportNotWrittenMessage(std::string_view path, std::string_view reason);

enum class SaveListResult {
    Written,    // a name was chosen and the report written there
    Cancelled,  // no name chosen (cancel, or the dialog could not be shown): nothing written
    NotWritten, // a name was chosen but the file could not be written
};

// reportPath is the proposed name; it becomes the chosen name whenever one is chosen.
SaveListResult SaveListThroughDialog(WindowHandle owner, std::string& reportPath,
                                     const ListControl& list, const SaveListSeams& seams);

} // namespace corvale
