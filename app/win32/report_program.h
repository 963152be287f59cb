#pragma once
// CorvaleReport.exe: the console report over the running system and, by name, other computers.
#include <string>
#include <vector>

namespace corvale::win32 {

// Runs the report for the arguments (UTF-8, without the program name); the process exit code.
int RunReport(const std::vector<std::string>& args);

} // namespace corvale::win32
