// The run-data writer: every call checked by the format's rules (shared with
// the loader), iterations streamed to a temporary file, the rest of the run
// kept until Close writes it and renames the file.
#include "tarn/run_writer.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <rapidjson/encodings.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <system_error>
#include <unordered_set>

#include "run_data_numbers.h"
#include "run_data_rules.h"

namespace tarn::rundata {
namespace {

namespace fs = std::filesystem;

// --- checks ------------------------------------------------------------------

struct NullSink {
    void Put(char) {}
};

// The loader's own test of UTF-8 (a surrogate's bytes are not UTF-8).
bool IsUtf8(std::string_view text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return true;
    rapidjson::MemoryStream stream(text.data(), text.size());
    NullSink sink;
    while (stream.Tell() < text.size()) {
        if (!rapidjson::UTF8<>::Validate(stream, sink)) return false;
    }
    return true;
}

[[noreturn]] void Refuse(std::string path, std::string problem) {
    throw RuleError(std::move(path), std::move(problem));
}

// The checks take the path of what they check (a text, or a function that
// makes it, called only when something is wrong).
std::string PathOf(const std::string& path) { return path; }
std::string PathOf(const char* path) { return path; }
template <typename MakePath>
std::string PathOf(const MakePath& makePath) { return makePath(); }

template <typename Path>
void CheckText(std::string_view text, const Path& path) {
    if (text.find('\0') != std::string_view::npos) Refuse(PathOf(path), rules::kNulInText);
    if (!IsUtf8(text)) Refuse(PathOf(path), rules::kInvalidUtf8);
}

template <typename Path>
void CheckName(std::string_view name, const Path& path) {
    CheckText(name, path);
    if (std::string problem = rules::NameProblem(name); !problem.empty()) Refuse(PathOf(path), problem);
}

template <typename Path>
void CheckInteger(std::int64_t value, rules::IntegerRange range, const Path& path) {
    if (!range.Holds(value)) Refuse(PathOf(path), rules::IntegerOutOfRange(std::to_string(value), range));
}

std::string Indexed(std::string_view list, size_t index) {
    return std::string(list) + "[" + std::to_string(index) + "]";
}

// One JSON number, as JSON writes it, that fits a double.
class OneNumber {
public:
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return ++m_values == 1; }
    bool Null() { return false; }
    bool Bool(bool) { return false; }
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(std::int64_t) { return false; }
    bool Uint64(std::uint64_t) { return false; }
    bool Double(double) { return false; }
    bool String(const char*, rapidjson::SizeType, bool) { return false; }
    bool StartObject() { return false; }
    bool Key(const char*, rapidjson::SizeType, bool) { return false; }
    bool EndObject(rapidjson::SizeType) { return false; }
    bool StartArray() { return false; }
    bool EndArray(rapidjson::SizeType) { return false; }

private:
    int m_values = 0;
};

bool IsJsonNumber(std::string_view text) {
    if (text.empty() || text.front() == ' ' || text.back() == ' ') return false;
    rapidjson::MemoryStream stream(text.data(), text.size());
    OneNumber handler;
    rapidjson::Reader reader;
    return !reader.Parse<rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseStopWhenDoneFlag>(
                       stream, handler)
                .IsError() &&
           stream.Tell() == text.size();
}

// --- JSON text ---------------------------------------------------------------

void AppendNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "\"nan\"";
    } else if (std::isinf(value)) {
        out += value > 0 ? "\"inf\"" : "\"-inf\"";
    } else {
        char digits[32];
        const auto written = std::to_chars(digits, digits + sizeof digits, value);
        out.append(digits, written.ptr);
    }
}

void AppendInteger(std::string& out, std::int64_t value) {
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

bool NeedsEscape(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\';
}

// A checked text as a JSON string; the runs of bytes that need no escape
// are appended whole.
void AppendString(std::string& out, std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    while (!text.empty()) {
        const size_t plain = static_cast<size_t>(std::find_if(text.begin(), text.end(), NeedsEscape) - text.begin());
        out.append(text.data(), plain);
        text.remove_prefix(plain);
        if (text.empty()) break;
        const char c = text.front();
        text.remove_prefix(1);
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            default: break;
        }
        out += "\\u00";  // another control character
        out += hex[byte >> 4];
        out += hex[byte & 15];
    }
    out += '"';
}

// Members of one object: `"key": ` with the separator before all but the first.
class Members {
public:
    explicit Members(std::string& out, const char* separator = ", ")
        : m_out(out), m_separator(separator) {
        m_out += '{';
    }
    // The format's own keys need no escape; option names do.
    std::string& Key(std::string_view key) {
        if (m_count++ > 0) m_out += m_separator;
        m_out += '"';
        m_out += key;
        m_out += "\": ";
        return m_out;
    }
    std::string& OptionKey(std::string_view name) {
        if (m_count++ > 0) m_out += m_separator;
        AppendString(m_out, name);
        m_out += ": ";
        return m_out;
    }
    void Number(std::string_view key, double value) { AppendNumber(Key(key), value); }
    void Integer(std::string_view key, std::int64_t value) { AppendInteger(Key(key), value); }
    void Text(std::string_view key, std::string_view value) { AppendString(Key(key), value); }
    void Bool(std::string_view key, bool value) { Key(key) += value ? "true" : "false"; }
    void End() { m_out += '}'; }

private:
    std::string& m_out;
    const char* m_separator;
    int m_count = 0;
};

// A number into a buffer with room for it (32 bytes); returns its end.
char* PutNumber(char* at, double value) {
    if (std::isfinite(value)) return std::to_chars(at, at + 32, value).ptr;
    const std::string_view text = std::isnan(value) ? "\"nan\"" : value > 0 ? "\"inf\"" : "\"-inf\"";
    return std::copy(text.begin(), text.end(), at);
}

// Triples are most of a file: each is made in a buffer of its own and
// appended at once.
void AppendTriple(std::string& out, double first, double second, double third) {
    char text[3 * 32 + 8];
    char* at = text;
    *at++ = '[';
    at = PutNumber(at, first);
    *at++ = ',';
    *at++ = ' ';
    at = PutNumber(at, second);
    *at++ = ',';
    *at++ = ' ';
    at = PutNumber(at, third);
    *at++ = ']';
    out.append(text, at);
}
void AppendTriple(std::string& out, const VariableTriple& t) {
    AppendTriple(out, t.value, t.step, t.shadowPrice);
}
void AppendTriple(std::string& out, const EquationTriple& t) {
    AppendTriple(out, t.residual, t.shadowPrice, t.slack);
}

// Eight triples a line.
template <typename Triple>
void AppendTriples(std::string& out, std::span<const Triple> triples) {
    out += '[';
    for (size_t i = 0; i < triples.size(); ++i) {
        if (i > 0) out += i % 8 == 0 ? ",\n " : ", ";
        AppendTriple(out, triples[i]);
    }
    out += ']';
}

void AppendTexts(std::string& out, std::span<const std::string> texts) {
    out += '[';
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += ", ";
        AppendString(out, texts[i]);
    }
    out += ']';
}

// --- the run's parts kept until Close ------------------------------------------

struct Option {
    std::string name;
    OptionValue value;
};

class OptionSet {
public:
    explicit OptionSet(std::string path) : m_path(std::move(path)) {}

    void Add(std::string_view name, const OptionValue& value) {
        const std::string path = rules::OptionPath(m_path, name);
        if (name.empty()) Refuse(path, rules::kEmptyOptionName);
        if (name.find('\0') != std::string_view::npos) Refuse(path, rules::kNulInOptionName);
        if (!IsUtf8(name)) Refuse(path, rules::kInvalidUtf8);
        if (!value.IsNumber()) CheckText(value.Text(), path);
        if (m_names.contains(name)) Refuse(path, rules::kKeyTwice);
        m_options.push_back({std::string(name), value});
        m_names.insert(m_options.back().name);
    }
    void Append(std::string& out) const {
        Members members(out);
        for (const Option& option : m_options) {
            std::string& at = members.OptionKey(option.name);
            if (option.value.IsNumber()) at += option.value.Text();
            else AppendString(at, option.value.Text());
        }
        members.End();
    }

private:
    std::string m_path;
    std::deque<Option> m_options;
    std::unordered_set<std::string_view> m_names;  // views of the names in m_options
};

// Positions of items by a key of theirs: an open-addressing table of
// positions, where the items themselves hold the keys.  equal(position)
// says whether the item at position has the key looked for.
class PositionTable {
public:
    static constexpr size_t kNone = SIZE_MAX;

    template <typename Equal>
    size_t Find(size_t hash, const Equal& equal) const {
        if (m_slots.empty()) return kNone;
        for (size_t at = hash & m_mask;; at = (at + 1) & m_mask) {
            const std::uint32_t slot = m_slots[at];
            if (slot == 0) return kNone;
            if (equal(slot - 1)) return slot - 1;
        }
    }
    // position is new; hashOf(p) gives the hash of the item at p.
    template <typename HashOf>
    void Add(size_t hash, size_t position, const HashOf& hashOf) {
        if (2 * (m_count + 1) > m_slots.size()) Grow(hashOf);
        Place(hash, position);
        ++m_count;
    }

private:
    void Place(size_t hash, size_t position) {
        size_t at = hash & m_mask;
        while (m_slots[at] != 0) at = (at + 1) & m_mask;
        m_slots[at] = static_cast<std::uint32_t>(position + 1);
    }
    template <typename HashOf>
    void Grow(const HashOf& hashOf) {
        std::vector<std::uint32_t> old = std::move(m_slots);
        m_slots.assign(std::max<size_t>(64, 2 * old.size()), 0);
        m_mask = m_slots.size() - 1;
        for (const std::uint32_t slot : old)
            if (slot != 0) Place(hashOf(slot - 1), slot - 1);
    }

    std::vector<std::uint32_t> m_slots;
    size_t m_mask = 0, m_count = 0;
};

// Names of one kind of item, each with its position (the items are in a
// deque, so their names stay in place).
template <typename Item>
class NameIndex {
public:
    NameIndex(std::string list, const std::deque<Item>& items) : m_list(std::move(list)), m_items(items) {}
    void Check(std::string_view name, const char* emptyProblem) const {
        if (name.empty()) Refuse(Path(), emptyProblem);
        CheckName(name, [this] { return Path(); });
        const size_t earlier = m_table.Find(Hash(name), [&](size_t p) { return m_items[p].name == name; });
        if (earlier != PositionTable::kNone) Refuse(Path(), rules::NameTaken(name, m_list, earlier));
    }
    // After the item is added to the items.
    void Added() {
        const size_t position = m_items.size() - 1;
        m_table.Add(Hash(m_items[position].name), position,
                    [this](size_t p) { return Hash(m_items[p].name); });
    }

private:
    static size_t Hash(std::string_view name) { return std::hash<std::string_view>()(name); }
    std::string Path() const { return Indexed(m_list, m_items.size()) + ".name"; }

    std::string m_list;
    const std::deque<Item>& m_items;
    PositionTable m_table;
};

struct Coefficient {
    int equation, variable;
    double value;
};

// --- the file ----------------------------------------------------------------

// The temporary file beside the target, written in large pieces.
class TemporaryFile {
public:
    explicit TemporaryFile(const fs::path& target) : m_target(target) {
        for (int attempt = 0; m_fd < 0; ++attempt) {
            m_path = target;
            m_path += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
            m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && (errno != EEXIST || attempt > 1000))
                throw FileError(Describe("cannot write " + target.string() + ": cannot create", m_path));
        }
    }
    ~TemporaryFile() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_renamed) ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    std::uint64_t Size() const { return m_written + m_buffer.size(); }
    // Adds text; the buffer goes to the file when it is large.
    void Add(std::string_view text) {
        if (m_buffer.size() + text.size() < kFlushBytes) {
            m_buffer += text;
            return;
        }
        Flush();
        if (text.size() < kFlushBytes) m_buffer += text;
        else WriteAll(text);
    }
    void Finish() {
        Flush();
        if (::fsync(m_fd) != 0) throw FileError(Describe("cannot write", m_path));
        const int closed = ::close(m_fd);
        m_fd = -1;
        if (closed != 0) throw FileError(Describe("cannot write", m_path));
        if (std::rename(m_path.c_str(), m_target.c_str()) != 0)
            throw FileError(Describe("cannot rename " + m_path.string() + " to", m_target));
        m_renamed = true;
    }

private:
    static constexpr size_t kFlushBytes = size_t{1} << 20;

    static std::string Describe(const std::string& what, const fs::path& path) {
        return what + " " + path.string() + ": " + std::strerror(errno);
    }
    void Flush() {
        WriteAll(m_buffer);
        m_buffer.clear();
    }
    void WriteAll(std::string_view text) {
        const char* at = text.data();
        size_t left = text.size();
        while (left > 0) {
            const ssize_t wrote = ::write(m_fd, at, left);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) throw FileError(Describe("cannot write", m_path));
            at += wrote;
            left -= static_cast<size_t>(wrote);
        }
        m_written += text.size();
    }

    fs::path m_target, m_path;
    int m_fd = -1;
    bool m_renamed = false;
    std::uint64_t m_written = 0;
    std::string m_buffer;
};

}  // namespace

RuleError::RuleError(std::string path, std::string problem)
    : std::invalid_argument(path.empty() ? problem : path + ": " + problem),
      m_path(std::move(path)),
      m_problem(std::move(problem)) {}

OptionValue::OptionValue(double number) {
    if (std::isfinite(number)) {
        AppendNumber(m_text, number);
        m_number = true;
    } else {
        m_text = std::isnan(number) ? "nan" : number > 0 ? "inf" : "-inf";
    }
}

OptionValue OptionValue::NumberAsWritten(std::string_view jsonNumber) {
    double value = 0;
    if (!IsJsonNumber(jsonNumber))
        Refuse("", "an option's number must be a JSON number, found " + rules::QuoteText(jsonNumber));
    if (!ParseDouble(jsonNumber, value))
        Refuse("", "the number " + ShownNumber(jsonNumber) + " is out of range");
    OptionValue option;
    option.m_text = jsonNumber;
    option.m_number = true;
    return option;
}

struct RunWriter::State {
    explicit State(const fs::path& target) : file(target) {}

    TemporaryFile file;
    bool closed = false;
    Case header;
    std::string modelName;
    std::deque<Variable> variables;
    std::deque<Equation> equations;
    std::deque<std::string> equationForms;  // per equation, empty for none
    NameIndex<Variable> variableNames{"model.variables", variables};
    NameIndex<Equation> equationNames{"model.equations", equations};
    std::vector<Coefficient> matrix;
    PositionTable matrixPairs;  // of matrix, by (equation, variable)
    bool modelOptionsUsed = false;
    OptionSet modelOptions{"model.options"}, solverOptions{"solver.options"}, lpOptions{"lp.options"};
    Tolerances tolerances;
    std::int64_t lpStatus = LpStatus::kOptimal;
    std::vector<std::int64_t> diagnosisEquations, diagnosisVariables;
    int iterations = 0;
    std::string scratch;  // one iteration's text, reused

    void CheckOpen() const {
        if (closed) Refuse("", "the run is closed: no call may follow Close");
    }
    void CheckModelOpen(const char* list) const {
        if (iterations > 0)
            Refuse(list, "the model's items are fixed once an iteration is written: add every "
                         "variable and equation before the first iteration");
    }
    template <typename Path>
    void CheckItem(std::int64_t number, bool equation, const Path& path) const {
        const size_t count = equation ? equations.size() : variables.size();
        if (number < 1 || static_cast<std::uint64_t>(number) > count)
            Refuse(PathOf(path), rules::NoSuchItem(equation, number, count, true));
    }
    // The file may not grow beyond what the loader reads.
    void CheckRoom(size_t more) const {
        if (file.Size() + more > rules::kMaxFileBytes) Refuse("", rules::FileTooLarge(file.Size() + more));
    }
    void WriteIteration(const Iteration& iteration);
    void WriteRest();
};

RunWriter::RunWriter(const fs::path& target) : m_state(std::make_unique<State>(target)) {
    m_state->file.Add("{\"format\": ");
    std::string head;
    AppendString(head, rules::kFormatName);
    head += ", \"version\": ";
    AppendInteger(head, rules::kVersion);
    head += ",\n\"iterations\": [";
    m_state->file.Add(head);
}

RunWriter::~RunWriter() = default;

void RunWriter::SetCase(const Case& header) {
    m_state->CheckOpen();
    CheckInteger(header.number, rules::kInt32, "case.number");
    CheckText(header.description, "case.description");
    CheckText(header.date, "case.date");
    if (std::string problem = rules::DateProblem(header.date); !problem.empty())
        Refuse("case.date", problem);
    CheckText(header.status, "case.status");
    m_state->header = header;
}

void RunWriter::SetStatus(std::string_view status) {
    m_state->CheckOpen();
    CheckText(status, "case.status");
    m_state->header.status = status;
}

void RunWriter::SetModelName(std::string_view name) {
    m_state->CheckOpen();
    CheckName(name, "model.name");
    m_state->modelName = name;
}

int RunWriter::AddVariable(const Variable& variable) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckModelOpen("model.variables");
    s.variableNames.Check(variable.name, rules::kEmptyVariableName);
    const auto path = [&s](const char* key) {
        return [&s, key] { return Indexed("model.variables", s.variables.size()) + key; };
    };
    CheckInteger(variable.type, rules::kInt16, path(".type"));
    CheckInteger(variable.status, rules::kInt16, path(".status"));
    if (s.variables.size() >= static_cast<size_t>(rules::kInt32.max))
        Refuse("model.variables", "too many entries");
    s.variables.push_back(variable);
    s.variableNames.Added();
    return static_cast<int>(s.variables.size());
}

int RunWriter::AddEquation(const Equation& equation) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckModelOpen("model.equations");
    s.equationNames.Check(equation.name, rules::kEmptyEquationName);
    const auto path = [&s](const char* key) {
        return [&s, key] { return Indexed("model.equations", s.equations.size()) + key; };
    };
    CheckInteger(equation.type, rules::kInt16, path(".type"));
    CheckInteger(equation.nonlinear, rules::kInt32, path(".nonlinear"));
    if (s.equations.size() >= static_cast<size_t>(rules::kInt32.max))
        Refuse("model.equations", "too many entries");
    s.equations.push_back(equation);
    s.equationForms.emplace_back();
    s.equationNames.Added();
    return static_cast<int>(s.equations.size());
}

void RunWriter::AddCoefficient(int equation, int variable, double coefficient) {
    State& s = *m_state;
    s.CheckOpen();
    const auto path = [&s] { return Indexed("model.matrix", s.matrix.size()); };
    s.CheckItem(equation, true, path);
    s.CheckItem(variable, false, path);
    const auto hashOf = [](int e, int v) {
        return std::hash<std::uint64_t>()((static_cast<std::uint64_t>(e) << 32) ^ static_cast<std::uint32_t>(v)) *
               0x9E3779B97F4A7C15ULL >> 7;
    };
    const size_t earlier = s.matrixPairs.Find(hashOf(equation, variable), [&](size_t p) {
        return s.matrix[p].equation == equation && s.matrix[p].variable == variable;
    });
    if (earlier != PositionTable::kNone) Refuse(path(), rules::CoefficientTwice(equation, variable, earlier));
    s.matrix.push_back({equation, variable, coefficient});
    s.matrixPairs.Add(hashOf(equation, variable), s.matrix.size() - 1, [&](size_t p) {
        return hashOf(s.matrix[p].equation, s.matrix[p].variable);
    });
}

void RunWriter::UseModelOptions() {
    m_state->CheckOpen();
    m_state->modelOptionsUsed = true;
}

void RunWriter::AddModelOption(std::string_view name, const OptionValue& value) {
    m_state->CheckOpen();
    m_state->modelOptions.Add(name, value);
    m_state->modelOptionsUsed = true;
}

void RunWriter::SetTolerances(const Tolerances& tolerances) {
    m_state->CheckOpen();
    m_state->tolerances = tolerances;
}

void RunWriter::AddSolverOption(std::string_view name, const OptionValue& value) {
    m_state->CheckOpen();
    m_state->solverOptions.Add(name, value);
}

void RunWriter::AddLpOption(std::string_view name, const OptionValue& value) {
    m_state->CheckOpen();
    m_state->lpOptions.Add(name, value);
}

void RunWriter::SetLpStatus(std::int64_t status) {
    m_state->CheckOpen();
    CheckInteger(status, rules::kInt32, "lp.status");
    m_state->lpStatus = status;
}

void RunWriter::AddDiagnosisEquation(std::int64_t equation) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckItem(equation, true, Indexed("lp.diagnosis.equations", s.diagnosisEquations.size()));
    s.diagnosisEquations.push_back(equation);
}

void RunWriter::AddDiagnosisVariable(std::int64_t variable) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckItem(variable, false, Indexed("lp.diagnosis.variables", s.diagnosisVariables.size()));
    s.diagnosisVariables.push_back(variable);
}

void RunWriter::SetVariableValue(int variable, double value) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckItem(variable, false, "model.variables");
    s.variables[static_cast<size_t>(variable) - 1].value = value;
}

void RunWriter::SetEquationValues(int equation, double value, double diag) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckItem(equation, true, "model.equations");
    Equation& item = s.equations[static_cast<size_t>(equation) - 1];
    item.value = value;
    item.diag = diag;
}

static_assert(kFormMaxBytes == rules::kFormMaxBytes, "the writer tells the loader's limit");

void RunWriter::SetEquationForm(int equation, std::string_view form) {
    State& s = *m_state;
    s.CheckOpen();
    s.CheckItem(equation, true, "model.equations");
    const std::string path = Indexed("model.equations", static_cast<size_t>(equation) - 1) + ".form";
    CheckText(form, path);
    if (std::string problem = rules::FormProblem(form); !problem.empty()) Refuse(path, problem);
    s.equationForms[static_cast<size_t>(equation) - 1].assign(form);
}

void RunWriter::AddIteration(const Iteration& iteration) {
    State& s = *m_state;
    s.CheckOpen();
    const std::string path = Indexed("iterations", static_cast<size_t>(s.iterations));
    CheckInteger(iteration.nlVariables, rules::kInt32, path + ".nl_variables");
    CheckInteger(iteration.nlEquations, rules::kInt32, path + ".nl_equations");
    CheckText(iteration.mostInfeasible, path + ".most_infeasible");
    if (std::string problem = rules::MostInfeasibleProblem(iteration.mostInfeasible); !problem.empty())
        Refuse(path + ".most_infeasible", problem);
    const std::pair<const char*, std::span<const std::string>> lists[] = {
        {".errors", iteration.errors}, {".warnings", iteration.warnings},
        {".information", iteration.information}};
    for (const auto& list : lists) {
        const std::string listPath = path + list.first;
        for (size_t i = 0; i < list.second.size(); ++i)
            CheckText(list.second[i], [&, i] { return Indexed(listPath, i); });
    }
    if (iteration.variables.size() != s.variables.size())
        Refuse(path + ".variables",
               rules::TripleCount(iteration.variables.size(), s.variables.size(), true));
    if (iteration.equations.size() != s.equations.size())
        Refuse(path + ".equations",
               rules::TripleCount(iteration.equations.size(), s.equations.size(), false));
    s.WriteIteration(iteration);
}

void RunWriter::State::WriteIteration(const Iteration& iteration) {
    scratch.clear();
    scratch += iterations == 0 ? "\n" : ",\n";
    Members members(scratch);
    members.Integer("iter", iterations);
    members.Integer("nl_variables", iteration.nlVariables);
    members.Integer("nl_equations", iteration.nlEquations);
    members.Bool("feasible", iteration.feasible);
    members.Number("p_function", iteration.pFunction);
    members.Number("nonlinearity_ratio", iteration.nonlinearityRatio);
    members.Number("objective", iteration.objective);
    if (iteration.userObjective) members.Number("user_objective", *iteration.userObjective);
    members.Number("infeasibility", iteration.infeasibility);
    members.Number("objective_convergence", iteration.objectiveConvergence);
    members.Number("residual_convergence", iteration.residualConvergence);
    members.Number("variable_convergence", iteration.variableConvergence);
    members.Text("most_infeasible", iteration.mostInfeasible);
    AppendTexts(members.Key("errors"), iteration.errors);
    AppendTexts(members.Key("warnings"), iteration.warnings);
    AppendTexts(members.Key("information"), iteration.information);
    AppendTriples(members.Key("variables") += "\n ", iteration.variables);
    AppendTriples(members.Key("equations") += "\n ", iteration.equations);
    members.End();
    CheckRoom(scratch.size());
    file.Add(scratch);
    ++iterations;
}

void RunWriter::Close() {
    State& s = *m_state;
    s.CheckOpen();
    s.WriteRest();
    s.closed = true;
    s.file.Finish();
}

// Everything but the iterations, after them.
void RunWriter::State::WriteRest() {
    std::string out = "],\n\"case\": ";
    Members caseMembers(out);
    caseMembers.Integer("number", header.number);
    caseMembers.Text("description", header.description);
    caseMembers.Text("date", header.date);
    caseMembers.Text("status", header.status);
    caseMembers.End();

    out += ",\n\"model\": ";
    Members model(out, ",\n");
    model.Text("name", modelName);
    std::string& items = model.Key("variables") += '[';
    for (size_t j = 0; j < variables.size(); ++j) {
        const Variable& v = variables[j];
        items += j == 0 ? "\n " : ",\n ";
        Members variable(items);
        variable.Text("name", v.name);
        variable.Number("lower", v.lower);
        variable.Number("upper", v.upper);
        variable.Integer("type", v.type);
        variable.Integer("status", v.status);
        if (v.value) variable.Number("value", *v.value);
        variable.End();
    }
    out += ']';
    model.Key("equations") += '[';
    for (size_t i = 0; i < equations.size(); ++i) {
        const Equation& e = equations[i];
        out += i == 0 ? "\n " : ",\n ";
        Members equation(out);
        equation.Text("name", e.name);
        equation.Integer("type", e.type);
        equation.Number("rhs", e.rhs);
        equation.Number("value", e.value);
        equation.Number("scale", e.scale);
        equation.Number("diag", e.diag);
        equation.Integer("nonlinear", e.nonlinear);
        if (!equationForms[i].empty()) equation.Text("form", equationForms[i]);
        equation.End();
    }
    out += ']';
    model.Key("matrix") += '[';
    for (size_t k = 0; k < matrix.size(); ++k) {
        out += k == 0 ? "" : k % 8 == 0 ? ",\n " : ", ";
        out += '[';
        AppendInteger(out, matrix[k].equation);
        out += ", ";
        AppendInteger(out, matrix[k].variable);
        out += ", ";
        AppendNumber(out, matrix[k].value);
        out += ']';
    }
    out += ']';
    if (modelOptionsUsed) modelOptions.Append(model.Key("options"));
    model.End();

    out += ",\n\"solver\": ";
    Members solver(out);
    solver.Number("feasibility_tolerance", tolerances.feasibility);
    solver.Number("delta_tolerance_1", tolerances.delta1);
    solver.Number("delta_tolerance_2", tolerances.delta2);
    solverOptions.Append(solver.Key("options"));
    solver.End();

    out += ",\n\"lp\": ";
    Members lp(out);
    lp.Integer("status", lpStatus);
    lpOptions.Append(lp.Key("options"));
    std::string& diagnosis = lp.Key("diagnosis");
    Members lists(diagnosis);
    std::string& listed = lists.Key("equations") += '[';
    for (size_t i = 0; i < diagnosisEquations.size(); ++i) {
        if (i > 0) listed += ", ";
        AppendInteger(listed, diagnosisEquations[i]);
    }
    listed += ']';
    lists.Key("variables") += '[';
    for (size_t i = 0; i < diagnosisVariables.size(); ++i) {
        if (i > 0) out += ", ";
        AppendInteger(out, diagnosisVariables[i]);
    }
    out += ']';
    lists.End();
    lp.End();
    out += "}\n";
    CheckRoom(out.size());
    file.Add(out);
}

int RunWriter::VariableCount() const { return static_cast<int>(m_state->variables.size()); }
int RunWriter::EquationCount() const { return static_cast<int>(m_state->equations.size()); }
int RunWriter::IterationCount() const { return m_state->iterations; }

}  // namespace tarn::rundata
