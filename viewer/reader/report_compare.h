// Two runs side by side: how each ended and the items whose final values
// differ.  A run's final values are those of the last variable details and
// the last equation details table of its iteration blocks, every row of
// them (the tables run across their repeated headings).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "report_reader.h"

namespace tarnview {

// How a run ended, from its header and its iteration summary.
struct RunFacts {
    std::string file;
    std::string model;               // "Model Name" of the header
    std::string status;              // "Solution Status" of the header
    std::size_t majorIterations = 0; // summary rows after the initial point
    std::optional<int> lastIteration;       // the last summary row's number
    std::optional<double> finalObjective;   // the last summary row's objective value
    std::optional<double> finalInfeasibility;  // the last summary row's total L-infeasibility (blank: none)
    bool endedEarly = false;
};
RunFacts FactsOf(const Report& report);

// The solver options a run shows: "KEY = VALUE" lines of the option
// display regions, with the region's title.
struct OptionSetting {
    std::string display;  // "TARN Solver Option Display", ...
    std::string key, value;
};
std::vector<OptionSetting> OptionsOf(const Report& report);

// A run's facts and the option values in which it differs from the other
// runs given: an option shown with different values, or not shown by every
// run (then its value is none where it is not shown).
struct OptionValue {
    std::string display, key;
    std::optional<std::string> value;
};
struct RunFactsLine {
    RunFacts facts;
    std::vector<OptionValue> options;  // in the order of the first run that shows each
};
std::vector<RunFactsLine> FactsOfRuns(const std::vector<const Report*>& reports);

struct FinalValue {
    std::string name;
    NameKind kind = NameKind::kVariable;
    double value = 0;
};
// The final values: each variable's "Value" and each equation's
// "Residual"; blank, non-numeric and non-finite fields left out.
std::vector<FinalValue> FinalValues(const Report& report);

struct Difference {
    std::string name;
    NameKind kind = NameKind::kVariable;
    const char* column = "";  // "Value" or "Residual"
    double a = 0, b = 0;
    double Change() const { return b - a; }
    double Size() const;
    double RelativeSize() const;  // the size over the larger of |a| and |b|
};

enum class DifferenceOrder { kSize, kRelativeSize };

struct OptionDifference {
    std::string display, key;
    std::optional<std::string> a, b;  // none where a run does not show it
};

struct Comparison {
    RunFacts a, b;
    bool sameModel = false;             // both name the same model
    std::size_t namesCompared = 0;      // items with a final value in both runs
    std::size_t onlyInA = 0, onlyInB = 0;
    std::vector<Difference> differences;  // every item whose final values differ, largest first
    std::vector<OptionDifference> options;
};
// Runs of different models are compared by the names they share.  Two
// values differ when their difference is more than `tolerance` times the
// larger of their sizes, or than `tolerance` itself for values below 1 (0:
// any difference), so that the noise of the arithmetic (1.4e-14 against 0)
// is no difference.
constexpr double kDefaultTolerance = 1e-9;
Comparison Compare(const Report& a, const Report& b, DifferenceOrder order = DifferenceOrder::kSize,
                   double tolerance = kDefaultTolerance);

}  // namespace tarnview
