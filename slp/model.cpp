// Reading and writing models in their JSON form.
#include "model.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <stdexcept>

namespace slp {
namespace {

using Json = rapidjson::Value;

class ModelReader {
public:
    ModelReader(std::string file) : m_file(std::move(file)) {}

    Model Read(const rapidjson::Document& document) {
        if (!document.IsObject()) Fail("", "the top level must be an object");
        Model model;
        model.name = Text(document, "name", "", true);
        model.description = Text(document, "description", "", false);
        model.caseNumber = static_cast<int>(Number(document, "case", "", 0));
        const std::string sense = Text(document, "sense", "", false);
        if (sense != "" && sense != "minimize" && sense != "maximize")
            Fail("sense", "\"minimize\" or \"maximize\" expected");
        model.maximize = sense == "maximize";
        ReadVariables(Member(document, "variables", "", true), model);
        const Json& objective = Member(document, "objective", "", true);
        model.objectiveName = Text(objective, "name", "objective", false);
        if (model.objectiveName.empty()) model.objectiveName = "OBJECTIVE";
        model.objective = ReadExpression(objective, "objective");
        const Json& constraints = Member(document, "constraints", "", true);
        if (!constraints.IsArray()) Fail("constraints", "an array expected");
        for (rapidjson::SizeType i = 0; i < constraints.Size(); ++i)
            model.constraints.push_back(ReadConstraint(constraints[i], "constraints[" + std::to_string(i) + "]"));
        return model;
    }

private:
    [[noreturn]] void Fail(const std::string& where, const std::string& problem) const {
        throw std::runtime_error(m_file + ": " + (where.empty() ? "" : where + ": ") + problem);
    }
    static std::string At(const std::string& where, const char* key) {
        return where.empty() ? key : where + "." + key;
    }
    const Json& Member(const Json& object, const char* key, const std::string& where, bool required) const {
        static const Json null;
        if (!object.IsObject()) Fail(where, "an object expected");
        const auto found = object.FindMember(key);
        if (found == object.MemberEnd()) {
            if (required) Fail(where, std::string("the key \"") + key + "\" is missing");
            return null;
        }
        return found->value;
    }
    std::string Text(const Json& object, const char* key, const std::string& where, bool required) const {
        const Json& value = Member(object, key, where, required);
        if (value.IsNull()) return std::string();
        if (!value.IsString()) Fail(At(where, key), "a text expected");
        return std::string(value.GetString(), value.GetStringLength());
    }
    double Number(const Json& object, const char* key, const std::string& where, double fallback) const {
        const Json& value = Member(object, key, where, false);
        if (value.IsNull()) return fallback;
        return NumberOf(value, At(where, key));
    }
    double NumberOf(const Json& value, const std::string& where) const {
        if (value.IsString()) {
            const std::string text = value.GetString();
            if (text == "inf" || text == "+inf") return kInfinity;
            if (text == "-inf") return -kInfinity;
        }
        if (!value.IsNumber()) Fail(where, "a number expected (or \"inf\", \"-inf\")");
        return value.GetDouble();
    }
    int VariableNamed(const Json& name, const std::string& where) const {
        if (!name.IsString()) Fail(where, "a variable name expected");
        const auto found = m_variables.find(name.GetString());
        if (found == m_variables.end())
            Fail(where, std::string("no variable is named \"") + name.GetString() + "\"");
        return found->second;
    }

    void ReadVariables(const Json& variables, Model& model) {
        if (!variables.IsArray()) Fail("variables", "an array expected");
        for (rapidjson::SizeType i = 0; i < variables.Size(); ++i) {
            const std::string where = "variables[" + std::to_string(i) + "]";
            VariableSpec variable;
            variable.name = Text(variables[i], "name", where, true);
            variable.lower = Number(variables[i], "lower", where, 0);
            variable.upper = Number(variables[i], "upper", where, kInfinity);
            variable.start = Number(variables[i], "start", where, std::max(variable.lower, 0.0));
            if (variable.lower > variable.upper) Fail(where, "the lower bound is above the upper bound");
            if (!std::isfinite(variable.start)) Fail(where + ".start", "a finite number expected");
            if (!m_variables.emplace(variable.name, static_cast<int>(i)).second)
                Fail(where + ".name", "\"" + variable.name + "\" is the name of an earlier variable");
            model.variables.push_back(variable);
        }
    }

    Expression ReadExpression(const Json& object, const std::string& where) const {
        Expression expression;
        const Json& linear = Member(object, "linear", where, false);
        if (!linear.IsNull()) {
            if (!linear.IsObject()) Fail(At(where, "linear"), "an object of variable names and coefficients expected");
            for (const auto& term : linear.GetObject()) {
                const std::string at = At(where, "linear") + "." + term.name.GetString();
                expression.linear.push_back({VariableNamed(term.name, at), Finite(term.value, at)});
            }
        }
        const Json& bilinear = Member(object, "bilinear", where, false);
        if (!bilinear.IsNull()) {
            if (!bilinear.IsArray()) Fail(At(where, "bilinear"), "an array of [x, y, coefficient] expected");
            for (rapidjson::SizeType i = 0; i < bilinear.Size(); ++i) {
                const std::string at = At(where, "bilinear") + "[" + std::to_string(i) + "]";
                const Json& term = bilinear[i];
                if (!term.IsArray() || term.Size() != 3) Fail(at, "[x, y, coefficient] expected");
                expression.bilinear.push_back(
                    {VariableNamed(term[0], at), VariableNamed(term[1], at), Finite(term[2], at)});
            }
        }
        return expression;
    }
    double Finite(const Json& value, const std::string& where) const {
        const double number = NumberOf(value, where);
        if (!std::isfinite(number)) Fail(where, "a finite coefficient expected");
        return number;
    }

    Constraint ReadConstraint(const Json& object, const std::string& where) const {
        Constraint constraint;
        constraint.name = Text(object, "name", where, true);
        const std::string type = Text(object, "type", where, true);
        if (type == "<=") constraint.type = RowType::LessEqual;
        else if (type == ">=") constraint.type = RowType::GreaterEqual;
        else if (type == "=") constraint.type = RowType::Equal;
        else Fail(where + ".type", "\"<=\", \">=\" or \"=\" expected");
        constraint.rhs = Number(object, "rhs", where, 0);
        if (!std::isfinite(constraint.rhs)) Fail(where + ".rhs", "a finite number expected");
        constraint.expression = ReadExpression(object, where);
        return constraint;
    }

    std::string m_file;
    std::map<std::string, int> m_variables;
};

void WriteNumber(std::ostream& out, double value) {
    if (std::isinf(value)) {
        out << (value > 0 ? "\"inf\"" : "\"-inf\"");
        return;
    }
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.write(digits, written.ptr - digits);
}

void WriteExpression(std::ostream& out, const Model& model, const Expression& expression) {
    out << "\"linear\": {";
    for (size_t i = 0; i < expression.linear.size(); ++i) {
        out << (i ? ", " : "") << '"' << model.variables[expression.linear[i].variable].name << "\": ";
        WriteNumber(out, expression.linear[i].coefficient);
    }
    out << "}";
    if (expression.bilinear.empty()) return;
    out << ", \"bilinear\": [";
    for (size_t i = 0; i < expression.bilinear.size(); ++i) {
        const Bilinear& term = expression.bilinear[i];
        out << (i ? ", " : "") << "[\"" << model.variables[term.first].name << "\", \""
            << model.variables[term.second].name << "\", ";
        WriteNumber(out, term.coefficient);
        out << "]";
    }
    out << "]";
}

}  // namespace

double Expression::Value(const std::vector<double>& x) const {
    double value = 0;
    for (const Term& term : linear) value += term.coefficient * x[term.variable];
    for (const Bilinear& term : bilinear) value += term.coefficient * x[term.first] * x[term.second];
    return value;
}

Model ReadModel(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open the file");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    rapidjson::Document document;
    document.Parse(text.c_str(), text.size());
    if (document.HasParseError())
        throw std::runtime_error(path + ": byte " + std::to_string(document.GetErrorOffset() + 1) +
                                 ": " + rapidjson::GetParseError_En(document.GetParseError()));
    return ModelReader(path).Read(document);
}

void WriteModel(const Model& model, std::ostream& out) {
    out << "{\"name\": \"" << model.name << "\",\n\"description\": \"" << model.description
        << "\",\n\"case\": " << model.caseNumber << ",\n\"sense\": \""
        << (model.maximize ? "maximize" : "minimize") << "\",\n\"variables\": [";
    for (size_t j = 0; j < model.variables.size(); ++j) {
        const VariableSpec& v = model.variables[j];
        out << (j ? ",\n " : "\n ") << "{\"name\": \"" << v.name << "\", \"lower\": ";
        WriteNumber(out, v.lower);
        out << ", \"upper\": ";
        WriteNumber(out, v.upper);
        out << ", \"start\": ";
        WriteNumber(out, v.start);
        out << "}";
    }
    out << "],\n\"objective\": {\"name\": \"" << model.objectiveName << "\", ";
    WriteExpression(out, model, model.objective);
    out << "},\n\"constraints\": [";
    for (size_t i = 0; i < model.constraints.size(); ++i) {
        const Constraint& c = model.constraints[i];
        const char* type = c.type == RowType::LessEqual ? "<=" : c.type == RowType::GreaterEqual ? ">=" : "=";
        out << (i ? ",\n " : "\n ") << "{\"name\": \"" << c.name << "\", \"type\": \"" << type
            << "\", \"rhs\": ";
        WriteNumber(out, c.rhs);
        out << ", ";
        WriteExpression(out, model, c.expression);
        out << "}";
    }
    out << "]}\n";
}

}  // namespace slp
