// What the benchmark programs share: the clock, medians, the peak memory of
// a child process, and the run-shape arguments.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "synthetic_run.h"

using BenchClock = std::chrono::steady_clock;

double SecondsSince(BenchClock::time_point start);
double Median(std::vector<double> values);

// Peak resident memory, in bytes, of a child process that runs `work`; -1
// when the child cannot be started or `work` returns false.
long long PeakMemoryOfChild(const std::function<bool()>& work);

// --variables, --equations, --iterations, --seed and --runs, each with a number.
bool ParseShapeArguments(int argc, char** argv, SyntheticRunShape& shape, int& runs);
