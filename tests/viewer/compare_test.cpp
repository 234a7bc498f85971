// Two runs compared by the reader: every item whose final value differs,
// with both values, largest difference first; the run's end beside it.
#include <gtest/gtest.h>

#include "model_runs.h"
#include "report_compare.h"
#include "report_fixture.h"
#include "report_reader.h"

namespace {

using tarnview::Report;

std::string LogOf(const model_runs::FinalValues& values, const std::string& model = "MANY") {
    const ReportResult result = RunOnData(model_runs::RunData(values, model));
    EXPECT_TRUE(result.logWritten) << result.stdoutText << result.stderrText;
    return result.log;
}

void ExpectDifferences(const tarnview::Comparison& comparison,
                       const std::vector<model_runs::ExpectedDifference>& expected) {
    ASSERT_EQ(comparison.differences.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const tarnview::Difference& found = comparison.differences[k];
        EXPECT_EQ(found.name, expected[k].name) << k;
        EXPECT_EQ(found.kind == tarnview::NameKind::kVariable, expected[k].variable) << k;
        EXPECT_EQ(found.a, expected[k].a) << found.name;
        EXPECT_EQ(found.b, expected[k].b) << found.name;
        EXPECT_EQ(found.Change() > 0, expected[k].b > expected[k].a) << found.name;
    }
}

TEST(Compare, NamesEveryDifferingItemAcrossTheRepeatedHeadings) {
    const std::string a = LogOf(model_runs::RunA()), b = LogOf(model_runs::RunB()), c = LogOf(model_runs::RunC());
    const auto reportA = Report::FromText(a), reportB = Report::FromText(b), reportC = Report::FromText(c);

    const tarnview::Comparison all = tarnview::Compare(*reportA, *reportB);
    EXPECT_TRUE(all.sameModel);
    EXPECT_EQ(all.namesCompared, std::size_t{model_runs::kVariables + model_runs::kEquations});
    ExpectDifferences(all, model_runs::ExpectedDifferences(model_runs::RunA(), model_runs::RunB()));

    const tarnview::Comparison some = tarnview::Compare(*reportA, *reportC);
    ExpectDifferences(some, model_runs::ExpectedDifferences(model_runs::RunA(), model_runs::RunC()));
    EXPECT_TRUE(tarnview::Compare(*reportA, *reportA).differences.empty());

    // By relative size: run C's variable V0000001 (2 -> -2) changed most.
    const tarnview::Comparison relative = tarnview::Compare(*reportA, *reportC, tarnview::DifferenceOrder::kRelativeSize);
    ASSERT_FALSE(relative.differences.empty());
    EXPECT_EQ(relative.differences.front().name, "V0000001");
    EXPECT_DOUBLE_EQ(relative.differences.front().RelativeSize(), 2.0);
}

TEST(Compare, TakesTheNoiseOfTheArithmeticForNoDifference) {
    // A residual of 0 against 1.4e-14, and one real difference.
    model_runs::FinalValues noisy = model_runs::RunA();
    noisy.equations[0] = 0;
    model_runs::FinalValues other = model_runs::RunA();
    other.equations[0] = 1.4e-14;
    other.variables[9] += 1e-3;
    const std::string a = LogOf(noisy), b = LogOf(other);
    const auto reportA = Report::FromText(a), reportB = Report::FromText(b);
    const tarnview::Comparison comparison = tarnview::Compare(*reportA, *reportB);
    ASSERT_EQ(comparison.differences.size(), 1u);
    EXPECT_EQ(comparison.differences[0].name, model_runs::VariableName(9));
    // Every difference when none is tolerated.
    EXPECT_EQ(tarnview::Compare(*reportA, *reportB, tarnview::DifferenceOrder::kSize, 0).differences.size(), 2u);
}

TEST(Compare, SaysHowEachRunEndedAndWhenTheModelsDiffer) {
    const std::string a = LogOf(model_runs::RunA()), other = LogOf(model_runs::RunB(), "OTHER");
    const auto reportA = Report::FromText(a), reportOther = Report::FromText(other);
    const tarnview::Comparison comparison = tarnview::Compare(*reportA, *reportOther);
    EXPECT_FALSE(comparison.sameModel);
    EXPECT_EQ(comparison.a.model, "MANY");
    EXPECT_EQ(comparison.b.model, "OTHER");
    EXPECT_EQ(comparison.a.status, "Successful");
    EXPECT_EQ(comparison.a.majorIterations, 1u);
    EXPECT_EQ(comparison.a.lastIteration, 0);

    // A run that ended early is said to have.
    const auto cut = Report::FromText(std::string_view(a).substr(0, a.size() / 2));
    EXPECT_TRUE(tarnview::Compare(*reportA, *cut).b.endedEarly);
}

}  // namespace

namespace {

// The iteration numbering every extract uses: the summary's, the initial
// point -1; the same in the history, the blocks and the run's facts, also
// for a report that ended in the middle of a block.
TEST(IterationNumbering, IsTheSummarysInEveryExtract) {
    const std::string whole = LogOf(model_runs::RunA());
    const std::string cut = whole.substr(0, whole.rfind(model_runs::VariableName(200)));
    for (const std::string_view text : {std::string_view(whole), std::string_view(cut)}) {
        const auto report = Report::FromText(text);
        std::vector<std::string> summary, blocks, history;
        for (const tarnview::SummaryRow& row : report->Summary())
            summary.push_back(std::to_string(static_cast<int>(row.majorIteration.value_or(-2))));
        for (const tarnview::IterationBlock& block : report->IterationBlocks()) blocks.push_back(tarnview::IterationLabel(block));
        const std::vector<tarnview::History> histories = tarnview::FindHistories(*report, model_runs::VariableName(3));
        ASSERT_EQ(histories.size(), 1u);
        for (const tarnview::HistoryRow& row : histories[0].rows)
            history.push_back(tarnview::IterationLabel(report->IterationBlocks()[row.block]));
        EXPECT_EQ(summary, (std::vector<std::string>{"-1", "0"}));
        EXPECT_EQ(blocks, summary);
        EXPECT_EQ(history, summary);
        EXPECT_EQ(report->BlockNumbered(tarnview::kInitialIteration), 0u);
        EXPECT_EQ(tarnview::FactsOf(*report).lastIteration, 0);
    }
    EXPECT_TRUE(Report::FromText(cut)->EndedEarly());
}

}  // namespace
