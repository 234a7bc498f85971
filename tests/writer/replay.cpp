#include "replay.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "TARNReport.h"
#include "run_data_numbers.h"

namespace writer_test {
namespace {

namespace rd = tarn::rundata;
using Json = rapidjson::Value;

// Numbers are read as their text (kParseNumbersAsStringsFlag).
double Number(const Json& value) {
    const std::string_view text(value.GetString(), value.GetStringLength());
    double number = 0;
    if (!tarn::ParseNonFiniteText(text, number)) {
        EXPECT_TRUE(tarn::ParseDouble(text, number));
    }
    return number;
}

double NumberOr(const Json& object, const char* key, double fallback) {
    return object.HasMember(key) ? Number(object[key]) : fallback;
}

std::int64_t IntegerOr(const Json& object, const char* key, std::int64_t fallback) {
    if (!object.HasMember(key)) return fallback;
    const Json& value = object[key];
    if (value.IsBool()) return value.GetBool() ? 1 : 0;
    return std::stoll(value.GetString());
}

std::string TextOr(const Json& object, const char* key) {
    if (!object.HasMember(key)) return std::string();
    return std::string(object[key].GetString(), object[key].GetStringLength());
}

// A number's text and a text are alike once read; a text that is a JSON
// number is written back as one (the report shows either the same).
void ReplayOptions(const Json& options, char set, RunCalls& calls) {
    for (const auto& member : options.GetObject()) {
        Option option;
        option.name.assign(member.name.GetString(), member.name.GetStringLength());
        option.text.assign(member.value.GetString(), member.value.GetStringLength());
        try {
            rd::OptionValue::NumberAsWritten(option.text);
            option.number = true;
        } catch (const rd::RuleError&) {
        }
        calls.AddOption(set, option);
    }
}

void ReplayModel(const Json& model, RunCalls& calls) {
    calls.SetModelName(TextOr(model, "name"));
    for (const Json& item : model["variables"].GetArray()) {
        rd::Variable variable;
        variable.name = TextOr(item, "name");
        variable.lower = NumberOr(item, "lower", 0);
        variable.upper = NumberOr(item, "upper", rd::kInfinity);
        variable.type = static_cast<int>(IntegerOr(item, "type", 1));
        variable.status = static_cast<int>(IntegerOr(item, "status", 1));
        if (item.HasMember("value")) variable.value = Number(item["value"]);
        calls.AddVariable(variable);
    }
    int equationNumber = 0;
    for (const Json& item : model["equations"].GetArray()) {
        ++equationNumber;
        rd::Equation equation;
        equation.name = TextOr(item, "name");
        equation.type = static_cast<int>(IntegerOr(item, "type", 3));
        equation.rhs = NumberOr(item, "rhs", 0);
        equation.value = NumberOr(item, "value", 0);
        equation.scale = NumberOr(item, "scale", 1);
        equation.diag = NumberOr(item, "diag", 0);
        equation.nonlinear = IntegerOr(item, "nonlinear", 0);
        calls.AddEquation(equation);
        if (item.HasMember("form")) calls.SetEquationForm(equationNumber, TextOr(item, "form"));
    }
    if (model.HasMember("matrix")) {
        for (const Json& entry : model["matrix"].GetArray())
            calls.AddCoefficient(std::stoi(entry[0].GetString()), std::stoi(entry[1].GetString()),
                                 Number(entry[2]));
    }
    if (model.HasMember("linearised")) {
        for (const Json& pair : model["linearised"].GetArray())
            calls.MarkLinearised(std::stoi(pair[0].GetString()), std::stoi(pair[1].GetString()));
    }
    if (model.HasMember("options")) {
        calls.UseModelOptions();
        ReplayOptions(model["options"], 'm', calls);
    }
}

std::vector<std::string> Texts(const Json& iteration, const char* key) {
    std::vector<std::string> texts;
    if (iteration.HasMember(key)) {
        for (const Json& text : iteration[key].GetArray())
            texts.emplace_back(text.GetString(), text.GetStringLength());
    }
    return texts;
}

template <typename Triple>
std::vector<Triple> Triples(const Json& list) {
    std::vector<Triple> triples;
    for (const Json& triple : list.GetArray())
        triples.push_back({Number(triple[0]), Number(triple[1]), Number(triple[2])});
    return triples;
}

void ReplayIteration(const Json& item, RunCalls& calls) {
    rd::Iteration iteration;
    iteration.nlVariables = IntegerOr(item, "nl_variables", 0);
    iteration.nlEquations = IntegerOr(item, "nl_equations", 0);
    iteration.feasible = item.HasMember("feasible") && item["feasible"].GetBool();
    iteration.pFunction = NumberOr(item, "p_function", 0);
    iteration.nonlinearityRatio = NumberOr(item, "nonlinearity_ratio", 0);
    iteration.objective = NumberOr(item, "objective", 0);
    if (item.HasMember("user_objective")) iteration.userObjective = Number(item["user_objective"]);
    iteration.infeasibility = NumberOr(item, "infeasibility", 0);
    iteration.objectiveConvergence = NumberOr(item, "objective_convergence", 0);
    iteration.residualConvergence = NumberOr(item, "residual_convergence", 0);
    iteration.variableConvergence = NumberOr(item, "variable_convergence", 0);
    const std::string mostInfeasible = TextOr(item, "most_infeasible");
    iteration.mostInfeasible = mostInfeasible;
    const auto errors = Texts(item, "errors"), warnings = Texts(item, "warnings"),
               information = Texts(item, "information");
    iteration.errors = errors;
    iteration.warnings = warnings;
    iteration.information = information;
    const auto variables = Triples<rd::VariableTriple>(item["variables"]);
    const auto equations = Triples<rd::EquationTriple>(item["equations"]);
    iteration.variables = variables;
    iteration.equations = equations;
    calls.AddIteration(iteration);
}

}  // namespace

bool Replay(const std::string& path, RunCalls& calls) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    rapidjson::Document document;
    document.Parse<rapidjson::kParseNumbersAsStringsFlag>(text.c_str(), text.size());
    if (document.HasParseError() || !document.IsObject()) {
        ADD_FAILURE() << path << " is not a JSON object";
        return false;
    }
    const Json& header = document["case"];
    rd::Case run;
    run.number = IntegerOr(header, "number", 0);
    run.description = TextOr(header, "description");
    run.date = TextOr(header, "date");
    run.status = TextOr(header, "status");
    calls.SetCase(run);
    ReplayModel(document["model"], calls);
    if (document.HasMember("solver")) {
        const Json& solver = document["solver"];
        calls.SetTolerances({NumberOr(solver, "feasibility_tolerance", 1e-6),
                             NumberOr(solver, "delta_tolerance_1", 1e-3),
                             NumberOr(solver, "delta_tolerance_2", 1e-4)});
        if (solver.HasMember("options")) ReplayOptions(solver["options"], 's', calls);
    }
    if (document.HasMember("lp")) {
        const Json& lp = document["lp"];
        calls.SetLpStatus(static_cast<int>(IntegerOr(lp, "status", 0)));
        if (lp.HasMember("options")) ReplayOptions(lp["options"], 'l', calls);
        if (lp.HasMember("diagnosis")) {
            for (const char* list : {"equations", "variables"}) {
                if (!lp["diagnosis"].HasMember(list)) continue;
                for (const Json& number : lp["diagnosis"][list].GetArray())
                    calls.AddDiagnosisItem(list[0] == 'e', std::stoi(number.GetString()));
            }
        }
    }
    for (const Json& iteration : document["iterations"].GetArray()) ReplayIteration(iteration, calls);
    calls.Close();
    return true;
}

std::string ReportOf(const std::string& runDataPath) {
    namespace fs = std::filesystem;
    static int reports = 0;
    const fs::path directory = fs::temp_directory_path() /
                               ("tarn-writer-report-" + std::to_string(getpid()) + "-" +
                                std::to_string(++reports));
    fs::create_directories(directory);
    fs::copy_file(runDataPath, directory / "run.vdr");
    // The result, then whatever the report holds.
    std::string report = std::to_string(CreateUQExecutionReport((directory / "run").c_str())) + "\n";
    std::ifstream in(directory / "run.log", std::ios::binary);
    report.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    fs::remove_all(directory);
    return report;
}

}  // namespace writer_test
