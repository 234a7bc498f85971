// Ranking by CTARN_Control: order, ties, not-a-number, counts and the
// out-of-tolerance counter.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "libs/tarn.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// An iteration whose equation triples carry values in one member (0
// residual, 1 shadow price, 2 infeasibility slack), or whose variable triples
// carry values.
struct Iteration {
    CTARNIterationSolution solution;
    CTARNIterationData data;

    Iteration() { data.m_solution = &solution; }

    static void Fill(std::vector<double>& triples, const std::vector<double>& values, int member) {
        triples.assign(3 * values.size(), 99.0);
        for (size_t i = 0; i < values.size(); ++i) triples[3 * i + static_cast<size_t>(member)] = values[i];
    }
};

std::vector<int> Residuals(Iteration& it, int count, int criterion, size_t size = 12) {
    std::vector<int> index(size, -7);
    CTARN_Control::ReturnResidualSortedList(nullptr, &it.data, count, index.data(), criterion);
    return index;
}

}  // namespace

TEST(Sorting, ResidualRankingOrderTiesAndNaN) {
    Iteration it;
    const std::vector<double> values = {1, -3, 3, kNaN, 0, -0.0, -kNaN, 2, -kInf};
    for (auto [criterion, member] : {std::pair{1, 0}, std::pair{2, 2}, std::pair{4, 1}}) {
        SCOPED_TRACE(criterion);
        Iteration::Fill(it.solution.m_equationTriples, values, member);
        // Magnitude first, ties by number, NaN last by number; only the
        // equations' count of entries written.
        EXPECT_EQ(Residuals(it, 100, criterion),
                  (std::vector<int>{8, 1, 2, 7, 0, 4, 5, 3, 6, -7, -7, -7}));
        EXPECT_EQ(Residuals(it, 3, criterion),
                  (std::vector<int>{8, 1, 2, -7, -7, -7, -7, -7, -7, -7, -7, -7}));
    }
    // Another criterion, no count, no data: the index is left as it is.
    const std::vector<int> untouched(12, -7);
    for (int criterion : {0, 3, 5, -1}) EXPECT_EQ(Residuals(it, 5, criterion), untouched);
    EXPECT_EQ(Residuals(it, 0, 1), untouched);
    EXPECT_EQ(Residuals(it, -4, 1), untouched);
    std::vector<int> index(3, -7);
    CTARN_Control::ReturnResidualSortedList(nullptr, nullptr, 3, index.data(), 1);
    CTARN_Control::ReturnResidualSortedList(nullptr, &it.data, 3, nullptr, 1);
    CTARNIterationData noSolution;
    CTARN_Control::ReturnResidualSortedList(nullptr, &noSolution, 3, index.data(), 1);
    EXPECT_EQ(index, std::vector<int>(3, -7));

    // No equations: nothing to write.
    Iteration empty;
    EXPECT_EQ(Residuals(empty, 5, 1, 2), (std::vector<int>{-7, -7}));
}

TEST(Sorting, ResidualRankingAtScale) {
    // Many equal magnitudes: ties must come out by ascending number.
    Iteration it;
    std::vector<double> values(5000);
    for (size_t i = 0; i < values.size(); ++i) values[i] = (i % 2 ? -1.0 : 1.0) * static_cast<double>(i % 7);
    Iteration::Fill(it.solution.m_equationTriples, values, 0);
    std::vector<int> index = Residuals(it, 5000, 1, 5000);
    for (size_t i = 1; i < index.size(); ++i) {
        const double a = std::fabs(values[static_cast<size_t>(index[i - 1])]);
        const double b = std::fabs(values[static_cast<size_t>(index[i])]);
        ASSERT_TRUE(a > b || (a == b && index[i - 1] < index[i])) << i;
    }
}

TEST(Sorting, VariableDeltaRankingAndTolerance) {
    Iteration previous, current;
    //                                 0    1    2    3      4     5     6     7
    const std::vector<double> before = {2,   0,   4,   100,   0,    1,   kNaN,  -3};
    const std::vector<double> after = {5,   0.5, 4,   100.5, 1e-4, 1,    1,    -1};
    Iteration::Fill(previous.solution.m_variableTriples, before, 0);
    Iteration::Fill(current.solution.m_variableTriples, after, 0);
    // Relative changes: 1, 0.5, 0, 0.00495, 1e-4, 0, nan, 0.5.
    std::vector<int> index(10, -7);
    int outside = -1;
    CTARN_Control::ReturnVariableDeltaSortedList(nullptr, &current.data, &previous.data, 10,
                                                 index.data(), &outside, 1e-3, 1e-4);
    EXPECT_EQ(index, (std::vector<int>{0, 1, 7, 3, 4, 2, 5, 6, -7, -7}));
    // Out of both tolerances: 0, 1, 3, 7.  Variable 4 changes by 1e-4, not
    // more than the absolute tolerance; not-a-number counts as inside.
    EXPECT_EQ(outside, 4);

    std::vector<int> top(5, -7);
    outside = -1;
    CTARN_Control::ReturnVariableDeltaSortedList(nullptr, &current.data, &previous.data, 2,
                                                 top.data(), &outside, 0.0, 0.6);
    EXPECT_EQ(top, (std::vector<int>{0, 1, -7, -7, -7}));
    EXPECT_EQ(outside, 1);  // only variable 0's relative change is above 0.6

    // Missing iterations or counter: nothing is touched, nothing crashes.
    std::vector<int> keep(3, -7);
    outside = 42;
    CTARN_Control::ReturnVariableDeltaSortedList(nullptr, &current.data, nullptr, 3, keep.data(),
                                                 &outside, 0, 0);
    CTARN_Control::ReturnVariableDeltaSortedList(nullptr, nullptr, &previous.data, 3, keep.data(),
                                                 &outside, 0, 0);
    EXPECT_EQ(keep, std::vector<int>(3, -7));
    EXPECT_EQ(outside, 42);
    CTARN_Control::ReturnVariableDeltaSortedList(nullptr, &current.data, &previous.data, 3,
                                                 keep.data(), nullptr, 0, 0);
    EXPECT_EQ(keep, (std::vector<int>{0, 1, 7}));
}

TEST(Sorting, IterationDataBasics) {
    CTARNIterationData data;
    EXPECT_STREQ(data.GetFeasRowName(), "");
    const std::string long_name(250, 'q');
    data.SetFeasRowName(long_name.c_str());
    EXPECT_EQ(std::string(data.GetFeasRowName()), long_name.substr(0, 199));
    data.SetFeasRowName(nullptr);
    EXPECT_STREQ(data.GetFeasRowName(), "");

    int count = -1;
    char** texts = nullptr;
    EXPECT_EQ(data.GetWarningMessages(&count, &texts), 0);
    EXPECT_EQ(count, 0);
    ASSERT_NE(texts, nullptr);
    EXPECT_EQ(texts[0], nullptr);
    data.warningMessages.Add("careful");
    EXPECT_EQ(data.GetWarningMessages(nullptr, &texts), 1);
    EXPECT_STREQ(texts[0], "careful");
    double values[2] = {-1, -1};
    EXPECT_EQ(data.GetVarStructData(2, values, nullptr, nullptr), 0);  // no solution
    EXPECT_EQ(values[0], -1.0);
}
