#pragma once
// What the app tests read and expect alike.
#include "platform/list_control.h"

#include <string>
#include <vector>

namespace corvale::test_support {

// One column of the list, top row first (cell 0: the row's own text).
inline std::vector<std::string> ColumnTexts(const ListControl& list, int cell) {
    std::vector<std::string> out;
    for (int r = 1; r <= list.RowCount(); ++r)
        out.push_back(cell == 0 ? list.RowText(r) : list.CellText(r, cell));
    return out;
}

// The twenty-line detail text the tests expect for their services: each a running shared-host
// service, started automatically as LocalService; the lines the services differ in are given.
inline std::string ExpectedDetailText(const std::string& displayName, const std::string& name,
                                      const std::string& pathName, const std::string& processId,
                                      const std::string& description = {}) {
    return "Accept Pause: \t\tFalse\r\n"
           "Accept Stop: \t\tTrue\r\n"
           "Caption: \t\t\t" +
           displayName + "\r\n" +
           (description.empty() ? "" : "Description: \t\t" + description + "\r\n") +
           "Desktop Interactaction: \tFalse\r\n"
           "Display Name: \t\t" +
           displayName +
           "\r\n"
           "Error Control: \t\tNormal\r\n"
           "Exit Code: \t\t0\r\n"
           "Name: \t\t\t" +
           name +
           "\r\n"
           "Path Name: \t\t" +
           pathName +
           "\r\n"
           "Process Id: \t\t" +
           processId +
           "\r\n"
           "Service Specific Exit Code: \t0\r\n"
           "Service Type: \t\tShare Process\r\n"
           "Started: \t\t\tTrue\r\n"
           "Start Mode: \t\tAuto\r\n"
           "Start Name: \t\tNT AUTHORITY\\LocalService\r\n"
           "State: \t\t\tRunning\r\n"
           "Status: \t\t\tOK\r\n"
           "Tag Id: \t\t\t0\r\n"
           "Wait Hint: \t\t0\r\n";
}

} // namespace corvale::test_support
