// The run-data file loader of the solver library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "loaded_run.h"
#include "run_data_rules.h"

namespace tarn {

// The largest run-data file the loader takes.
constexpr std::uint64_t kMaxRunDataFileBytes = rules::kMaxFileBytes;

// Reads and checks the whole file at path into run.  Returns an error that
// has not Failed() on success; otherwise the first problem found, naming
// the file (run is then to be thrown away).  Throws only std::bad_alloc.
LoadError LoadRunData(const char* path, LoadedRun& run);

// Parses run-data text held in memory; fileName only names it in errors.
LoadError ParseRunData(const char* text, size_t size, const std::string& fileName,
                       LoadedRun& run);

}  // namespace tarn
