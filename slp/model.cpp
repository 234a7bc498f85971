// Reading and writing models in their JSON form.
#include "model.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <stdexcept>

namespace slp {
namespace {

using Json = rapidjson::Value;

// A model file holds at most this many bytes, and its arrays and objects
// nest at most this deep (the model form itself needs 4 levels).
constexpr long kModelFileLimit = 256L << 20;
constexpr int kNestingLimit = 64;
// Bounds, coefficients and right-hand sides beyond this magnitude are
// refused: the LP solver takes them for infinities or fails on them.
constexpr double kLargestNumber = 1e20;

class ModelReader {
public:
    ModelReader(std::string file) : m_file(std::move(file)) {}

    Model Read(const rapidjson::Document& document) {
        if (!document.IsObject()) Fail("", "the top level must be an object");
        Model model;
        model.name = Text(document, "name", "", true);
        model.description = Text(document, "description", "", false);
        model.caseNumber = CaseNumber(document);
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
        throw std::runtime_error(VisibleText(m_file + ": " + (where.empty() ? "" : where + ": ") + problem));
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
    int CaseNumber(const Json& document) const {
        const Json& value = Member(document, "case", "", false);
        if (value.IsNull()) return 0;
        if (!value.IsNumber() || !value.IsInt())
            Fail("case", "an integer from " + std::to_string(INT_MIN) + " to " + std::to_string(INT_MAX) + " expected");
        return value.GetInt();
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
        const double number = value.GetDouble();
        if (std::fabs(number) > kLargestNumber)
            Fail(where, "a number of magnitude at most 1e20 expected (or \"inf\", \"-inf\")");
        return number;
    }
    int VariableNamed(const Json& name, const std::string& where) const {
        if (!name.IsString()) Fail(where, "a variable name expected");
        const std::string text(name.GetString(), name.GetStringLength());
        const auto found = m_variables.find(text);
        if (found == m_variables.end()) Fail(where, "no variable is named \"" + text + "\"");
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
            if (variable.lower == kInfinity) Fail(where + ".lower", "the lower bound may not be \"inf\"");
            if (variable.upper == -kInfinity) Fail(where + ".upper", "the upper bound may not be \"-inf\"");
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
                const std::string at =
                    At(where, "linear") + "." + std::string(term.name.GetString(), term.name.GetStringLength());
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

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

}  // namespace

std::string VisibleText(const std::string& text) {
    std::string shown;
    char code[16];
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(code, sizeof code, "\\x%02X", c);
            shown += code;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(code, sizeof code, "\\xC2\\x%02X", next);
            shown += code;
            ++i;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

double Expression::Value(const std::vector<double>& x) const {
    double value = 0;
    for (const Term& term : linear) value += term.coefficient * x[term.variable];
    for (const Bilinear& term : bilinear) value += term.coefficient * x[term.first] * x[term.second];
    return value;
}

namespace {

std::string FileText(const std::string& path) {
    // Non-blocking, so that a FIFO is refused rather than waited on.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) throw std::runtime_error(path + ": cannot open the file: " + std::strerror(errno));
    struct Closer {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        throw std::runtime_error(path + ": cannot read the file: " + std::strerror(errno));
    if (!S_ISREG(status.st_mode))
        throw std::runtime_error(path + ": not a regular file (" + KindOf(status.st_mode) + ")");
    if (status.st_size > kModelFileLimit)
        throw std::runtime_error(path + ": larger than the " + std::to_string(kModelFileLimit >> 20) +
                                 " MiB a model file may hold");
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) throw std::runtime_error(path + ": cannot read the file: " + std::strerror(errno));
        if (got == 0) break;
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > static_cast<size_t>(kModelFileLimit))
            throw std::runtime_error(path + ": larger than the " + std::to_string(kModelFileLimit >> 20) +
                                     " MiB a model file may hold");
    }
    return text;
}

// The byte offset where arrays and objects nest deeper than the limit, or -1.
long DeepestNesting(const std::string& text) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kNestingLimit) return static_cast<long>(i);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return -1;
}

}  // namespace

Model ReadModel(const std::string& path) {
    const std::string text = FileText(path);
    const long tooDeep = DeepestNesting(text);
    if (tooDeep >= 0)
        throw std::runtime_error(path + ": byte " + std::to_string(tooDeep + 1) + ": arrays and objects nested deeper than " +
                                 std::to_string(kNestingLimit) + " levels");
    rapidjson::Document document;
    // Full precision: every number reads back as the double written, so a
    // model run from its file is the model that was written.
    document.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseFullPrecisionFlag>(text.c_str(), text.size());
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
