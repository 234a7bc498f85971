// The run-data file loader of the solver library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "loaded_run.h"

namespace tarn {

// The largest run-data file the loader takes; a larger one is refused before
// it is read.  The whole file is held in memory while it is parsed, so the
// limit is lower where the address space is 32 bits wide.
constexpr std::uint64_t kMaxRunDataFileBytes =
    sizeof(void*) >= 8 ? (std::uint64_t{1} << 30) : (std::uint64_t{256} << 20);

// Reads and checks the whole file at path into run.  Returns an empty text
// on success; otherwise one line, without line break, naming the file and
// the first problem found (run is then to be thrown away).  Throws only
// std::bad_alloc.
std::string LoadRunData(const char* path, LoadedRun& run);

// Parses run-data text held in memory; fileName only names it in messages.
std::string ParseRunData(const char* text, size_t size, const std::string& fileName,
                         LoadedRun& run);

}  // namespace tarn
