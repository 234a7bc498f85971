// One report run: from the base path to the finished report file.
#pragma once

// Returns 0 when the report was written to the end, -1 otherwise.  Never
// throws.
int RunReport(const char* basePath) noexcept;

// The working directory handed to the model library: the drive and the
// directory of the base path, the directory keeping its trailing separator.
#include <string>
std::string WorkingDirectoryOf(const char* basePath);

// True when the model option MININFTR switches infeasibility breakers off:
// its value begins with the four capital letters "NONE".
bool BreakersOffValue(const char* mininftr);
