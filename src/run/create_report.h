// One report run: from the base path to the finished report file.
#pragma once

#include <string>

// Returns 0 when the report was written to the end, -1 otherwise.  Never
// throws.
int RunReport(const char* basePath) noexcept;

// The working directory handed to the model library: the drive and the
// directory of the base path, the directory keeping its trailing separator.
std::string WorkingDirectoryOf(const char* basePath);
