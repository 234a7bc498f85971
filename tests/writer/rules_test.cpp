// Every rule the loader enforces, broken through the C++ writer: the call
// that breaks it is refused in the loader's words and changes nothing.  The
// table covers every refused file of tests/rundata/invalid (cases.txt), so a
// rule added to the loader shows here until the writer has it too.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "tarn/run_writer.hpp"

namespace writer_test {
namespace {

namespace fs = std::filesystem;
namespace rd = tarn::rundata;

fs::path TempTarget(const char* name) {
    return fs::temp_directory_path() / (std::string("tarn-writer-") + name + "-" +
                                        std::to_string(getpid()) + ".vdr");
}

rd::Variable Var(std::string name, int type = rd::VariableType::kContinuous) {
    rd::Variable variable;
    variable.name = std::move(name);
    variable.type = type;
    return variable;
}
rd::Equation Eqn(std::string name) {
    rd::Equation equation;
    equation.name = std::move(name);
    return equation;
}
rd::Case Described(std::string description) {
    rd::Case header;
    header.description = std::move(description);
    return header;
}
rd::Case Dated(std::string date) {
    rd::Case header;
    header.date = std::move(date);
    return header;
}

// A run with two variables and two equations, ready for iterations.
void TwoByTwo(rd::RunWriter& run) {
    run.SetModelName("TANKS");
    run.AddVariable(Var("FLOW_A"));
    run.AddVariable(Var("FLOW_B"));
    run.AddEquation(Eqn("BALANCE"));
    run.AddEquation(Eqn("QUALITY"));
}

// The pool of linearised_coefficients.vdr: a sulfur row whose terms in
// P_Y and QSUL_POOL are linearised, with every coefficient added.
void SulfurRow(rd::RunWriter& run) {
    run.SetModelName("POOL");
    for (const char* name : {"C_Y", "P_Y", "QSUL_POOL"}) run.AddVariable(Var(name));
    run.AddEquation(Eqn("Y_SUL_SPEC"));
    run.AddEquation(Eqn("Y_MINIMUM"));
    for (const auto& [equation, variable] : {std::pair(1, 1), {1, 2}, {1, 3}, {2, 1}, {2, 2}})
        run.AddCoefficient(equation, variable, 1);
}

const rd::VariableTriple kTwoVariables[2] = {};
const rd::EquationTriple kTwoEquations[2] = {};

rd::Iteration FullIteration() {
    rd::Iteration iteration;
    iteration.variables = kTwoVariables;
    iteration.equations = kTwoEquations;
    return iteration;
}

struct Rule {
    const char* file;          // the refused file of cases.txt
    std::function<void(rd::RunWriter&)> breakIt;  // null: the writer cannot write it
    const char* why = "";      // why it cannot, or why the words differ
    const char* problem = nullptr;  // the writer's words, when not the loader's
};

// Texts that are not UTF-8, as the loader's files have them.
const std::string kNotUtf8 = "Blend \xE9t\xE9";
const std::string kOverlong = "Blend \xC0\xAF";
const std::string kLowSurrogate = "x\xED\xB0\x80";

const std::vector<Rule>& Rules() {
    static const std::vector<Rule> rules = {
        {"syntax_missing_colon.vdr", nullptr, "the writer writes the JSON itself"},
        {"syntax_nan_literal.vdr", nullptr, "non-finite numbers are written as the texts"},
        {"empty.vdr", nullptr, "the writer writes the JSON itself"},
        {"blank.vdr", nullptr, "the writer writes the JSON itself"},
        {"truncated.vdr", nullptr, "a run not closed leaves no file"},
        {"text_after_document.vdr", nullptr, "the writer writes the JSON itself"},
        {"not_utf8.vdr", [](rd::RunWriter& r) { r.SetCase(Described(kNotUtf8)); }},
        {"overlong_utf8.vdr", [](rd::RunWriter& r) { r.SetCase(Described(kOverlong)); }},
        {"nul_byte.vdr", nullptr, "a NUL in a text is refused (nul_in_text.vdr)"},
        {"lone_high_surrogate.vdr", [](rd::RunWriter& r) { r.SetCase(Described(kLowSurrogate)); },
         "the writer writes texts as UTF-8, where a lone surrogate is not UTF-8",
         "the text is not valid UTF-8"},
        {"lone_low_surrogate.vdr", [](rd::RunWriter& r) { r.SetCase(Described(kLowSurrogate)); },
         "the writer writes texts as UTF-8, where a lone surrogate is not UTF-8",
         "the text is not valid UTF-8"},
        {"top_level_array.vdr", nullptr, "the writer writes the JSON itself"},
        {"top_level_number.vdr", nullptr, "the writer writes the JSON itself"},
        {"deep_nesting.vdr", nullptr, "the writer writes the JSON itself"},
        {"nul_in_text.vdr",
         [](rd::RunWriter& r) { r.SetCase(Described(std::string("a\0b", 3))); }},
        {"nul_in_option_name.vdr",
         [](rd::RunWriter& r) { r.AddModelOption(std::string("MIN\0INFTR", 9), "AUTO"); }},
        {"key_given_twice.vdr", nullptr, "each member is written once"},
        {"option_given_twice.vdr",
         [](rd::RunWriter& r) {
             r.AddSolverOption("ITERLIM", 50);
             r.AddSolverOption("ITERLIM", 60);
         }},
        {"unknown_key.vdr", nullptr, "the writer writes only the format's keys"},
        {"unknown_top_level_key.vdr", nullptr, "the writer writes only the format's keys"},
        {"required_key_missing.vdr", nullptr, "every required key is written"},
        {"iterations_missing.vdr", nullptr, "every required key is written"},
        {"format_other.vdr", nullptr, "the writer writes the format's name"},
        {"version_3.vdr", nullptr, "the writer writes the version it knows"},
        {"equation_form_in_version_1.vdr", nullptr, "the writer writes the newest version"},
        {"wrong_type_bool.vdr", nullptr, "each value has its C++ type"},
        {"wrong_type_null.vdr", nullptr, "each value has its C++ type"},
        {"wrong_type_object.vdr", nullptr, "each value has its C++ type"},
        {"number_as_text.vdr", nullptr, "each value has its C++ type"},
        {"infinity_misspelt.vdr", nullptr, "non-finite numbers are written as the texts"},
        {"number_too_large.vdr", nullptr, "a double always fits"},
        {"number_too_large_for_double.vdr", nullptr, "a double always fits"},
        {"option_number_too_large.vdr",
         [](rd::RunWriter& r) { r.AddSolverOption("ITERLIM", rd::OptionValue::NumberAsWritten("2e308")); }},
        {"option_value_bool.vdr", nullptr, "an option value is a text or a number"},
        {"option_name_empty.vdr", [](rd::RunWriter& r) { r.AddLpOption("", "on"); }},
        {"integer_with_fraction.vdr", nullptr, "integers have an integer type"},
        {"integer_with_exponent.vdr", nullptr, "integers have an integer type"},
        {"integer_16bit_range.vdr",
         [](rd::RunWriter& r) {
             r.AddVariable(Var("FLOW_A"));
             r.AddVariable(Var("FLOW_B", 32768));
         }},
        {"integer_32bit_range.vdr", [](rd::RunWriter& r) { r.SetLpStatus(-2147483649LL); }},
        {"integer_beyond_64_bits.vdr", nullptr, "integers have an integer type"},
        {"nonlinear_fraction.vdr", nullptr, "integers have an integer type"},
        {"feasible_integer.vdr", nullptr, "feasible is a bool"},
        {"date_too_long.vdr", [](rd::RunWriter& r) { r.SetCase(Dated(std::string(31, 'x'))); }},
        {"date_too_long_in_bytes.vdr",
         [](rd::RunWriter& r) { r.SetCase(Dated("Mon Jan 15 10:30:00 2024 \xC3\xA9t\xC3\xA9\xC3\xA9")); }},
        {"date_line_break.vdr", [](rd::RunWriter& r) { r.SetCase(Dated("Mon Jan 15\n2024")); }},
        {"most_infeasible_too_long.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddIteration(FullIteration());
             const std::string name(200, 'Q');
             rd::Iteration iteration = FullIteration();
             iteration.mostInfeasible = name;
             r.AddIteration(iteration);
         }},
        {"variable_name_empty.vdr",
         [](rd::RunWriter& r) {
             r.AddVariable(Var("FLOW_A"));
             r.AddVariable(Var(""));
         }},
        {"equation_name_empty.vdr", [](rd::RunWriter& r) { r.AddEquation(Eqn("")); }},
        {"variable_name_line_break.vdr",
         [](rd::RunWriter& r) {
             r.AddVariable(Var("FLOW_A"));
             r.AddVariable(Var("FLOW\nB"));
         }},
        {"variable_name_c1_control.vdr",
         [](rd::RunWriter& r) {
             r.AddVariable(Var("FLOW_A"));
             r.AddVariable(Var("FLOW\xC2\x9B" "B"));
         }},
        {"equation_form_line_break.vdr",
         [](rd::RunWriter& r) {
             r.AddEquation(Eqn("BALANCE"));
             r.SetEquationForm(r.AddEquation(Eqn("QUALITY")),
                               "0.5*FLOW_B + FLOW_A*FLOW_B <= 0\n#endregion");
         }},
        {"equation_name_markup.vdr",
         [](rd::RunWriter& r) {
             r.AddEquation(Eqn("BALANCE"));
             r.AddEquation(Eqn("#endregion"));
         }},
        {"model_name_markup.vdr", [](rd::RunWriter& r) { r.SetModelName("?255000000}TANKS"); }},
        {"variable_name_twice.vdr",
         [](rd::RunWriter& r) {
             r.AddVariable(Var("FLOW_A"));
             r.AddVariable(Var("FLOW_A"));
         }},
        {"equation_name_twice.vdr",
         [](rd::RunWriter& r) {
             r.AddEquation(Eqn("BALANCE"));
             r.AddEquation(Eqn("BALANCE"));
         }},
        {"matrix_equation_missing.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddCoefficient(1, 1, 1);
             r.AddCoefficient(1, 2, 1);
             r.AddCoefficient(3, 1, 1);
         }},
        {"matrix_variable_zero.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddCoefficient(1, 1, 1);
             r.AddCoefficient(1, 0, 1);
         }},
        {"matrix_pair_twice.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddCoefficient(1, 1, 1);
             r.AddCoefficient(1, 2, 1);
             r.AddCoefficient(1, 2, 3);
         }},
        {"matrix_entry_two_values.vdr", nullptr, "a coefficient is given as three arguments"},
        {"linearised_in_version_1.vdr", nullptr, "the writer writes the newest version"},
        {"linearised_without_coefficient.vdr",
         [](rd::RunWriter& r) {
             SulfurRow(r);
             r.MarkLinearised(1, 2);
             r.MarkLinearised(2, 3);
         }},
        {"linearised_pair_twice.vdr",
         [](rd::RunWriter& r) {
             SulfurRow(r);
             r.MarkLinearised(1, 3);
             r.MarkLinearised(1, 2);
             r.MarkLinearised(1, 3);
         }},
        {"linearised_naming_no_item.vdr",
         [](rd::RunWriter& r) {
             SulfurRow(r);
             r.MarkLinearised(1, 2);
             r.MarkLinearised(3, 1);
         }},
        {"linearised_pair_of_three.vdr", nullptr, "a pair is given as two arguments"},
        {"matrix_number_fraction.vdr", nullptr, "item numbers have an integer type"},
        {"diagnosis_equation_missing.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddDiagnosisEquation(3);
         }},
        {"diagnosis_variable_zero.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddDiagnosisVariable(0);
         }},
        {"triple_of_two.vdr", nullptr, "a triple is a struct of three numbers"},
        {"triple_of_four.vdr", nullptr, "a triple is a struct of three numbers"},
        {"triple_with_text.vdr", nullptr, "a triple is a struct of three numbers"},
        {"too_few_triples.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             r.AddIteration(FullIteration());
             rd::Iteration iteration = FullIteration();
             iteration.variables = std::span(kTwoVariables, 1);
             r.AddIteration(iteration);
         }},
        {"too_many_triples.vdr",
         [](rd::RunWriter& r) {
             TwoByTwo(r);
             const rd::EquationTriple three[3] = {};
             rd::Iteration iteration = FullIteration();
             iteration.equations = three;
             r.AddIteration(iteration);
         }},
        {"iter_out_of_order.vdr", nullptr, "the writer numbers the iterations itself"},
        {"iter_negative.vdr", nullptr, "the writer numbers the iterations itself"},
    };
    return rules;
}

// file -> the loader's words, from tests/rundata/invalid/cases.txt.
std::map<std::string, std::string> LoaderMessages() {
    std::ifstream in(fs::path(TARN_SOURCE_DIR) / "tests/rundata/invalid/cases.txt");
    std::map<std::string, std::string> messages;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t first = line.find(" | "), second = line.find(" | ", first + 3);
        messages[line.substr(0, first)] = line.substr(second + 3);
    }
    return messages;
}

// The same words: the loader's message is the writer's (whose item counts
// may add to it), or ends with the writer's problem (where the writer does
// not know the path), or both name the same problem.
bool SameWords(const std::string& loader, const rd::RuleError& error) {
    const std::string writer = error.what(), problem = error.problem();
    if (writer.rfind(loader, 0) == 0) return true;
    if (loader.size() >= problem.size() &&
        loader.compare(loader.size() - problem.size(), problem.size(), problem) == 0)
        return true;
    const size_t colon = loader.find(": ");
    return colon != std::string::npos && problem.rfind(loader.substr(colon + 2), 0) == 0;
}

TEST(WriterRules, EveryRefusedFileHasItsRule) {
    std::map<std::string, const Rule*> byFile;
    for (const Rule& rule : Rules()) byFile[rule.file] = &rule;
    for (const auto& [file, message] : LoaderMessages())
        EXPECT_TRUE(byFile.contains(file)) << file << " (" << message << ") has no rule in the table";
}

TEST(WriterRules, EachBrokenRuleIsRefusedAtItsCallInTheLoadersWords) {
    const auto messages = LoaderMessages();
    for (const Rule& rule : Rules()) {
        if (!rule.breakIt) continue;
        SCOPED_TRACE(rule.file);
        const fs::path target = TempTarget("rule");
        rd::RunWriter run(target);
        try {
            rule.breakIt(run);
            ADD_FAILURE() << "nothing refused";
        } catch (const rd::RuleError& error) {
            if (rule.problem != nullptr) EXPECT_EQ(error.problem(), rule.problem) << rule.why;
            else EXPECT_TRUE(SameWords(messages.at(rule.file), error)) << error.what();
        }
        // The refused call changed nothing: the run still closes into a file
        // the loader reads (checked by the round trips for content).
        EXPECT_NO_THROW(run.Close());
        EXPECT_TRUE(fs::exists(target));
        fs::remove(target);
    }
}

TEST(WriterRules, TheModelIsFixedOnceAnIterationIsWritten) {
    const fs::path target = TempTarget("fixed");
    rd::RunWriter run(target);
    TwoByTwo(run);
    run.AddIteration(FullIteration());
    EXPECT_THROW(run.AddVariable(Var("LATE")), rd::RuleError);
    EXPECT_THROW(run.AddEquation(Eqn("LATE")), rd::RuleError);
    EXPECT_EQ(run.VariableCount(), 2);
    run.Close();
    EXPECT_THROW(run.AddIteration(FullIteration()), rd::RuleError);
    fs::remove(target);
}

TEST(WriterFile, NothingUnderTheTargetUntilClose) {
    const fs::path target = TempTarget("unclosed");
    {
        rd::RunWriter run(target);
        TwoByTwo(run);
        run.AddIteration(FullIteration());
        EXPECT_FALSE(fs::exists(target));
    }
    EXPECT_FALSE(fs::exists(target));
    for (const auto& entry : fs::directory_iterator(target.parent_path()))
        EXPECT_EQ(entry.path().string().find(target.string() + ".tmp"), std::string::npos)
            << "left behind: " << entry.path();
}

TEST(WriterFile, AKilledRunLeavesNoFileUnderTheTargetAndAnEarlierOneStays) {
    const fs::path target = TempTarget("killed");
    { std::ofstream(target) << "earlier run"; }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rd::RunWriter run(target);
        TwoByTwo(run);
        for (int k = 0; k < 1000; ++k) run.AddIteration(FullIteration());
        raise(SIGKILL);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::ifstream in(target);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "earlier run");
    fs::remove(target);
    for (const auto& entry : fs::directory_iterator(target.parent_path())) {
        if (entry.path().string().rfind(target.string() + ".tmp", 0) == 0) fs::remove(entry.path());
    }
}

TEST(WriterFile, AMissingDirectoryIsNamedInTheError) {
    const fs::path target = fs::temp_directory_path() / "tarn-no-such-directory" / "run.vdr";
    try {
        rd::RunWriter run(target);
        ADD_FAILURE() << "opened";
    } catch (const rd::FileError& error) {
        EXPECT_NE(std::string(error.what()).find("tarn-no-such-directory"), std::string::npos);
    }
}

}  // namespace
}  // namespace writer_test
