// The report's own parts read back from reports the report library writes:
// the summary of every example against its run-data file, and table rows
// with long and awkward names.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cmath>
#include <set>
#include <string>

#include "report_fixture.h"
#include "report_layout.h"
#include "report_reader.h"
#include "report_texts.h"

namespace {

using tarnview::Report;

double NumberOf(const rapidjson::Value& value) {
    if (value.IsNumber()) return value.GetDouble();
    const std::string text = value.GetString();
    if (text == "nan") return std::nan("");
    return text.starts_with('-') ? -INFINITY : INFINITY;
}

double Member(const rapidjson::Value& object, const char* key, double fallback = 0) {
    return object.HasMember(key) ? NumberOf(object[key]) : fallback;
}

// Whether `shown` is `expected` to the significant digits the report shows.
void ExpectShown(const std::optional<double>& shown, double expected, int digits, const std::string& where) {
    ASSERT_TRUE(shown) << where;
    if (std::isnan(expected) || std::isinf(expected)) {
        EXPECT_EQ(std::isnan(*shown), std::isnan(expected)) << where;
        if (std::isinf(expected)) {
            EXPECT_EQ(*shown, expected) << where;
        }
        return;
    }
    const double tolerance = 0.5 * std::pow(10.0, 1 - digits) * std::fabs(expected) * (1 + 1e-9);
    EXPECT_LE(std::fabs(*shown - expected), tolerance) << where << ": shown " << *shown << ", run data " << expected;
}

class ExampleSummary : public testing::TestWithParam<std::string> {};

TEST_P(ExampleSummary, MatchesTheRunDataToTheDigitsShown) {
    const std::string runData = ReadText(std::string(TARN_SOURCE_DIR) + "/examples/" + GetParam() + ".vdr");
    const ReportResult result = RunOnData(runData);
    ASSERT_TRUE(result.logWritten);
    const auto report = Report::FromText(result.log);
    rapidjson::Document document;
    document.Parse(runData.c_str());
    const auto& iterations = document["iterations"];
    ASSERT_EQ(report->Summary().size(), iterations.Size());
    for (rapidjson::SizeType p = 0; p < iterations.Size(); ++p) {
        const auto& entry = iterations[p];
        const tarnview::SummaryRow& row = report->Summary()[p];
        const std::string where = GetParam() + " row " + std::to_string(p);
        EXPECT_EQ(row.majorIteration, static_cast<double>(p) - 1) << where;
        ExpectShown(row.variableConvergence, Member(entry, "variable_convergence"), 5, where + " variable");
        ExpectShown(row.residualConvergence, Member(entry, "residual_convergence"), 5, where + " residual");
        ExpectShown(row.objectiveConvergence, Member(entry, "objective_convergence"), 5, where + " objective");
        ExpectShown(row.objectiveValue, Member(entry, "user_objective", Member(entry, "objective")), 7,
                    where + " value");
        ExpectShown(row.nonLinearityRatio, Member(entry, "nonlinearity_ratio"), 3, where + " ratio");
        const double infeasibility = Member(entry, "infeasibility");
        if (infeasibility > 0) {
            ExpectShown(row.totalInfeasibility, infeasibility, 5, where + " infeasibility");
            EXPECT_EQ(row.mostInfeasibleEquation, entry["most_infeasible"].GetString()) << where;
        } else {
            EXPECT_FALSE(row.totalInfeasibility) << where;
            EXPECT_FALSE(row.mostInfeasibleEquation) << where;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleSummary,
                         testing::Values("blending", "refinery_infeasible", "refinery_unbounded"));

// A run whose names are long, hold blanks or look like markup.
struct AwkwardRun {
    std::vector<std::string> variables = {
        "SHORT", std::string(22, 'V'), "TWO  BLANKS INSIDE", "<img src=x onerror=alert(1)>",
        std::string(120, 'L') + "_VARIABLE", "FREE_ONE"};
    std::vector<std::string> equations = {"ROW", std::string(23, 'E'), "R O W", std::string(125, 'Q')};

    std::string Json() const {
        RunData data;
        for (std::size_t j = 0; j < variables.size(); ++j) {
            if (j > 0) data.variables += ", ";
            const bool free = variables[j] == "FREE_ONE";
            data.variables += R"({"name": ")" + variables[j] + (free ? R"(", "lower": "-inf", "upper": "inf"})"
                                                                      : R"(", "lower": 0, "upper": 10})");
        }
        for (std::size_t i = 0; i < equations.size(); ++i) {
            data.equations += (i > 0 ? ", " : "") + (R"({"name": ")" + equations[i] + R"(", "nonlinear": )" +
                                                     (i % 2 == 0 ? "true" : "false") + "}");
        }
        // Iteration 0: values 4, step boxes of 1, no prices; iteration 1:
        // values 5 with prices, so the change and bound lists fill too.
        std::string triples0, triples1, rows0, rows1;
        for (std::size_t j = 0; j < variables.size(); ++j) {
            const std::string step = variables[j] == "FREE_ONE" ? "1e20" : "1";  // no step box
            triples0 += std::string(j > 0 ? ", " : "") + "[4, " + step + ", 0]";
            triples1 += std::string(j > 0 ? ", " : "") + "[5, " + step + ", 2]";
        }
        for (std::size_t i = 0; i < equations.size(); ++i) {
            rows0 += std::string(i > 0 ? ", " : "") + "[0.5, 2, 0.5]";
            rows1 += std::string(i > 0 ? ", " : "") + "[-123456.789, 3, 0.25]";  // a residual as wide as its column
        }
        const std::string worst = R"(, "infeasibility": 0.5, "most_infeasible": ")" + equations.back() + "\"";
        data.iterations = Iteration(triples0, rows0, worst) + ", " + Iteration(triples1, rows1, worst);
        return data.Json();
    }
};

TEST(TableRows, LongAndAwkwardNamesKeepTheirFields) {
    const AwkwardRun run;
    const ReportResult result = RunOnData(run.Json());
    ASSERT_TRUE(result.logWritten) << result.stdoutText;
    const auto report = Report::FromText(result.log);
    ASSERT_EQ(report->IterationBlocks().size(), 2u);

    for (const std::string& name : run.variables) {
        const auto histories = tarnview::FindHistories(*report, name);
        ASSERT_EQ(histories.size(), 1u) << name;
        ASSERT_EQ(histories[0].rows.size(), 2u) << name;
        const auto& columns = tarnview::ColumnsOf(tarnview::TableKind::kVariableDetails);
        const auto field = [&](int row, const char* column) {
            const auto at = std::find(columns.begin(), columns.end(), column) - columns.begin();
            return std::string(histories[0].rows[row].row.fields[at]);
        };
        EXPECT_EQ(field(0, "Value"), "4") << name;
        EXPECT_EQ(field(1, "Value"), "5") << name;
        EXPECT_EQ(field(1, "ShadowPrice"), "2") << name;
        EXPECT_EQ(field(0, "Status"), "Optim") << name;
        EXPECT_EQ(field(0, "Type"), "Cont") << name;
        if (name == "FREE_ONE") {
            EXPECT_EQ(field(0, "Lower"), "-inf");
            EXPECT_EQ(field(0, "Upper"), "+inf");
        } else {
            EXPECT_EQ(field(0, "Lower"), "3") << name;
            EXPECT_EQ(field(0, "Lower Mark"), "S") << name;
            EXPECT_EQ(field(0, "Upper"), "5") << name;
            EXPECT_EQ(field(0, "Step"), "1") << name;
        }
    }
    for (std::size_t i = 0; i < run.equations.size(); ++i) {
        const auto histories = tarnview::FindHistories(*report, run.equations[i]);
        ASSERT_EQ(histories.size(), 1u) << run.equations[i];
        ASSERT_EQ(histories[0].rows.size(), 2u);
        const auto& fields = histories[0].rows[1].row.fields;
        EXPECT_EQ(fields[0], "-1.2346e+05") << run.equations[i];
        EXPECT_EQ(fields[1], "3");
        EXPECT_EQ(fields[4], i % 2 == 0 ? "non-linear" : "linear");
    }
    EXPECT_TRUE(tarnview::FindHistories(*report, "TWO").empty());

    // A row cut short (a report that ended in the middle of a row) keeps
    // its text as the name and has blank fields.
    const std::string_view cut = "CUT_SHORT            4";
    const tarnview::TableRow row = tarnview::ReadTableRow(tarnview::TableKind::kVariableDetails, cut);
    EXPECT_EQ(row.name, cut);
    for (std::string_view field : row.fields) EXPECT_TRUE(field.empty());

    // Every row of every table, the largest-value lists and the active
    // bounds included, names an item of the run.
    std::set<std::string_view> names(run.variables.begin(), run.variables.end());
    names.insert(run.equations.begin(), run.equations.end());
    std::set<tarnview::TableKind> kindsSeen;
    for (const tarnview::Table& table : report->Tables()) {
        kindsSeen.insert(table.kind);
        for (tarnview::LineNumber line = table.header + 1; line < table.end; ++line) {
            if (!report->IsTableRow(table, line)) continue;
            const std::string_view name = tarnview::TableRowName(table.kind, report->RawLine(line));
            EXPECT_TRUE(names.count(name)) << tarnview::TableKindName(table.kind) << ": '" << name << "'";
        }
    }
    EXPECT_EQ(kindsSeen.size(), 8u);  // the infeasible end adds a diagnosis table
    ASSERT_EQ(report->Summary().size(), 2u);
    EXPECT_EQ(report->Summary()[1].mostInfeasibleEquation, run.equations.back());
}

// The diagnosis tables are known by their whole headers in the layout
// table, as the fixed tables are; a line that only shares a column's name
// with one is no diagnosis table.
TEST(ReportParts, DiagnosisTablesKnownByTheirHeadersInTheLayoutTable) {
    for (const MessageId id : report_layout::kDiagnosisEquationHeaders) {
        const std::string header(report_text::Text(id));
        EXPECT_EQ(tarnview::TableKindOfHeader(header), tarnview::TableKind::kDiagnosisEquations) << header;
        EXPECT_EQ(tarnview::TableKindOfHeader(header + "   "), tarnview::TableKind::kDiagnosisEquations);
    }
    EXPECT_EQ(tarnview::TableKindOfHeader(report_text::Text(report_layout::kDiagnosisVariableHeader)),
              tarnview::TableKind::kDiagnosisVariables);
    EXPECT_EQ(tarnview::TableKindOfHeader("Associated Variable Name"), tarnview::TableKind::kOther);
    EXPECT_EQ(tarnview::TableKindOfHeader("see the Associated Equation Name column"), tarnview::TableKind::kOther);
}

}  // namespace
