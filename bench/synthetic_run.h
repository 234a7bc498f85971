// Synthetic run-data files of any size, for benchmarks and stress tests.
#pragma once

#include <cstdint>
#include <string>

struct SyntheticRunShape {
    int variables = 20000;
    int equations = 20000;
    int iterations = 31;
    int entriesPerEquation = 4;
    std::uint32_t seed = 12345;
};

// Writes a valid run-data file of the given shape; returns false when the
// file cannot be written.
bool WriteSyntheticRun(const std::string& path, const SyntheticRunShape& shape);
