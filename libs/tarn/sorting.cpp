// The two ranking services of CTARN_Control.
//
// Both rank items by a magnitude, largest first; equal magnitudes by
// ascending item number; not-a-number after every number, by ascending item
// number.  Only the first min(count, items) entries of index are written.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "libs/tarn.h"
#include "libs/veldxmps_model.h"

namespace {

struct Ranked {
    double key;  // the magnitude, or -1 for not-a-number
    int item;    // position from 0
};

// Magnitudes are >= 0, so -1 puts not-a-number behind every number while
// the comparison stays a strict weak order.
double RankKey(double magnitude) { return std::isnan(magnitude) ? -1.0 : magnitude; }

void WriteTop(std::vector<Ranked>& ranked, int count, int* index) {
    const size_t m = std::min(static_cast<size_t>(count), ranked.size());
    auto before = [](const Ranked& a, const Ranked& b) {
        return a.key != b.key ? a.key > b.key : a.item < b.item;
    };
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(m),
                      ranked.end(), before);
    for (size_t i = 0; i < m; ++i) index[i] = ranked[i].item;
}

// The equation value a SortCriterion code ranks by; null for another code.
double EquationTriple::*RankedField(int criterion) {
    switch (criterion) {
        case SortCriterion::kResidual: return &EquationTriple::residual;
        case SortCriterion::kSlack: return &EquationTriple::slack;
        case SortCriterion::kShadowPrice: return &EquationTriple::shadowPrice;
        default: return nullptr;
    }
}

}  // namespace

void CTARN_Control::ReturnResidualSortedList(IVELDMgr*, CTARNIterationData* data, int count,
                                             int* index, int criterion) {
    veldxmps::FaultPoint("ReturnResidualSortedList");
    double EquationTriple::*field = RankedField(criterion);
    if (field == nullptr) return;
    if (data == nullptr || data->m_solution == nullptr || index == nullptr || count <= 0) return;
    const TripleArray<EquationTriple> triples = EquationTriplesOf(data->m_solution);
    std::vector<Ranked> ranked(static_cast<size_t>(triples.Count()));
    for (int k = 0; k < triples.Count(); ++k)
        ranked[static_cast<size_t>(k)] = {RankKey(std::fabs((*triples.Of(k + 1)).*field)), k};
    WriteTop(ranked, count, index);
}

void CTARN_Control::ReturnVariableDeltaSortedList(IVELDMgr*, CTARNIterationData* current,
                                                  CTARNIterationData* previous, int count,
                                                  int* index, int* outOfTolerance,
                                                  double tolerance1, double tolerance2) {
    veldxmps::FaultPoint("ReturnVariableDeltaSortedList");
    if (current == nullptr || previous == nullptr || current->m_solution == nullptr ||
        previous->m_solution == nullptr)
        return;
    const TripleArray<VariableTriple> now = VariableTriplesOf(current->m_solution);
    const TripleArray<VariableTriple> before = VariableTriplesOf(previous->m_solution);
    const int n = std::min(now.Count(), before.Count());
    std::vector<Ranked> ranked(static_cast<size_t>(n));
    int outside = 0;
    for (int k = 0; k < n; ++k) {
        const double oldValue = before.Of(k + 1)->value;
        const double newValue = now.Of(k + 1)->value;
        const double change = std::fabs(newValue - oldValue);
        const double relative = change / (std::fabs(oldValue) + 1.0);
        if (change > tolerance1 && relative > tolerance2) ++outside;
        ranked[static_cast<size_t>(k)] = {RankKey(relative), k};
    }
    if (outOfTolerance != nullptr) *outOfTolerance = outside;
    if (index != nullptr && count > 0) WriteTop(ranked, count, index);
}
