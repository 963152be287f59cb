#include "app/report_export.h"

#include "app/ModMain.h"

#include <memory>

namespace corvale {

std::string MakeReportPath(std::string_view desktopPath) {
    std::string path(desktopPath);
    path += kReportFileName;
    return path;
}

SaveListResult SaveListThroughDialog(WindowHandle owner, std::string& reportPath,
                                     const ListControl& list, const SaveListSeams& seams) {
    auto dialog = std::make_unique<cCommonDialog>(seams.dialogs);
    dialog->SetDialogTitle(std::string(kSaveDialogTitle));
    dialog->SetCancelError(true);
    dialog->SethWnd(owner);
    dialog->SetFilter(std::string(kReportFilter));
    dialog->SetFilename(reportPath);
    if (seams.dialogEvents) {
        dialog->SetEvents(seams.dialogEvents);
        dialog->SetHookDialog(true);
    }

    // A proposal the dialog refuses (a name too long for its buffer) counts as no choice:
    // nothing is written without the user having chosen the file.
    if (dialog->ShowSave() != DialogOutcome::Chosen || dialog->Filename().empty())
        return SaveListResult::Cancelled;

    reportPath = dialog->Filename();
    CallYield(seams.yield);
    dialog.reset();

    const bool written = SaveListToFile(reportPath, list, seams.writer);
    CallYield(seams.yield);
    return written ? SaveListResult::Written : SaveListResult::NotWritten;
}

} // namespace corvale
