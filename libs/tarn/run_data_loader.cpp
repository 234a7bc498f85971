// The run-data file loader.
//
// The file is read whole into memory and parsed with RapidJSON's SAX reader,
// numbers delivered as their raw text.  The reader recurses once per level
// of nesting, but only after the handler has accepted the level; the handler
// refuses any level beyond the format's own depth plus a small margin, so
// the recursion stays shallow whatever the file holds.  The handler below walks a fixed description of the format,
// checks every value as it arrives and stores it straight into the objects
// the libraries keep, so no document tree is built.  Checks that need the
// number of variables and equations wait until the model is known.
//
// The first problem found ends the load.  After it the handler only looks
// for the top-level "format" and "version" members: a file of another format
// or version is reported as such even when its first problem comes earlier.
#include "run_data_loader.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include <rapidjson/error/error.h>
#include <rapidjson/stream.h>
#include <rapidjson/reader.h>

namespace tarn {
namespace {

constexpr const char* kFormatName = "tarn-vdr";
constexpr std::int64_t kSupportedVersion = 1;
constexpr size_t kDateMaxBytes = 30;
constexpr size_t kMostInfeasibleMaxBytes = IterationData::kFeasRowNameSize - 1;
constexpr std::int64_t kMaxArrayEntries = INT_MAX - 1;

// ---------------------------------------------------------------------------
// The format, as a table of object members and array elements.

enum class Ctx : std::uint8_t {
    Root, Case, Model, Variables, Variable, Equations, Equation, Matrix, MatrixEntry,
    ModelOptions, Solver, SolverOptions, Lp, LpOptions, Diagnosis, DiagEquations,
    DiagVariables, Iterations, Iteration, Errors, Warnings, Information,
    VariableTriples, VariableTriple, EquationTriples, EquationTriple, None
};

enum class Kind : std::uint8_t { Text, Number, Integer, Bool, BoolOrInteger, Object, Array, OptionMap };

struct Field {
    const char* name;
    Kind kind;
    Ctx child;  // for Object, Array and OptionMap
    bool required;
    std::int64_t min;
    std::int64_t max;
};

constexpr std::int64_t kI16Min = -32768, kI16Max = 32767;
constexpr std::int64_t kI32Min = INT_MIN, kI32Max = INT_MAX;
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();

#define TEXT(n, req) {n, Kind::Text, Ctx::None, req, 0, 0}
#define NUMBER(n) {n, Kind::Number, Ctx::None, false, 0, 0}
#define INTEGER(n, lo, hi) {n, Kind::Integer, Ctx::None, false, lo, hi}
#define CHILD(n, kind, ctx, req) {n, Kind::kind, Ctx::ctx, req, 0, 0}

// Member indexes below follow these tables.
const Field kRootFields[] = {
    TEXT("format", true), {"version", Kind::Integer, Ctx::None, true, kI64Min, kI64Max},
    CHILD("case", Object, Case, true), CHILD("model", Object, Model, true),
    CHILD("solver", Object, Solver, false), CHILD("lp", Object, Lp, false),
    CHILD("iterations", Array, Iterations, true)};
enum { kRootFormat, kRootVersion };

const Field kCaseFields[] = {INTEGER("number", kI32Min, kI32Max), TEXT("description", false),
                             TEXT("date", false), TEXT("status", false)};
enum { kCaseNumber, kCaseDescription, kCaseDate, kCaseStatus };

const Field kModelFields[] = {TEXT("name", true), CHILD("variables", Array, Variables, true),
                              CHILD("equations", Array, Equations, true),
                              CHILD("matrix", Array, Matrix, false),
                              CHILD("options", OptionMap, ModelOptions, false)};
enum { kModelName, kModelVariables, kModelEquations, kModelMatrix, kModelOptions };

const Field kVariableFields[] = {TEXT("name", true), NUMBER("lower"), NUMBER("upper"),
                                 INTEGER("type", kI16Min, kI16Max),
                                 INTEGER("status", kI16Min, kI16Max), NUMBER("value")};
enum { kVarName, kVarLower, kVarUpper, kVarType, kVarStatus, kVarValue };

const Field kEquationFields[] = {
    TEXT("name", true),   INTEGER("type", kI16Min, kI16Max), NUMBER("rhs"), NUMBER("value"),
    NUMBER("scale"),      NUMBER("diag"),
    {"nonlinear", Kind::BoolOrInteger, Ctx::None, false, kI32Min, kI32Max}};
enum { kEqnName, kEqnType, kEqnRhs, kEqnValue, kEqnScale, kEqnDiag, kEqnNonlinear };

const Field kSolverFields[] = {NUMBER("feasibility_tolerance"), NUMBER("delta_tolerance_1"),
                               NUMBER("delta_tolerance_2"),
                               CHILD("options", OptionMap, SolverOptions, false)};
enum { kSolverFeasTol, kSolverDelta1, kSolverDelta2 };

const Field kLpFields[] = {INTEGER("status", kI32Min, kI32Max),
                           CHILD("options", OptionMap, LpOptions, false),
                           CHILD("diagnosis", Object, Diagnosis, false)};
enum { kLpStatus };

const Field kDiagnosisFields[] = {CHILD("equations", Array, DiagEquations, false),
                                  CHILD("variables", Array, DiagVariables, false)};

const Field kIterationFields[] = {
    INTEGER("iter", kI32Min, kI32Max),
    INTEGER("nl_variables", kI32Min, kI32Max),
    INTEGER("nl_equations", kI32Min, kI32Max),
    {"feasible", Kind::Bool, Ctx::None, false, 0, 0},
    NUMBER("p_function"),
    NUMBER("nonlinearity_ratio"),
    NUMBER("objective"),
    NUMBER("user_objective"),
    NUMBER("infeasibility"),
    NUMBER("objective_convergence"),
    NUMBER("residual_convergence"),
    NUMBER("variable_convergence"),
    TEXT("most_infeasible", false),
    CHILD("errors", Array, Errors, false),
    CHILD("warnings", Array, Warnings, false),
    CHILD("information", Array, Information, false),
    CHILD("variables", Array, VariableTriples, true),
    CHILD("equations", Array, EquationTriples, true)};
enum {
    kItIter, kItNlVariables, kItNlEquations, kItFeasible, kItPFunction, kItNonlinRatio,
    kItObjective, kItUserObjective, kItInfeasibility, kItObjConv, kItResConv, kItVarConv,
    kItMostInfeasible
};

// Array elements: one Field per array (position 0 for all elements), three
// for the fixed-length matrix entry and triples.
const Field kVariableElement = CHILD("", Object, Variable, false);
const Field kEquationElement = CHILD("", Object, Equation, false);
const Field kMatrixElement = CHILD("", Array, MatrixEntry, false);
// Item numbers are checked against the model, not here.
const Field kMatrixEntryElements[] = {INTEGER("", kI32Min, kI32Max),
                                      INTEGER("", kI32Min, kI32Max), NUMBER("")};
const Field kItemNumberElement = INTEGER("", kI32Min, kI32Max);
const Field kIterationElement = CHILD("", Object, Iteration, false);
const Field kMessageElement = TEXT("", false);
const Field kVariableTripleElement = CHILD("", Array, VariableTriple, false);
const Field kEquationTripleElement = CHILD("", Array, EquationTriple, false);
const Field kTripleElement = NUMBER("");
const Field kOptionValue = {"", Kind::Text, Ctx::None, false, 0, 0};  // text or number

#undef TEXT
#undef NUMBER
#undef INTEGER
#undef CHILD

struct FieldTable {
    const Field* fields;
    size_t count;
};

template <size_t N>
constexpr FieldTable Table(const Field (&fields)[N]) {
    return {fields, N};
}

FieldTable ObjectFields(Ctx ctx) {
    switch (ctx) {
        case Ctx::Root: return Table(kRootFields);
        case Ctx::Case: return Table(kCaseFields);
        case Ctx::Model: return Table(kModelFields);
        case Ctx::Variable: return Table(kVariableFields);
        case Ctx::Equation: return Table(kEquationFields);
        case Ctx::Solver: return Table(kSolverFields);
        case Ctx::Lp: return Table(kLpFields);
        case Ctx::Diagnosis: return Table(kDiagnosisFields);
        case Ctx::Iteration: return Table(kIterationFields);
        default: return {nullptr, 0};
    }
}

bool IsOptionMap(Ctx ctx) {
    return ctx == Ctx::ModelOptions || ctx == Ctx::SolverOptions || ctx == Ctx::LpOptions;
}

bool IsTuple(Ctx ctx) {
    return ctx == Ctx::MatrixEntry || ctx == Ctx::VariableTriple || ctx == Ctx::EquationTriple;
}

const Field* ElementField(Ctx ctx, std::int64_t position) {
    switch (ctx) {
        case Ctx::Variables: return &kVariableElement;
        case Ctx::Equations: return &kEquationElement;
        case Ctx::Matrix: return &kMatrixElement;
        case Ctx::MatrixEntry: return &kMatrixEntryElements[std::min<std::int64_t>(position, 2)];
        case Ctx::DiagEquations:
        case Ctx::DiagVariables: return &kItemNumberElement;
        case Ctx::Iterations: return &kIterationElement;
        case Ctx::Errors:
        case Ctx::Warnings:
        case Ctx::Information: return &kMessageElement;
        case Ctx::VariableTriples: return &kVariableTripleElement;
        case Ctx::EquationTriples: return &kEquationTripleElement;
        case Ctx::VariableTriple:
        case Ctx::EquationTriple: return &kTripleElement;
        default: return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Texts for messages.

// A text from the file, quoted, with control bytes escaped and cut to a
// readable length (never inside a UTF-8 sequence).
std::string Quote(std::string_view text) {
    constexpr size_t kMaxShown = 60;
    size_t shown = text.size();
    bool cut = false;
    if (shown > kMaxShown) {
        shown = kMaxShown;
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) --shown;
        cut = true;
    }
    std::string out = "\"";
    for (size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += cut ? "\"..." : "\"";
    return out;
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Text: return "a text";
        case Kind::Number: return "a number";
        case Kind::Integer: return "an integer";
        case Kind::Bool: return "true or false";
        case Kind::BoolOrInteger: return "true, false or an integer";
        case Kind::Object:
        case Kind::OptionMap: return "an object";
        case Kind::Array: return "an array";
    }
    return "a value";
}

bool IsIdentifier(std::string_view key) {
    if (key.empty()) return false;
    for (char c : key) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_'))
            return false;
    }
    return true;
}

// A lone low surrogate escape (\udc00 to \udfff) reaches the handler as
// the bytes ED B0..BF xx, which are not UTF-8.  Raw bytes of that form are
// refused by the reader's encoding check and a lone high surrogate by its
// escape check, so only such an escape can put them into a text.
bool HasLoneSurrogate(std::string_view text) {
    for (size_t i = text.find('\xED'); i != std::string_view::npos; i = text.find('\xED', i + 1)) {
        if (i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0) return true;
    }
    return false;
}

// Names (of the model, its variables and equations) are identifiers: a
// control character would break the report's lines, and a leading '#' or
// '?' would read as the report's markup where a name starts a line.
std::string NameProblem(std::string_view name) {
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "a name may not contain a control character (U+0000 to U+001F, U+007F), found " +
                   Quote(name);
    }
    if (!name.empty() && (name[0] == '#' || name[0] == '?'))
        return "a name may not begin with '#' or '?', found " + Quote(name);
    return std::string();
}

constexpr const char* kLoneSurrogate =
    "a text may not contain an unpaired surrogate escape (\\udc00 to \\udfff)";

// ---------------------------------------------------------------------------
// Numbers.

// A number's text for a message, cut to a readable length.
std::string ShownNumber(std::string_view text) {
    constexpr size_t kMaxShown = 40;
    if (text.size() <= kMaxShown) return std::string(text);
    return std::string(text.substr(0, kMaxShown)) + "...";
}

// A JSON number's text as a double.  Values too large for a double are
// refused; values too small become zero, as strtod makes them.
bool ParseDouble(std::string_view text, double& value) {
    // Fast path: at most 15 significant digits and a power of ten up to 22
    // are both exact doubles, so one division or multiplication rounds
    // correctly (most numbers in run data are of this kind).
    {
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        size_t i = 0;
        const bool negative = !text.empty() && text[0] == '-';
        if (negative) ++i;
        std::uint64_t mantissa = 0;
        int digits = 0, scale = 0;
        bool point = false, simple = i < text.size();
        for (; i < text.size() && simple; ++i) {
            const char c = text[i];
            if (c >= '0' && c <= '9') {
                if (mantissa != 0 || c != '0') ++digits;
                mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
                if (point) --scale;
                if (digits > 15) simple = false;
            } else if (c == '.' && !point) {
                point = true;
            } else if (c == 'e' || c == 'E') {
                break;
            } else {
                simple = false;
            }
        }
        if (simple && i < text.size()) {  // an exponent of at most three digits
            ++i;
            bool expNegative = false;
            if (i < text.size() && (text[i] == '-' || text[i] == '+')) expNegative = text[i++] == '-';
            int exponent = 0, expDigits = 0;
            for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && expDigits < 4; ++i, ++expDigits)
                exponent = exponent * 10 + (text[i] - '0');
            if (i != text.size() || expDigits == 0 || expDigits > 3) simple = false;
            scale += expNegative ? -exponent : exponent;
        }
        if (simple && scale >= -22 && scale <= 22) {
            const double m = static_cast<double>(mantissa);
            const double v = scale < 0 ? m / kPowers[-scale] : m * kPowers[scale];
            value = negative ? -v : v;
            return true;
        }
    }
    const char* first = text.data();
    const char* last = first + text.size();
    auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc() && result.ptr == last) return true;
    if (result.ec != std::errc::result_out_of_range) return false;
    // Out of range: estimate the decimal exponent of the leading digit.
    const bool negative = !text.empty() && text[0] == '-';
    std::int64_t exponent = 0;
    const size_t e = text.find_first_of("eE");
    if (e != std::string_view::npos) {
        std::string_view digits = text.substr(e + 1);
        bool expNegative = false;
        if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
            expNegative = digits[0] == '-';
            digits.remove_prefix(1);
        }
        for (char c : digits) exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), 1000000);
        if (expNegative) exponent = -exponent;
    }
    const size_t mantissaStart = negative ? 1 : 0;
    const size_t mantissaEnd = e == std::string_view::npos ? text.size() : e;
    const std::string_view mantissa = text.substr(mantissaStart, mantissaEnd - mantissaStart);
    const size_t point = std::min(mantissa.find('.'), mantissa.size());
    std::int64_t lead = 0;  // power of ten of the first non-zero digit
    bool found = false;
    for (size_t i = 0; i < mantissa.size() && !found; ++i) {
        if (mantissa[i] >= '1' && mantissa[i] <= '9') {
            lead = i < point ? static_cast<std::int64_t>(point - i - 1)
                             : -static_cast<std::int64_t>(i - point);
            found = true;
        }
    }
    if (found && lead + exponent >= 0) return false;  // too large
    value = negative ? -0.0 : 0.0;
    return true;
}

// ---------------------------------------------------------------------------
// The handler.

struct Frame {
    Frame(Ctx c, bool array) : ctx(c), isArray(array) {}
    Ctx ctx;
    bool isArray;
    std::uint64_t seen = 0;        // members given, by table index
    int field = -1;                // table index of the current member
    std::int64_t count = 0;        // array: elements so far
    std::string key;               // option map: the current option name
};

// Hash and equality of item names by position in a record vector, so that
// the set survives the vector growing.
template <class Record>
struct NameHash {
    const std::vector<Record>* records;
    size_t operator()(size_t i) const { return std::hash<std::string_view>()((*records)[i].name); }
};
template <class Record>
struct NameEqual {
    const std::vector<Record>* records;
    bool operator()(size_t a, size_t b) const { return (*records)[a].name == (*records)[b].name; }
};
template <class Record>
using NameSet = std::unordered_set<size_t, NameHash<Record>, NameEqual<Record>>;

// The same for option names.
using OptionList = std::vector<std::pair<std::string, std::string>>;
struct OptionHash {
    const OptionList* options;
    size_t operator()(size_t i) const { return std::hash<std::string>()((*options)[i].first); }
};
struct OptionEqual {
    const OptionList* options;
    bool operator()(size_t a, size_t b) const { return (*options)[a].first == (*options)[b].first; }
};
using OptionNameSet = std::unordered_set<size_t, OptionHash, OptionEqual>;

class Handler {
public:
    explicit Handler(LoadedRun& run)
        : m_run(run),
          m_variableNames(16, NameHash<veldxmps::VariableRecord>{&run.model.variables},
                          NameEqual<veldxmps::VariableRecord>{&run.model.variables}),
          m_equationNames(16, NameHash<veldxmps::EquationRecord>{&run.model.equations},
                          NameEqual<veldxmps::EquationRecord>{&run.model.equations}),
          m_modelOptionNames(16, OptionHash{&run.model.options}, OptionEqual{&run.model.options}),
          m_solverOptionNames(16, OptionHash{&run.solverOptions}, OptionEqual{&run.solverOptions}),
          m_lpOptionNames(16, OptionHash{&run.lpOptions}, OptionEqual{&run.lpOptions}) {
        m_stack.reserve(8);
    }

    bool Failed() const { return m_failed; }

    // The problem to report: a wrong format or version first, as they
    // explain every other problem; then the first problem met.
    const std::string& Problem() const {
        if (!m_formatProblem.empty()) return m_formatProblem;
        if (!m_versionProblem.empty()) return m_versionProblem;
        return m_problem;
    }

    // Checks that wait for the whole document, and the defaults that depend
    // on other members.  Returns false with Problem() set on failure.
    bool Finish();

    // The path of the value the reader was about to deliver when it stopped
    // (used for numbers the reader itself refuses).
    std::string PendingValuePath() {
        if (m_stack.empty() || !m_stack.back().isArray) return ValuePath();
        ++m_stack.back().count;
        std::string path = ValuePath();
        --m_stack.back().count;
        return path;
    }

    // --- SAX events -------------------------------------------------------
    bool Null();
    bool Bool(bool b);
    // Numbers arrive as text (kParseNumbersAsStringsFlag); these never come.
    bool Int(int) { return Internal(); }
    bool Uint(unsigned) { return Internal(); }
    bool Int64(std::int64_t) { return Internal(); }
    bool Uint64(std::uint64_t) { return Internal(); }
    bool Double(double) { return Internal(); }
    bool RawNumber(const char* str, rapidjson::SizeType length, bool copy);
    bool String(const char* str, rapidjson::SizeType length, bool copy);
    bool StartObject();
    bool Key(const char* str, rapidjson::SizeType length, bool copy);
    bool EndObject(rapidjson::SizeType members);
    bool StartArray();
    bool EndArray(rapidjson::SizeType elements);

private:
    // The member or element about to be read; null when none may come.
    const Field* Expected();
    std::string Path(size_t depth) const;
    std::string ValuePath() const { return Path(m_stack.size()); }
    std::string ContainerPath() const { return Path(m_stack.empty() ? 0 : m_stack.size() - 1); }

    bool Fail(const std::string& path, const std::string& problem, int depthChange = 0);
    bool Mismatch(const char* found, int depthChange = 0);
    bool Internal() { return Fail(ValuePath(), "unexpected value", 0); }

    bool StoreText(std::string_view text);
    bool StoreNumber(const Field& field, double value);
    bool StoreInteger(const Field& field, std::int64_t value);
    bool StoreOption(std::string_view value);
    bool EndOfObject();
    bool EndOfArray();
    bool CheckMatrix();
    bool CheckDiagnosis();
    bool CheckTripleCount(size_t iteration, bool variables);

    // Skipping after the first problem: only depth and the top-level format
    // and version members are followed.
    bool SkipScalar() { return SkipContinue(); }
    bool SkipContinue() const {
        return m_formatProblem.empty() && !(m_formatSeen && m_versionSeen) &&
               m_skipDepth <= kMaxSkipDepth;
    }
    static constexpr int kMaxSkipDepth = 64;

    veldxmps::VariableRecord& Var() { return m_run.model.variables.back(); }
    veldxmps::EquationRecord& Eqn() { return m_run.model.equations.back(); }
    CTARNIterationData& Iter() { return *m_run.iterations.back(); }
    CTARNIterationSolution& Solution() { return *m_run.solutions.back(); }

    LoadedRun& m_run;
    std::vector<Frame> m_stack;
    bool m_failed = false;
    std::string m_problem, m_formatProblem, m_versionProblem;
    int m_skipDepth = 0;
    int m_skipMember = -1;  // top-level member being skipped: kRootFormat, kRootVersion or -1
    bool m_formatSeen = false, m_versionSeen = false;

    bool m_modelDone = false;
    bool m_lpChecked = true;
    std::vector<char> m_valueGiven;  // per variable: "value" member present
    bool m_userObjectiveGiven = false;
    NameSet<veldxmps::VariableRecord> m_variableNames;
    NameSet<veldxmps::EquationRecord> m_equationNames;
    OptionNameSet m_modelOptionNames, m_solverOptionNames, m_lpOptionNames;
};

std::string Handler::Path(size_t depth) const {
    std::string path;
    for (size_t i = 0; i < depth && i < m_stack.size(); ++i) {
        const Frame& f = m_stack[i];
        if (f.isArray) {
            path += '[';
            path += std::to_string(f.count > 0 ? f.count - 1 : 0);
            path += ']';
            continue;
        }
        std::string_view key;
        if (IsOptionMap(f.ctx)) {
            key = f.key;
        } else if (f.field >= 0) {
            key = ObjectFields(f.ctx).fields[f.field].name;
        }
        if (IsOptionMap(f.ctx) && !IsIdentifier(key)) {
            path += '[';
            path += Quote(key);
            path += ']';
        } else {
            if (!path.empty()) path += '.';
            path += key;
        }
    }
    return path;
}

bool Handler::Fail(const std::string& path, const std::string& problem, int depthChange) {
    if (!m_failed) {
        m_failed = true;
        m_problem = path.empty() ? problem : path + ": " + problem;
        m_skipDepth = static_cast<int>(m_stack.size()) + depthChange;
        m_skipMember = -1;
    }
    return SkipContinue();
}

bool Handler::Mismatch(const char* found, int depthChange) {
    const Field* field = Expected();
    if (m_stack.empty())
        return Fail("", std::string("the top level must be an object, not ") + found, depthChange);
    if (field == nullptr) return Fail(ValuePath(), std::string("unexpected ") + found, depthChange);
    if (IsOptionMap(m_stack.back().ctx))
        return Fail(ValuePath(), std::string("a text or a number expected, found ") + found,
                    depthChange);
    return Fail(ValuePath(), std::string(KindName(field->kind)) + " expected, found " + found,
                depthChange);
}

const Field* Handler::Expected() {
    if (m_stack.empty()) return nullptr;
    Frame& top = m_stack.back();
    if (top.isArray) return ElementField(top.ctx, top.count - 1);
    if (IsOptionMap(top.ctx)) return &kOptionValue;
    if (top.field < 0) return nullptr;
    return &ObjectFields(top.ctx).fields[top.field];
}

// Called at the start of every value: arrays count their elements here, so
// that paths name the element being read.
#define VALUE_START(depthChange)                                                    \
    do {                                                                            \
        if (!m_stack.empty() && m_stack.back().isArray) {                           \
            Frame& arr = m_stack.back();                                            \
            if (arr.count >= kMaxArrayEntries)                                      \
                return Fail(ContainerPath(), "too many entries", depthChange);      \
            ++arr.count;                                                            \
        }                                                                           \
    } while (0)

bool Handler::Null() {
    if (m_failed) return SkipScalar();
    VALUE_START(0);
    return Mismatch("null");
}

bool Handler::Bool(bool b) {
    if (m_failed) return SkipScalar();
    VALUE_START(0);
    const Field* field = Expected();
    if (field == nullptr || (field->kind != Kind::Bool && field->kind != Kind::BoolOrInteger) ||
        IsOptionMap(m_stack.back().ctx))
        return Mismatch(b ? "true" : "false");
    const Frame& top = m_stack.back();
    if (top.ctx == Ctx::Equation) Eqn().nonlinear = b ? 1 : 0;
    else if (top.ctx == Ctx::Iteration) Iter().SetFeasStatus(b);
    return true;
}

bool Handler::RawNumber(const char* str, rapidjson::SizeType length, bool) {
    const std::string_view text(str, length);
    if (m_failed) {
        if (m_skipDepth == 1 && m_skipMember == kRootVersion) {
            m_versionSeen = true;
            std::int64_t v = 0;
            auto r = std::from_chars(text.data(), text.data() + text.size(), v);
            if (r.ec == std::errc() && r.ptr == text.data() + text.size() && v != kSupportedVersion)
                m_versionProblem = "version: version " + std::string(text) +
                                   " is not supported; this library reads version " +
                                   std::to_string(kSupportedVersion);
        }
        m_skipMember = -1;
        return SkipScalar();
    }
    if (!m_stack.empty()) {
        // The bulk of a file: the numbers of the triples.
        Frame& top = m_stack.back();
        if ((top.ctx == Ctx::VariableTriple || top.ctx == Ctx::EquationTriple) && top.count < 3) {
            ++top.count;
            double value = 0;
            if (!ParseDouble(text, value))
                return Fail(ValuePath(), "the number " + ShownNumber(text) + " is out of range");
            (top.ctx == Ctx::VariableTriple ? Solution().m_variableTriples
                                            : Solution().m_equationTriples)
                .push_back(value);
            return true;
        }
    }
    VALUE_START(0);
    const Field* field = Expected();
    if (field == nullptr) return Mismatch("a number");
    if (IsOptionMap(m_stack.back().ctx)) {
        // Kept as written, but like every number in the file it must fit a double.
        double value = 0;
        if (!ParseDouble(text, value))
            return Fail(ValuePath(), "the number " + ShownNumber(text) + " is out of range");
        return StoreOption(text);
    }
    if (field->kind == Kind::Number) {
        double value = 0;
        if (!ParseDouble(text, value))
            return Fail(ValuePath(), "the number " + ShownNumber(text) + " is out of range");
        return StoreNumber(*field, value);
    }
    if (field->kind == Kind::Integer || field->kind == Kind::BoolOrInteger) {
        if (text.find_first_of(".eE") != std::string_view::npos)
            return Fail(ValuePath(), "an integer expected, found " + ShownNumber(text));
        std::int64_t value = 0;
        auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || value < field->min ||
            value > field->max)
            return Fail(ValuePath(), "the integer " + ShownNumber(text) + " is out of range (" +
                                         std::to_string(field->min) + " to " +
                                         std::to_string(field->max) + ")");
        return StoreInteger(*field, value);
    }
    return Mismatch("a number");
}

bool Handler::String(const char* str, rapidjson::SizeType length, bool) {
    const std::string_view text(str, length);
    if (m_failed) {
        if (m_skipDepth == 1 && m_skipMember == kRootFormat) {
            m_formatSeen = true;
            if (text != kFormatName)
                m_formatProblem = "format: " + Quote(text) + " is not a run-data file format (\"" +
                                  kFormatName + "\" expected)";
        }
        m_skipMember = -1;
        return SkipScalar();
    }
    VALUE_START(0);
    const Field* field = Expected();
    if (field == nullptr) return Mismatch("a text");
    if (std::memchr(text.data(), '\0', text.size()) != nullptr)
        return Fail(ValuePath(), "a text may not contain a NUL character (\\u0000)");
    if (HasLoneSurrogate(text)) return Fail(ValuePath(), kLoneSurrogate);
    if (IsOptionMap(m_stack.back().ctx)) return StoreOption(text);
    if (field->kind == Kind::Number) {
        double value;
        if (text == "inf" || text == "+inf") value = std::numeric_limits<double>::infinity();
        else if (text == "-inf") value = -std::numeric_limits<double>::infinity();
        else if (text == "nan") value = std::copysign(std::numeric_limits<double>::quiet_NaN(), 1.0);
        else
            return Fail(ValuePath(), "a number expected, found the text " + Quote(text) +
                                         " (the texts \"inf\", \"+inf\", \"-inf\" and \"nan\" "
                                         "stand for the non-finite numbers)");
        return StoreNumber(*field, value);
    }
    if (field->kind != Kind::Text) return Mismatch("a text");
    return StoreText(text);
}

bool Handler::StartObject() {
    if (m_failed) {
        m_skipMember = -1;
        ++m_skipDepth;
        return SkipContinue();
    }
    if (m_stack.empty()) {
        m_stack.push_back(Frame(Ctx::Root, false));
        return true;
    }
    VALUE_START(1);
    const Field* field = Expected();
    if (field == nullptr || (field->kind != Kind::Object && field->kind != Kind::OptionMap) ||
        IsOptionMap(m_stack.back().ctx))
        return Mismatch("an object", 1);
    const Ctx ctx = field->child;
    switch (ctx) {
        case Ctx::Variable:
            m_run.model.variables.emplace_back();
            m_valueGiven.push_back(0);
            break;
        case Ctx::Equation: m_run.model.equations.emplace_back(); break;
        case Ctx::Iteration: {
            m_run.solutions.push_back(std::make_unique<CTARNIterationSolution>());
            m_run.iterations.push_back(std::make_unique<CTARNIterationData>());
            Iter().m_solution = m_run.solutions.back().get();
            Iter().SetIter(static_cast<int>(m_stack.back().count - 1));
            m_userObjectiveGiven = false;
            break;
        }
        case Ctx::ModelOptions: m_run.model.hasOptions = true; break;
        default: break;
    }
    m_stack.push_back(Frame(ctx, false));
    return true;
}

bool Handler::Key(const char* str, rapidjson::SizeType length, bool) {
    const std::string_view key(str, length);
    if (m_failed) {
        if (m_skipDepth == 1)
            m_skipMember = key == "format" ? kRootFormat : key == "version" ? kRootVersion : -1;
        return SkipContinue();
    }
    Frame& top = m_stack.back();
    if (HasLoneSurrogate(key)) {
        top.key.clear();
        top.field = -1;
        return Fail(ContainerPath(), kLoneSurrogate);
    }
    if (IsOptionMap(top.ctx)) {
        top.key.assign(key);
        if (key.empty()) return Fail(ValuePath(), "an option name may not be empty");
        if (std::memchr(key.data(), '\0', key.size()) != nullptr)
            return Fail(ValuePath(), "an option name may not contain a NUL character (\\u0000)");
        return true;  // a name given twice is found by StoreOption
    }
    const FieldTable table = ObjectFields(top.ctx);
    for (size_t i = 0; i < table.count; ++i) {
        if (key == table.fields[i].name) {
            top.field = static_cast<int>(i);
            if (top.seen & (std::uint64_t{1} << i))
                return Fail(ValuePath(), "the key is given twice");
            top.seen |= std::uint64_t{1} << i;
            return true;
        }
    }
    top.field = -1;
    const std::string where = ContainerPath();
    return Fail(where, "unknown key " + Quote(key));
}

bool Handler::EndObject(rapidjson::SizeType) {
    if (m_failed) {
        --m_skipDepth;
        return SkipContinue();
    }
    return EndOfObject();
}

bool Handler::StartArray() {
    if (m_failed) {
        m_skipMember = -1;
        ++m_skipDepth;
        return SkipContinue();
    }
    if (m_stack.empty()) return Mismatch("an array", 1);
    VALUE_START(1);
    const Field* field = Expected();
    if (field == nullptr || field->kind != Kind::Array || IsOptionMap(m_stack.back().ctx))
        return Mismatch("an array", 1);
    const Ctx ctx = field->child;
    switch (ctx) {
        case Ctx::MatrixEntry: m_run.model.matrix.push_back({0, 0, 0.0}); break;
        case Ctx::VariableTriples:
            if (m_modelDone) Solution().m_variableTriples.reserve(3 * m_run.model.variables.size());
            break;
        case Ctx::EquationTriples:
            if (m_modelDone) Solution().m_equationTriples.reserve(3 * m_run.model.equations.size());
            break;
        default: break;
    }
    m_stack.push_back(Frame(ctx, true));
    return true;
}

bool Handler::EndArray(rapidjson::SizeType) {
    if (m_failed) {
        --m_skipDepth;
        return SkipContinue();
    }
    return EndOfArray();
}

bool Handler::StoreText(std::string_view text) {
    const Frame& top = m_stack.back();
    switch (top.ctx) {
        case Ctx::Root:
            // kRootFormat is the only text at the top level.
            m_formatSeen = true;
            if (text != kFormatName) {
                const std::string problem = Quote(text) +
                                            " is not a run-data file format (\"" + kFormatName +
                                            "\" expected)";
                m_formatProblem = "format: " + problem;
                return Fail(ValuePath(), problem);
            }
            return true;
        case Ctx::Case:
            if (top.field == kCaseDescription) m_run.description.assign(text);
            else if (top.field == kCaseStatus) m_run.status.assign(text);
            else if (top.field == kCaseDate) {
                if (text.size() > kDateMaxBytes)
                    return Fail(ValuePath(), "the date is " + std::to_string(text.size()) +
                                                 " bytes long, at most " +
                                                 std::to_string(kDateMaxBytes) + " are allowed");
                if (text.find_first_of("\r\n") != std::string_view::npos)
                    return Fail(ValuePath(), "the date may not contain a line break");
                m_run.date.assign(text);
            }
            return true;
        case Ctx::Model:
            if (const std::string problem = NameProblem(text); !problem.empty())
                return Fail(ValuePath(), problem);
            m_run.model.name.assign(text);
            return true;
        case Ctx::Variable: {
            if (text.empty()) return Fail(ValuePath(), "a variable name may not be empty");
            if (const std::string problem = NameProblem(text); !problem.empty())
                return Fail(ValuePath(), problem);
            Var().name.assign(text);
            const size_t index = m_run.model.variables.size() - 1;
            auto [it, inserted] = m_variableNames.insert(index);
            if (!inserted)
                return Fail(ValuePath(), "the name " + Quote(text) +
                                             " is already the name of model.variables[" +
                                             std::to_string(*it) + "]");
            return true;
        }
        case Ctx::Equation: {
            if (text.empty()) return Fail(ValuePath(), "an equation name may not be empty");
            if (const std::string problem = NameProblem(text); !problem.empty())
                return Fail(ValuePath(), problem);
            Eqn().name.assign(text);
            const size_t index = m_run.model.equations.size() - 1;
            auto [it, inserted] = m_equationNames.insert(index);
            if (!inserted)
                return Fail(ValuePath(), "the name " + Quote(text) +
                                             " is already the name of model.equations[" +
                                             std::to_string(*it) + "]");
            return true;
        }
        case Ctx::Iteration:
            if (text.size() > kMostInfeasibleMaxBytes)
                return Fail(ValuePath(), "the name is " + std::to_string(text.size()) +
                                             " bytes long, at most " +
                                             std::to_string(kMostInfeasibleMaxBytes) +
                                             " are allowed");
            Iter().SetFeasRowName(std::string(text).c_str());
            return true;
        case Ctx::Errors: Iter().errorMessages.Add(std::string(text)); return true;
        case Ctx::Warnings: Iter().warningMessages.Add(std::string(text)); return true;
        case Ctx::Information: Iter().infoMessages.Add(std::string(text)); return true;
        default: break;
    }
    return Internal();
}

bool Handler::StoreNumber(const Field&, double value) {
    Frame& top = m_stack.back();
    switch (top.ctx) {
        case Ctx::Variable:
            switch (top.field) {
                case kVarLower: Var().lower = value; break;
                case kVarUpper: Var().upper = value; break;
                case kVarValue:
                    Var().value = value;
                    m_valueGiven.back() = 1;
                    break;
            }
            return true;
        case Ctx::Equation:
            switch (top.field) {
                case kEqnRhs: Eqn().rhs = value; break;
                case kEqnValue: Eqn().value = value; break;
                case kEqnScale: Eqn().scale = value; break;
                case kEqnDiag: Eqn().diag = value; break;
            }
            return true;
        case Ctx::MatrixEntry: m_run.model.matrix.back().coefficient = value; return true;
        case Ctx::Solver:
            switch (top.field) {
                case kSolverFeasTol: m_run.feasTolerance = value; break;
                case kSolverDelta1: m_run.deltaTolerance1 = value; break;
                case kSolverDelta2: m_run.deltaTolerance2 = value; break;
            }
            return true;
        case Ctx::Iteration: {
            CTARNIterationData& it = Iter();
            switch (top.field) {
                case kItPFunction: it.SetPFunction(value); break;
                case kItNonlinRatio: it.SetNonLinRatio(value); break;
                case kItObjective: it.SetObjValue(value); break;
                case kItUserObjective:
                    it.SetUserObj(value);
                    m_userObjectiveGiven = true;
                    break;
                case kItInfeasibility: it.SetFeasValue(value); break;
                case kItObjConv: it.SetObjConvFunc(value); break;
                case kItResConv: it.SetResConvFunc(value); break;
                case kItVarConv: it.SetVarConvFunc(value); break;
            }
            return true;
        }
        case Ctx::VariableTriple:
        case Ctx::EquationTriple: {
            if (top.count > 3) return true;  // the length check at the end reports it
            std::vector<double>& triples = top.ctx == Ctx::VariableTriple
                                               ? Solution().m_variableTriples
                                               : Solution().m_equationTriples;
            triples.push_back(value);
            return true;
        }
        default: break;
    }
    return Internal();
}

bool Handler::StoreInteger(const Field&, std::int64_t value) {
    Frame& top = m_stack.back();
    const int v = static_cast<int>(value);  // the field's range has been checked
    switch (top.ctx) {
        case Ctx::Root:  // kRootVersion
            m_versionSeen = true;
            if (value != kSupportedVersion) {
                const std::string problem = "version " + std::to_string(value) +
                                            " is not supported; this library reads version " +
                                            std::to_string(kSupportedVersion);
                m_versionProblem = "version: " + problem;
                return Fail(ValuePath(), problem);
            }
            return true;
        case Ctx::Case: m_run.caseNumber = v; return true;
        case Ctx::Variable:
            if (top.field == kVarType) Var().type = static_cast<short>(v);
            else Var().status = static_cast<short>(v);
            return true;
        case Ctx::Equation:
            if (top.field == kEqnType) Eqn().type = static_cast<short>(v);
            else Eqn().nonlinear = v;
            return true;
        case Ctx::MatrixEntry:
            if (top.count == 1) m_run.model.matrix.back().equation = v;
            else m_run.model.matrix.back().variable = v;
            return true;
        case Ctx::Lp: m_run.lpStatus = v; return true;
        case Ctx::DiagEquations:
            m_run.diagEquations.push_back(v);
            if (v < 1 || (m_modelDone && static_cast<size_t>(v) > m_run.model.equations.size()))
                return Fail(ValuePath(), "equation " + std::to_string(v) +
                                             " does not exist" +
                                             (m_modelDone ? " (the model has " +
                                                                std::to_string(m_run.model.equations.size()) +
                                                                " equations)"
                                                          : std::string()));
            return true;
        case Ctx::DiagVariables:
            m_run.diagVariables.push_back(v);
            if (v < 1 || (m_modelDone && static_cast<size_t>(v) > m_run.model.variables.size()))
                return Fail(ValuePath(), "variable " + std::to_string(v) +
                                             " does not exist" +
                                             (m_modelDone ? " (the model has " +
                                                                std::to_string(m_run.model.variables.size()) +
                                                                " variables)"
                                                          : std::string()));
            return true;
        case Ctx::Iteration: {
            CTARNIterationData& it = Iter();
            switch (top.field) {
                case kItIter: {
                    const std::int64_t position = m_stack[m_stack.size() - 2].count - 1;
                    if (value != position)
                        return Fail(ValuePath(), "iteration " + std::to_string(value) +
                                                     " found where iteration " +
                                                     std::to_string(position) +
                                                     " was expected (iterations are listed in "
                                                     "order from 0)");
                    it.SetIter(v);
                    break;
                }
                case kItNlVariables: it.SetNLCounts(v, it.GetNLEqnNum()); break;
                case kItNlEquations: it.SetNLCounts(it.GetNLVarNum(), v); break;
            }
            return true;
        }
        default: break;
    }
    return Internal();
}

bool Handler::StoreOption(std::string_view value) {
    Frame& top = m_stack.back();
    const bool model = top.ctx == Ctx::ModelOptions, solver = top.ctx == Ctx::SolverOptions;
    OptionList& options = model ? m_run.model.options : solver ? m_run.solverOptions : m_run.lpOptions;
    OptionNameSet& names = model ? m_modelOptionNames : solver ? m_solverOptionNames : m_lpOptionNames;
    options.emplace_back(top.key, std::string(value));
    if (!names.insert(options.size() - 1).second) {
        options.pop_back();
        return Fail(ValuePath(), "the key is given twice");
    }
    return true;
}

bool Handler::EndOfObject() {
    Frame& top = m_stack.back();
    const FieldTable table = ObjectFields(top.ctx);
    for (size_t i = 0; i < table.count; ++i) {
        if (table.fields[i].required && !(top.seen & (std::uint64_t{1} << i))) {
            const std::string where = ContainerPath();
            return Fail(where, std::string("the required key \"") + table.fields[i].name +
                                   "\" is missing", -1);
        }
    }
    const Ctx ctx = top.ctx;
    switch (ctx) {
        case Ctx::Model:
            if (!CheckMatrix()) return SkipContinue();
            m_modelDone = true;
            break;
        case Ctx::Lp:
            if (m_modelDone) {
                if (!CheckDiagnosis()) return SkipContinue();
            } else {
                m_lpChecked = false;
            }
            break;
        case Ctx::Iteration:
            if (!m_userObjectiveGiven) Iter().SetUserObj(Iter().GetObjValue());
            break;
        default: break;
    }
    m_stack.pop_back();
    return true;
}

bool Handler::EndOfArray() {
    Frame& top = m_stack.back();
    if (IsTuple(top.ctx) && top.count != 3) {
        const std::string what = top.ctx == Ctx::MatrixEntry ? "values" : "numbers";
        return Fail(ContainerPath(), std::to_string(top.count) + " " + what + ", 3 expected", -1);
    }
    if (m_modelDone && (top.ctx == Ctx::VariableTriples || top.ctx == Ctx::EquationTriples)) {
        if (!CheckTripleCount(m_run.iterations.size() - 1, top.ctx == Ctx::VariableTriples))
            return SkipContinue();
    }
    m_stack.pop_back();
    return true;
}

// Matrix references and pairs given twice, in the order of the entries.
bool Handler::CheckMatrix() {
    const auto& matrix = m_run.model.matrix;
    const size_t nEqn = m_run.model.equations.size();
    const size_t nVar = m_run.model.variables.size();
    for (size_t i = 0; i < matrix.size(); ++i) {
        const auto& m = matrix[i];
        std::string problem;
        if (m.equation < 1 || static_cast<size_t>(m.equation) > nEqn)
            problem = "equation " + std::to_string(m.equation) + " does not exist (the model has " +
                      std::to_string(nEqn) + " equations)";
        else if (m.variable < 1 || static_cast<size_t>(m.variable) > nVar)
            problem = "variable " + std::to_string(m.variable) + " does not exist (the model has " +
                      std::to_string(nVar) + " variables)";
        if (!problem.empty()) {
            Fail("model.matrix[" + std::to_string(i) + "]", problem, -1);
            return false;
        }
    }
    std::vector<std::uint32_t> order(matrix.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const auto& x = matrix[a];
        const auto& y = matrix[b];
        if (x.equation != y.equation) return x.equation < y.equation;
        if (x.variable != y.variable) return x.variable < y.variable;
        return a < b;
    });
    size_t firstRepeat = SIZE_MAX, firstOriginal = 0;
    for (size_t i = 1; i < order.size(); ++i) {
        const auto& x = matrix[order[i - 1]];
        const auto& y = matrix[order[i]];
        if (x.equation == y.equation && x.variable == y.variable && order[i] < firstRepeat) {
            // order[i - 1] is an earlier entry of the same pair.
            size_t j = i;
            while (j > 0 && matrix[order[j - 1]].equation == y.equation &&
                   matrix[order[j - 1]].variable == y.variable)
                --j;
            firstRepeat = order[i];
            firstOriginal = order[j];
        }
    }
    if (firstRepeat != SIZE_MAX) {
        const auto& m = matrix[firstRepeat];
        Fail("model.matrix[" + std::to_string(firstRepeat) + "]",
             "equation " + std::to_string(m.equation) + " and variable " +
                 std::to_string(m.variable) + " already have a coefficient in model.matrix[" +
                 std::to_string(firstOriginal) + "]",
             -1);
        return false;
    }
    return true;
}

bool Handler::CheckDiagnosis() {
    const size_t nEqn = m_run.model.equations.size();
    const size_t nVar = m_run.model.variables.size();
    for (size_t i = 0; i < m_run.diagEquations.size(); ++i) {
        const int v = m_run.diagEquations[i];
        if (v < 1 || static_cast<size_t>(v) > nEqn) {
            Fail("lp.diagnosis.equations[" + std::to_string(i) + "]",
                 "equation " + std::to_string(v) + " does not exist (the model has " +
                     std::to_string(nEqn) + " equations)",
                 -1);
            return false;
        }
    }
    for (size_t i = 0; i < m_run.diagVariables.size(); ++i) {
        const int v = m_run.diagVariables[i];
        if (v < 1 || static_cast<size_t>(v) > nVar) {
            Fail("lp.diagnosis.variables[" + std::to_string(i) + "]",
                 "variable " + std::to_string(v) + " does not exist (the model has " +
                     std::to_string(nVar) + " variables)",
                 -1);
            return false;
        }
    }
    m_lpChecked = true;
    return true;
}

bool Handler::CheckTripleCount(size_t iteration, bool variables) {
    const CTARNIterationSolution& s = *m_run.solutions[iteration];
    const size_t given = (variables ? s.m_variableTriples.size() : s.m_equationTriples.size()) / 3;
    const size_t expected = variables ? m_run.model.variables.size() : m_run.model.equations.size();
    if (given == expected) return true;
    const char* items = variables ? "variable" : "equation";
    Fail("iterations[" + std::to_string(iteration) + "]." + (variables ? "variables" : "equations"),
         std::to_string(given) + " triples, " + std::to_string(expected) + " expected (one per " +
             items + ")",
         -1);
    return false;
}

bool Handler::Finish() {
    if (m_failed) return false;
    if (!m_lpChecked && !CheckDiagnosis()) return false;
    for (size_t p = 0; p < m_run.iterations.size(); ++p) {
        if (!CheckTripleCount(p, true) || !CheckTripleCount(p, false)) return false;
    }
    // A variable without "value" takes its value in the last iteration.
    auto& variables = m_run.model.variables;
    const CTARNIterationSolution* last =
        m_run.solutions.empty() ? nullptr : m_run.solutions.back().get();
    for (size_t i = 0; i < variables.size(); ++i) {
        if (!m_valueGiven[i]) variables[i].value = last != nullptr ? last->m_variableTriples[3 * i] : 0.0;
    }
    return true;
}

#undef VALUE_START

// Line and column (from 1, in bytes) of a byte offset.
std::string Position(const char* text, size_t offset) {
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

// The same, reading the file again (the bytes in memory have been parsed
// in place).
std::string PositionInFile(const char* path, size_t offset) {
    std::ifstream in(path, std::ios::binary);
    size_t line = 1, lineStart = 0, done = 0;
    std::vector<char> chunk(size_t{1} << 16);
    while (done < offset && in) {
        in.read(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), offset - done)));
        const size_t got = static_cast<size_t>(in.gcount());
        for (size_t i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                ++line;
                lineStart = done + i + 1;
            }
        }
        done += got;
    }
    if (done < offset) return "byte " + std::to_string(offset + 1);
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - lineStart + 1);
}

const char* SyntaxProblem(rapidjson::ParseErrorCode code) {
    switch (code) {
        case rapidjson::kParseErrorDocumentEmpty: return "the file holds no JSON document";
        case rapidjson::kParseErrorDocumentRootNotSingular:
            return "unexpected text after the end of the JSON document";
        case rapidjson::kParseErrorValueInvalid: return "invalid JSON value";
        case rapidjson::kParseErrorObjectMissName: return "a key in double quotes expected";
        case rapidjson::kParseErrorObjectMissColon: return "':' expected after the key";
        case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket: return "',' or '}' expected";
        case rapidjson::kParseErrorArrayMissCommaOrSquareBracket: return "',' or ']' expected";
        case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
            return "invalid \\u escape in a text";
        case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
            return "invalid surrogate pair in a text";
        case rapidjson::kParseErrorStringEscapeInvalid: return "invalid escape in a text";
        case rapidjson::kParseErrorStringMissQuotationMark:
            return "a text is not closed, or holds a control character";
        case rapidjson::kParseErrorStringInvalidEncoding: return "the text is not valid UTF-8";
        case rapidjson::kParseErrorNumberTooBig: return "the number is out of range";
        case rapidjson::kParseErrorNumberMissFraction:
            return "digits expected after the decimal point";
        case rapidjson::kParseErrorNumberMissExponent: return "digits expected in the exponent";
        default: return "syntax error";
    }
}


// Line and column of a byte offset, counted over the original bytes:
// parsing in place has overwritten the texts before the offset.
using PositionOf = std::function<std::string(size_t offset)>;

std::string ParseRunDataInPlace(char* text, size_t size, const std::string& fileName,
                                const PositionOf& position, LoadedRun& run) {
    if (size == 0) return fileName + ": the file is empty";
    // A byte order mark is allowed and ignored.
    size_t start = 0;
    if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) start = 3;
    // The reader takes a NUL byte for the end of the input; JSON allows none.
    if (const void* nul = std::memchr(text, '\0', size)) {
        const size_t offset = static_cast<size_t>(static_cast<const char*>(nul) - text);
        return fileName + ": " + Position(text, offset) +
               ": the file contains a NUL byte (it is not a JSON text)";
    }

    Handler handler(run);
    rapidjson::InsituStringStream stream(text + start);
    rapidjson::Reader reader;
    // The recursive reader: the handler stops it within kMaxSkipDepth levels
    // of the deepest container the format has, so recursion stays shallow.
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag |
                                rapidjson::kParseNumbersAsStringsFlag |
                                rapidjson::kParseValidateEncodingFlag;
    const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, handler);

    if (handler.Failed()) return fileName + ": " + handler.Problem();
    if (result.IsError()) {
        const size_t offset = std::min(start + result.Offset(), size);
        if (result.Code() == rapidjson::kParseErrorDocumentEmpty)
            return fileName + ": the file holds no JSON document";
        if (offset >= size)
            return fileName + ": " + position(size) +
                   ": the file ends before the JSON document is complete";
        if (result.Code() == rapidjson::kParseErrorNumberTooBig) {
            // Refused by the reader before the handler saw it: the same
            // message as for a number the handler finds too large.
            const std::string path = handler.PendingValuePath();
            size_t end = offset;
            while (end < size && std::strchr("0123456789+-.eE", text[end]) != nullptr && text[end] != '\0')
                ++end;
            if (!path.empty())
                return fileName + ": " + path + ": the number " +
                       ShownNumber(std::string_view(text + offset, end - offset)) +
                       " is out of range";
        }
        return fileName + ": " + position(offset) + ": " + SyntaxProblem(result.Code());
    }
    if (!handler.Finish()) return fileName + ": " + handler.Problem();
    return std::string();
}

}  // namespace

std::string ParseRunData(const char* text, size_t size, const std::string& fileName,
                         LoadedRun& run) {
    const std::unique_ptr<char[]> buffer(new char[size + 1]);
    std::memcpy(buffer.get(), text, size);
    buffer[size] = '\0';
    return ParseRunDataInPlace(buffer.get(), size, fileName,
                               [text](size_t offset) { return Position(text, offset); }, run);
}

std::string LoadRunData(const char* path, LoadedRun& run) {
    const std::string fileName =
        path != nullptr ? veldxmps::OneLine(path) : std::string("(no file name)");
    if (path == nullptr || *path == '\0') return fileName + ": no file name given";
    std::ifstream in(path, std::ios::binary);
    if (!in) return fileName + ": cannot open the file";
    // A directory opens on some systems but cannot be read.
    in.peek();
    if (in.bad()) return fileName + ": cannot read the file";
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return fileName + ": cannot read the file";
    const std::uint64_t size = static_cast<std::uint64_t>(end);
    if (size > kMaxRunDataFileBytes)
        return fileName + ": the file is " + std::to_string(size) +
               " bytes long; run-data files of at most " + std::to_string(kMaxRunDataFileBytes) +
               " bytes are read";
    if (size == 0) return fileName + ": the file is empty";
    in.seekg(0, std::ios::beg);
    // Not initialised first: every byte is read into it, and a NUL after
    // them ends the text for the reader.
    const std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size) + 1]);
    buffer[static_cast<size_t>(size)] = '\0';
    in.read(buffer.get(), static_cast<std::streamsize>(size));
    if (static_cast<std::uint64_t>(in.gcount()) != size)
        return fileName + ": cannot read the file";
    in.close();
    const auto position = [path](size_t offset) { return PositionInFile(path, offset); };
    return ParseRunDataInPlace(buffer.get(), static_cast<size_t>(size), fileName, position, run);
}

}  // namespace tarn
