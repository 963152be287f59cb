#include "app/report_export.h"

#include "app/ModMain.h"

#include <memory>

namespace corvale {

std::string MakeReportPath(std::string_view desktopPath) {
    std::string path(desktopPath);
    path += kReportFileName;
    return path;
}

std::string ReportNotWrittenMessage(std::string_view path, std::string_view reason) {
    std::string text = "The list could not be saved to\r\n";
    text += path;
    text += "\r\n\r\n";
    text += reason.empty() ? std::string_view("The file could not be written.") : reason;
    return text;
}

SaveListResult SaveListThroughDialog(WindowHandle owner, std::string& reportPath,
                                     const ListControl& list, const SaveListSeams& seams) {
    auto dialog = std::make_unique<cCommonDialog>(seams.dialogs);
    dialog->SetDialogTitle(std::string(kSaveDialogTitle));
    dialog->SetCancelError(true);
    dialog->SethWnd(owner);
    dialog->SetFilter(std::string(kReportFilter));
    dialog->SetFilename(reportPath);
    // Names and folders outside the ANSI code page are chosen and kept whole.
    dialog->SetWideChars(true);
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
    // A save never fails unseen: the user learns which file and why.
    if (!written && seams.showMessage)
        seams.showMessage(ReportNotWrittenMessage(reportPath, seams.writer.FailureReason()));
    CallYield(seams.yield);
    return written ? SaveListResult::Written : SaveListResult::NotWritten;
}

} // namespace corvale
