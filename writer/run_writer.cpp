// The run-data writer: every call checked by the format's rules (shared with
// the loader), iterations streamed to the file as they come, the rest of the
// run kept until Close writes it and gives the file the target's name.
#include "tarn/run_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory_resource>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "json_lines.h"
#include "replacing_file.h"
#include "run_data_numbers.h"
#include "run_data_rules.h"
#include "utf8.h"

namespace tarn::rundata {
namespace {

namespace fs = std::filesystem;
// --- checks ------------------------------------------------------------------


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
    if (!utf8::IsValid(text)) Refuse(PathOf(path), rules::kInvalidUtf8);
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

// The values a run's report shows as its result (objectives, infeasibility,
// variable values, residuals): NaN there means the optimiser failed, and the
// report would show "nan" beside the run's status.  The loader reads a file
// that holds one; the writers refuse it.
inline constexpr const char* kNotANumber =
    "the value is NaN (not a number): an objective, an infeasibility, a variable's value or "
    "an equation's residual must be a number (infinite values are taken)";

template <typename Path>
void CheckIsNumber(double value, const Path& path) {
    if (std::isnan(value)) Refuse(PathOf(path), kNotANumber);
}

// The time the writer was opened, as the report shows a run's date
// ("Mon Jan 15 10:30:00 2024"), in local time.
std::string DateNow() {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", days[local.tm_wday % 7],
                  months[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, local.tm_year + 1900);
    return text;
}

// --- the run's parts kept until Close ------------------------------------------

// The most bytes each part of the file after the iterations takes, so that
// the size limit always leaves room for what Close must write.
namespace room {
constexpr std::uint64_t kFixed = 1024;  // keys, tolerances, the LP status
constexpr std::uint64_t kPerItem = 2;  // the comma and line break before a variable or equation
constexpr std::uint64_t kPerCoefficient = 70, kPerForm = 16;
constexpr std::uint64_t kPerLinearised = 2 * json::kIntegerBytes + 4;
constexpr std::uint64_t kPerDiagnosisItem = json::kIntegerBytes + 2;
constexpr std::uint64_t kPerOption = 8;
std::uint64_t Texts(std::span<const std::string_view> texts) {
    std::uint64_t bytes = 0;
    for (const std::string_view text : texts) bytes += json::TextBytes(text.size());
    return bytes;
}
}  // namespace room

struct Option {
    std::string name;
    OptionValue value;
};

class OptionSet {
public:
    explicit OptionSet(std::string path) : m_path(std::move(path)) {}

    // Checks an option; the most bytes it takes in the file.
    std::uint64_t Check(std::string_view name, const OptionValue& value) const {
        const std::string path = rules::OptionPath(m_path, name);
        if (name.empty()) Refuse(path, rules::kEmptyOptionName);
        if (name.find('\0') != std::string_view::npos) Refuse(path, rules::kNulInOptionName);
        if (!utf8::IsValid(name)) Refuse(path, rules::kInvalidUtf8);
        if (!value.IsNumber()) CheckText(value.Text(), path);
        if (m_names.contains(name)) Refuse(path, rules::kKeyTwice);
        return json::TextBytes(name.size()) + json::TextBytes(value.Text().size()) + room::kPerOption;
    }
    void Add(std::string_view name, const OptionValue& value) {
        m_options.push_back({std::string(name), value});
        m_names.insert(m_options.back().name);
    }
    void Write(json::Writer& out) const {
        out.StartObject();
        for (const Option& option : m_options) {
            json::Key(out, option.name);
            const std::string& text = option.value.Text();
            if (option.value.IsNumber())
                out.RawValue(text.data(), static_cast<rapidjson::SizeType>(text.size()), rapidjson::kNumberType);
            else
                json::Text(out, text);
        }
        out.EndObject();
    }

private:
    std::string m_path;
    std::deque<Option> m_options;
    std::unordered_set<std::string_view> m_names;  // views of the names in m_options
};

// The names of one kind of item, each with its position (the items are in
// a deque, so the names the index views stay in place).
template <typename Item>
class NameIndex {
public:
    NameIndex(std::string list, const std::deque<Item>& items) : m_list(std::move(list)), m_items(items) {}
    // The name as a name, before the item is added.
    void Check(std::string_view name, const char* emptyProblem) const {
        if (name.empty()) Refuse(Path(), emptyProblem);
        CheckName(name, [this] { return Path(); });
    }
    // After the item is added to the items: false, with the problem, when
    // an earlier item has its name (the caller then removes it).
    bool Added(std::string& problem) {
        const auto [at, added] = m_positions.emplace(m_items.back().name, m_items.size() - 1);
        if (!added) problem = rules::NameTaken(m_items.back().name, m_list, at->second);
        return added;
    }
    // The path of the item added last.
    std::string LastPath() const { return Indexed(m_list, m_items.size() - 1) + ".name"; }
    // Before the last item is removed from the items.
    void RemoveLast() { m_positions.erase(m_items.back().name); }

private:
    std::string Path() const { return Indexed(m_list, m_items.size()) + ".name"; }

    std::string m_list;
    const std::deque<Item>& m_items;
    // Nodes from an arena: one allocation in many, freed with the index.
    std::pmr::monotonic_buffer_resource m_arena;
    std::pmr::unordered_map<std::string_view, size_t> m_positions{&m_arena};
};

struct Coefficient {
    int equation, variable;
    double value;
};

// Where each (equation, variable) pair is in the matrix.
class MatrixIndex {
public:
    // The position of the pair's coefficient, if it has one.
    std::optional<size_t> Find(int equation, int variable) const {
        const auto found = m_positions.find(Key(equation, variable));
        if (found == m_positions.end()) return std::nullopt;
        return found->second;
    }
    void Add(int equation, int variable, size_t position) {
        m_positions.emplace(Key(equation, variable), position);
    }

private:
    static std::uint64_t Key(int equation, int variable) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(equation)) << 32 |
               static_cast<std::uint32_t>(variable);
    }
    std::pmr::monotonic_buffer_resource m_arena;
    std::pmr::unordered_map<std::uint64_t, size_t> m_positions{&m_arena};
};

// The progress of a run, for those who follow it: TARGET.progress, a line of
// JSON at a time, each written whole by one write(2) to a file opened for
// appending, so a reader never sees half a line but at the end.
class ProgressFile {
public:
    static constexpr std::string_view kFormat = "tarn-vdr-progress";
    static constexpr int kVersion = 1;

    ProgressFile(const fs::path& target, const std::string& date) : m_path(target) {
        m_path += ".progress";
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0666);
        struct stat status {};
        if (m_fd >= 0 && (::fstat(m_fd, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(m_fd);
            m_fd = -1;
            errno = EINVAL;
        }
        if (m_fd < 0) throw FileError("cannot write " + m_path.string() + ": " + std::strerror(errno));
        Line([&](json::Writer& out) {
            json::TextMember(out, "format", kFormat);
            json::IntegerMember(out, "version", kVersion);
            json::TextMember(out, "run", target.filename().string());
            json::IntegerMember(out, "pid", ::getpid());
            json::TextMember(out, "started", date);
        });
    }
    ~ProgressFile() { Remove(); }
    ProgressFile(const ProgressFile&) = delete;
    ProgressFile& operator=(const ProgressFile&) = delete;

    // One object of members that `fill` writes, on a line of its own.
    template <typename Fill>
    void Line(const Fill& fill) {
        if (m_fd < 0) return;
        m_stream.Clear();
        m_writer.Reset(m_stream);
        m_writer.StartObject();
        fill(m_writer);
        m_writer.EndObject();
        m_stream.Put('\n');
        const std::string_view text = m_stream.Text();
        for (size_t at = 0; at < text.size();) {
            const ssize_t wrote = ::write(m_fd, text.data() + at, text.size() - at);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return Stop();
            at += static_cast<size_t>(wrote);
        }
    }
    // The run ended: nothing more to follow.
    void Remove() {
        if (m_fd < 0) return;
        ::close(m_fd);
        m_fd = -1;
        ::unlink(m_path.c_str());
    }

private:
    // The progress cannot be written (the run itself goes on).
    void Stop() {
        std::fprintf(stderr, "tarnrundata: warning: %s: %s; the run's progress is no longer written\n",
                     m_path.c_str(), std::strerror(errno));
        ::close(m_fd);
        m_fd = -1;
    }

    fs::path m_path;
    int m_fd = -1;
    json::LineStream m_stream;
    json::Writer m_writer;
};

}  // namespace

RuleError::RuleError(std::string path, std::string problem)
    : std::invalid_argument(path.empty() ? problem : path + ": " + problem),
      m_path(std::move(path)),
      m_problem(std::move(problem)) {}

OptionValue::OptionValue(double number) {
    if (std::isfinite(number)) {
        char digits[32];
        const auto written = std::to_chars(digits, digits + sizeof digits, number);
        m_text.assign(digits, written.ptr);
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

// A variable's entry in the model.
template <typename Out>
void WriteEntry(Out& out, const Variable& v) {
    out.StartObject();
    json::TextMember(out, "name", v.name);
    json::NumberMember(out, "lower", v.lower);
    json::NumberMember(out, "upper", v.upper);
    json::IntegerMember(out, "type", v.type);
    json::IntegerMember(out, "status", v.status);
    if (v.value) json::NumberMember(out, "value", *v.value);
    out.EndObject();
}

// An equation's entry in the model, with its form unless empty.
template <typename Out>
void WriteEntry(Out& out, const Equation& e, std::string_view form) {
    out.StartObject();
    json::TextMember(out, "name", e.name);
    json::IntegerMember(out, "type", e.type);
    json::NumberMember(out, "rhs", e.rhs);
    json::NumberMember(out, "value", e.value);
    json::NumberMember(out, "scale", e.scale);
    json::NumberMember(out, "diag", e.diag);
    json::IntegerMember(out, "nonlinear", e.nonlinear);
    if (!form.empty()) json::TextMember(out, "form", form);
    out.EndObject();
}

struct RunWriter::State {
    State(const fs::path& target, std::uint64_t largestFile)
        : file(target), document(stream),
          largest(largestFile > 0 ? std::min(largestFile, rules::kMaxFileBytes) : rules::kMaxFileBytes) {}

    std::mutex lock;  // one call at a time
    files::ReplacingFile file;
    json::LineStream stream;         // what the document writer wrote, until it goes to the file
    json::Writer document;
    json::Line line;
    json::Counter counter;
    const std::uint64_t largest;     // the largest file written
    bool ended = false;              // closed, abandoned, or its file lost
    Case header;
    std::string modelName;
    std::deque<Variable> variables;
    std::deque<Equation> equations;
    std::deque<std::string> equationForms;  // per equation, empty for none
    NameIndex<Variable> variableNames{"model.variables", variables};
    NameIndex<Equation> equationNames{"model.equations", equations};
    std::vector<Coefficient> matrix;
    MatrixIndex matrixPairs;
    std::vector<std::pair<int, int>> linearised;  // marked pairs, in order
    MatrixIndex linearisedPairs;
    bool modelOptionsUsed = false;
    OptionSet modelOptions{"model.options"}, solverOptions{"solver.options"}, lpOptions{"lp.options"};
    Tolerances tolerances;
    std::int64_t lpStatus = LpStatus::kOptimal;
    std::vector<std::int64_t> diagnosisEquations, diagnosisVariables;
    int iterations = 0;
    std::unique_ptr<ProgressFile> progress;  // when others follow the run
    // The most bytes the part after the iterations takes: its items', and
    // the header's and model name's (which a later call may replace).
    std::uint64_t restBytes = room::kFixed, headerBytes = 0, modelNameBytes = 0;

    void CheckOpen() const {
        if (ended) Refuse("", "the run is closed: no call may follow Close");
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
    // The file may not grow beyond what the loader reads, and always keeps
    // room for what Close must still write.
    void CheckRoom(std::uint64_t more) const {
        const std::uint64_t size = file.Size() + stream.Size() + more + restBytes + headerBytes + modelNameBytes;
        if (size > largest)
            Refuse("", size > rules::kMaxFileBytes ? rules::FileTooLarge(size)
                                                   : "the file would be " + std::to_string(size) +
                                                         " bytes long, larger than the " +
                                                         std::to_string(largest) + " bytes allowed");
    }
    // What the document writer wrote, to the file.
    void Flush() {
        Guard([&] { file.Write(stream.Text()); });
        stream.Clear();
    }
    // A file error ends the run: its file is lost.
    template <typename Call>
    void Guard(const Call& call) {
        try {
            call();
        } catch (const files::ReplaceError& error) {
            ended = true;
            file.Discard();
            throw FileError(error.what());
        }
    }
    // A writer's call, made whole before another thread's begins.
    std::unique_lock<std::mutex> Hold() { return std::unique_lock(lock); }
    void AddOption(OptionSet& set, std::string_view name, const OptionValue& value);
    void AddVariable(const Variable& variable);
    void RemoveLastVariable();
    // The bytes of an item's entry in the model, as WriteModel writes it
    // (an equation's form counted apart).
    std::uint64_t EntryBytes(const Variable& variable) {
        return room::kPerItem + counter.BytesOf([&](auto& out) { WriteEntry(out, variable); });
    }
    std::uint64_t EntryBytes(const Equation& equation) {
        return room::kPerItem + counter.BytesOf([&](auto& out) { WriteEntry(out, equation, {}); });
    }
    // Replaces a kept item by changed, when the room allows.
    template <typename Item>
    void Change(Item& kept, const Item& changed) {
        const std::uint64_t before = EntryBytes(kept), after = EntryBytes(changed);
        if (after > before) CheckRoom(after - before);
        kept = changed;
        restBytes = restBytes - before + after;
    }
    void CheckIteration(const Iteration& iteration) const;
    void WriteProgressModel();
    void WriteProgressIteration(const Iteration& iteration);
    void WriteIteration(const Iteration& iteration);
    void WriteRest();
    void WriteModel();
    // The model's items of one kind, an object a line, each written by writeOne.
    template <typename Items, typename WriteOne>
    void WriteItems(std::string_view key, const Items& items, const WriteOne& writeOne) {
        json::Key(document, key);
        document.StartArray();
        for (const auto& item : items) {
            stream.BreakLine();
            writeOne(item);
            FlushWhenLarge();
        }
        document.EndArray();
    }
    // An array of short arrays, perLine to a line.
    template <class Rows, class WriteOne>
    void WriteRows(std::string_view key, const Rows& rows, size_t perLine, const WriteOne& writeOne) {
        json::Key(document, key);
        document.StartArray();
        for (size_t k = 0; k < rows.size(); ++k) {
            if (k % perLine == 0) stream.BreakLine();
            document.StartArray();
            writeOne(rows[k]);
            document.EndArray();
            FlushWhenLarge();
        }
        document.EndArray();
    }
    // What the document writer wrote, to the file, once it is large.
    void FlushWhenLarge() {
        if (stream.Size() >= (size_t{1} << 20)) Flush();
    }
    void WriteLp();
};

RunWriter::RunWriter(const fs::path& target, std::uint64_t largestFile) {
    try {
        m_state = std::make_unique<State>(target, largestFile);
    } catch (const files::ReplaceError& error) {
        throw FileError(error.what());
    }
    State& s = *m_state;
    s.header.date = DateNow();
    s.headerBytes = room::Texts(std::array<std::string_view, 1>{*s.header.date});
    s.document.StartObject();
    json::Key(s.document, "format");
    json::Text(s.document, rules::kFormatName);
    json::Key(s.document, "iterations");
    s.document.StartArray();
    s.Flush();
}

RunWriter::~RunWriter() {
    if (!m_state || m_state->ended) return;
    std::fprintf(stderr,
                 "tarnrundata: warning: the run for %s was never closed, so no file was written "
                 "(Close writes it; Abandon ends a run without a file and without this warning)\n",
                 m_state->file.Target().c_str());
}

void RunWriter::SetCase(const Case& header) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    CheckInteger(header.number, rules::kInt32, "case.number");
    CheckText(header.description, "case.description");
    Case checked = header;
    if (!checked.date) checked.date = s.header.date;
    CheckText(*checked.date, "case.date");
    if (std::string problem = rules::DateProblem(*checked.date); !problem.empty())
        Refuse("case.date", problem);
    CheckText(header.status, "case.status");
    const std::uint64_t bytes =
        room::Texts(std::array<std::string_view, 3>{checked.description, *checked.date, checked.status});
    if (bytes > s.headerBytes) s.CheckRoom(bytes - s.headerBytes);
    s.header = std::move(checked);
    s.headerBytes = bytes;
}

void RunWriter::SetStatus(std::string_view status) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    CheckText(status, "case.status");
    const std::uint64_t bytes = s.headerBytes - json::TextBytes(s.header.status.size()) + json::TextBytes(status.size());
    if (bytes > s.headerBytes) s.CheckRoom(bytes - s.headerBytes);
    s.header.status = status;
    s.headerBytes = bytes;
}

void RunWriter::SetModelName(std::string_view name) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    CheckName(name, "model.name");
    const std::uint64_t bytes = json::TextBytes(name.size());
    if (bytes > s.modelNameBytes) s.CheckRoom(bytes - s.modelNameBytes);
    s.modelName = name;
    s.modelNameBytes = bytes;
}

int RunWriter::AddVariable(const Variable& variable) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckModelOpen("model.variables");
    s.AddVariable(variable);
    return static_cast<int>(s.variables.size());
}

int RunWriter::AddVariables(std::span<const Variable> variables) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckModelOpen("model.variables");
    const size_t before = s.variables.size();
    try {
        for (const Variable& variable : variables) s.AddVariable(variable);
    } catch (...) {
        while (s.variables.size() > before) s.RemoveLastVariable();
        throw;
    }
    return static_cast<int>(before + 1);
}

void RunWriter::State::AddVariable(const Variable& variable) {
    variableNames.Check(variable.name, rules::kEmptyVariableName);
    const auto path = [this](const char* key) {
        return [this, key] { return Indexed("model.variables", variables.size()) + key; };
    };
    CheckInteger(variable.type, rules::kInt16, path(".type"));
    CheckInteger(variable.status, rules::kInt16, path(".status"));
    if (variable.value) CheckIsNumber(*variable.value, path(".value"));
    if (variables.size() >= static_cast<size_t>(rules::kInt32.max))
        Refuse("model.variables", "too many entries");
    const std::uint64_t bytes = EntryBytes(variable);
    CheckRoom(bytes);
    variables.push_back(variable);
    if (std::string problem; !variableNames.Added(problem)) {
        const std::string path = variableNames.LastPath();
        variables.pop_back();
        Refuse(path, problem);
    }
    restBytes += bytes;
}

void RunWriter::State::RemoveLastVariable() {
    restBytes -= EntryBytes(variables.back());
    variableNames.RemoveLast();
    variables.pop_back();
}

int RunWriter::AddEquation(const Equation& equation) {
    State& s = *m_state;
    const auto held = s.Hold();
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
    const std::uint64_t bytes = s.EntryBytes(equation);
    s.CheckRoom(bytes);
    s.equations.push_back(equation);
    if (std::string problem; !s.equationNames.Added(problem)) {
        const std::string path = s.equationNames.LastPath();
        s.equations.pop_back();
        Refuse(path, problem);
    }
    s.equationForms.emplace_back();
    s.restBytes += bytes;
    return static_cast<int>(s.equations.size());
}

void RunWriter::AddCoefficient(int equation, int variable, double coefficient) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    const auto path = [&s] { return Indexed("model.matrix", s.matrix.size()); };
    s.CheckItem(equation, true, path);
    s.CheckItem(variable, false, path);
    if (const auto earlier = s.matrixPairs.Find(equation, variable))
        Refuse(path(), rules::CoefficientTwice(equation, variable, *earlier));
    s.CheckRoom(room::kPerCoefficient);
    s.matrix.push_back({equation, variable, coefficient});
    s.matrixPairs.Add(equation, variable, s.matrix.size() - 1);
    s.restBytes += room::kPerCoefficient;
}

void RunWriter::MarkLinearised(int equation, int variable) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    const auto path = [&s] { return Indexed("model.linearised", s.linearised.size()); };
    s.CheckItem(equation, true, path);
    s.CheckItem(variable, false, path);
    if (!s.matrixPairs.Find(equation, variable)) Refuse(path(), rules::NoCoefficientToMark(equation, variable));
    if (const auto earlier = s.linearisedPairs.Find(equation, variable))
        Refuse(path(), rules::MarkedTwice(equation, variable, *earlier));
    s.CheckRoom(room::kPerLinearised);
    s.linearised.emplace_back(equation, variable);
    s.linearisedPairs.Add(equation, variable, s.linearised.size() - 1);
    s.restBytes += room::kPerLinearised;
}

void RunWriter::UseModelOptions() {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.modelOptionsUsed = true;
}

void RunWriter::State::AddOption(OptionSet& set, std::string_view name, const OptionValue& value) {
    CheckOpen();
    const std::uint64_t bytes = set.Check(name, value);
    CheckRoom(bytes);
    set.Add(name, value);
    restBytes += bytes;
}

void RunWriter::AddModelOption(std::string_view name, const OptionValue& value) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.AddOption(s.modelOptions, name, value);
    s.modelOptionsUsed = true;
}

void RunWriter::SetTolerances(const Tolerances& tolerances) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.tolerances = tolerances;
}

void RunWriter::AddSolverOption(std::string_view name, const OptionValue& value) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.AddOption(s.solverOptions, name, value);
}

void RunWriter::AddLpOption(std::string_view name, const OptionValue& value) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.AddOption(s.lpOptions, name, value);
}

void RunWriter::SetLpStatus(std::int64_t status) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    CheckInteger(status, rules::kInt32, "lp.status");
    s.lpStatus = status;
}

void RunWriter::AddDiagnosisEquation(std::int64_t equation) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckItem(equation, true, Indexed("lp.diagnosis.equations", s.diagnosisEquations.size()));
    s.CheckRoom(room::kPerDiagnosisItem);
    s.diagnosisEquations.push_back(equation);
    s.restBytes += room::kPerDiagnosisItem;
}

void RunWriter::AddDiagnosisVariable(std::int64_t variable) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckItem(variable, false, Indexed("lp.diagnosis.variables", s.diagnosisVariables.size()));
    s.CheckRoom(room::kPerDiagnosisItem);
    s.diagnosisVariables.push_back(variable);
    s.restBytes += room::kPerDiagnosisItem;
}

void RunWriter::SetVariableValue(int variable, double value) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckItem(variable, false, "model.variables");
    CheckIsNumber(value, [variable] { return Indexed("model.variables", static_cast<size_t>(variable) - 1) + ".value"; });
    Variable& item = s.variables[static_cast<size_t>(variable) - 1];
    Variable changed = item;
    changed.value = value;
    s.Change(item, changed);
}

void RunWriter::SetEquationValues(int equation, double value, double diag) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckItem(equation, true, "model.equations");
    CheckIsNumber(value, [equation] { return Indexed("model.equations", static_cast<size_t>(equation) - 1) + ".value"; });
    Equation& item = s.equations[static_cast<size_t>(equation) - 1];
    Equation changed = item;
    changed.value = value;
    changed.diag = diag;
    s.Change(item, changed);
}

static_assert(kFormMaxBytes == rules::kFormMaxBytes, "the writer tells the loader's limit");

void RunWriter::SetEquationForm(int equation, std::string_view form) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckItem(equation, true, "model.equations");
    const std::string path = Indexed("model.equations", static_cast<size_t>(equation) - 1) + ".form";
    CheckText(form, path);
    if (std::string problem = rules::FormProblem(form); !problem.empty()) Refuse(path, problem);
    std::string& kept = s.equationForms[static_cast<size_t>(equation) - 1];
    const std::uint64_t before = kept.empty() ? 0 : json::TextBytes(kept.size()) + room::kPerForm;
    const std::uint64_t after = form.empty() ? 0 : json::TextBytes(form.size()) + room::kPerForm;
    if (after > before) s.CheckRoom(after - before);
    kept.assign(form);
    s.restBytes = s.restBytes - before + after;
}

void RunWriter::AddIteration(const Iteration& iteration) {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.CheckIteration(iteration);
    s.WriteIteration(iteration);
    if (s.progress) {
        if (s.iterations == 1) s.WriteProgressModel();
        s.WriteProgressIteration(iteration);
    }
}

namespace {
// The numbers that tell how an iteration went (the report's iteration table).
template <typename Out>
void WriteResults(Out& out, const Iteration& iteration) {
    json::NumberMember(out, "objective", iteration.objective);
    if (iteration.userObjective) json::NumberMember(out, "user_objective", *iteration.userObjective);
    json::NumberMember(out, "infeasibility", iteration.infeasibility);
    json::NumberMember(out, "objective_convergence", iteration.objectiveConvergence);
    json::NumberMember(out, "residual_convergence", iteration.residualConvergence);
    json::NumberMember(out, "variable_convergence", iteration.variableConvergence);
    json::TextMember(out, "most_infeasible", iteration.mostInfeasible);
}

template <typename Out>
void WriteTriple(Out& out, double first, double second, double third) {
    out.StartArray();
    json::Number(out, first);
    json::Number(out, second);
    json::Number(out, third);
    out.EndArray();
}
}  // namespace

void RunWriter::WriteProgress() {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    if (s.progress) return;
    s.progress = std::make_unique<ProgressFile>(s.file.Target(), s.header.date.value_or(""));
    if (s.iterations > 0) s.WriteProgressModel();
}

// The model's names, once the first iteration has fixed them.
void RunWriter::State::WriteProgressModel() {
    const auto names = [](json::Writer& out, const auto& items) {
        out.StartArray();
        for (const auto& item : items) json::Text(out, item.name);
        out.EndArray();
    };
    progress->Line([&](json::Writer& out) {
        json::TextMember(out, "model", modelName);
        json::Key(out, "variables");
        names(out, variables);
        json::Key(out, "equations");
        names(out, equations);
    });
}

// An iteration's summary numbers, as the report's iteration table has them.
void RunWriter::State::WriteProgressIteration(const Iteration& iteration) {
    progress->Line([&](json::Writer& out) {
        json::IntegerMember(out, "iter", iterations - 1);
        json::Key(out, "feasible");
        out.Bool(iteration.feasible);
        WriteResults(out, iteration);
    });
}

void RunWriter::State::CheckIteration(const Iteration& iteration) const {
    const std::string path = Indexed("iterations", static_cast<size_t>(iterations));
    CheckInteger(iteration.nlVariables, rules::kInt32, path + ".nl_variables");
    CheckInteger(iteration.nlEquations, rules::kInt32, path + ".nl_equations");
    CheckIsNumber(iteration.objective, path + ".objective");
    if (iteration.userObjective) CheckIsNumber(*iteration.userObjective, path + ".user_objective");
    CheckIsNumber(iteration.infeasibility, path + ".infeasibility");
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
    if (iteration.variables.size() != variables.size())
        Refuse(path + ".variables", rules::TripleCount(iteration.variables.size(), variables.size(), true));
    if (iteration.equations.size() != equations.size())
        Refuse(path + ".equations", rules::TripleCount(iteration.equations.size(), equations.size(), false));
    for (size_t j = 0; j < iteration.variables.size(); ++j)
        CheckIsNumber(iteration.variables[j].value, [&] { return Indexed(path + ".variables", j) + "[0]"; });
    for (size_t i = 0; i < iteration.equations.size(); ++i)
        CheckIsNumber(iteration.equations[i].residual, [&] { return Indexed(path + ".equations", i) + "[0]"; });
}


void RunWriter::State::WriteIteration(const Iteration& iteration) {
    line.Write([&](json::Line::Writer& out) {
        out.StartObject();
        json::IntegerMember(out, "iter", iterations);
        json::IntegerMember(out, "nl_variables", iteration.nlVariables);
        json::IntegerMember(out, "nl_equations", iteration.nlEquations);
        json::Key(out, "feasible");
        out.Bool(iteration.feasible);
        json::NumberMember(out, "p_function", iteration.pFunction);
        json::NumberMember(out, "nonlinearity_ratio", iteration.nonlinearityRatio);
        WriteResults(out, iteration);
        json::Key(out, "errors");
        json::Texts(out, iteration.errors);
        json::Key(out, "warnings");
        json::Texts(out, iteration.warnings);
        json::Key(out, "information");
        json::Texts(out, iteration.information);
        json::Key(out, "variables");
        out.StartArray();
        for (const VariableTriple& t : iteration.variables) WriteTriple(out, t.value, t.step, t.shadowPrice);
        out.EndArray();
        json::Key(out, "equations");
        out.StartArray();
        for (const EquationTriple& t : iteration.equations) WriteTriple(out, t.residual, t.shadowPrice, t.slack);
        out.EndArray();
        out.EndObject();
    });
    CheckRoom(line.Size() + 1);
    // The document's writer places the value (the comma before it); its
    // text, made and measured apart, follows in one piece.
    const std::string_view text = line.Text();
    document.RawValue(text.data(), 0, rapidjson::kObjectType);
    Flush();
    Guard([&] { file.Write(text); });
    ++iterations;
}

void RunWriter::Close() {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.WriteRest();
    s.Guard([&] { s.file.Commit(); });
    s.ended = true;
    s.progress.reset();
}

void RunWriter::Abandon() {
    State& s = *m_state;
    const auto held = s.Hold();
    s.CheckOpen();
    s.ended = true;
    s.file.Discard();
    s.progress.reset();
}

// Everything but the iterations, after them: each part on a line of its
// own, and each of the model's items.
void RunWriter::State::WriteRest() {
    document.EndArray();
    stream.BreakLine();
    // The oldest version that holds what the run was given, so that a
    // reader of the older version reads a run without forms or linearised
    // coefficients.
    const bool newerGiven = !linearised.empty() || std::any_of(equationForms.begin(), equationForms.end(),
                                                               [](const std::string& form) { return !form.empty(); });
    json::IntegerMember(document, "version", newerGiven ? rules::kFormVersion : rules::kOldestVersion);
    json::Key(document, "case");
    document.StartObject();
    json::IntegerMember(document, "number", header.number);
    json::TextMember(document, "description", header.description);
    json::TextMember(document, "date", header.date.value_or(""));
    json::TextMember(document, "status", header.status);
    document.EndObject();
    WriteModel();
    stream.BreakLine();
    json::Key(document, "solver");
    document.StartObject();
    json::NumberMember(document, "feasibility_tolerance", tolerances.feasibility);
    json::NumberMember(document, "delta_tolerance_1", tolerances.delta1);
    json::NumberMember(document, "delta_tolerance_2", tolerances.delta2);
    json::Key(document, "options");
    solverOptions.Write(document);
    document.EndObject();
    WriteLp();
    document.EndObject();
    stream.Put('\n');  // the file ends with a line break
    Flush();
}

void RunWriter::State::WriteModel() {
    stream.BreakLine();
    json::Key(document, "model");
    document.StartObject();
    json::TextMember(document, "name", modelName);
    WriteItems("variables", variables, [this](const Variable& v) { WriteEntry(document, v); });
    std::size_t equationAt = 0;
    WriteItems("equations", equations, [this, &equationAt](const Equation& e) {
        WriteEntry(document, e, equationForms[equationAt++]);
    });
    WriteRows("matrix", matrix, 8, [this](const Coefficient& c) {
        json::Integer(document, c.equation);
        json::Integer(document, c.variable);
        json::Number(document, c.value);
    });
    if (!linearised.empty()) {
        WriteRows("linearised", linearised, 16, [this](const std::pair<int, int>& pair) {
            json::Integer(document, pair.first);
            json::Integer(document, pair.second);
        });
    }
    if (modelOptionsUsed) {
        json::Key(document, "options");
        modelOptions.Write(document);
    }
    document.EndObject();
}

void RunWriter::State::WriteLp() {
    const auto items = [this](const std::vector<std::int64_t>& numbers) {
        document.StartArray();
        for (const std::int64_t number : numbers) json::Integer(document, number);
        document.EndArray();
    };
    stream.BreakLine();
    json::Key(document, "lp");
    document.StartObject();
    json::IntegerMember(document, "status", lpStatus);
    json::Key(document, "options");
    lpOptions.Write(document);
    json::Key(document, "diagnosis");
    document.StartObject();
    json::Key(document, "equations");
    items(diagnosisEquations);
    json::Key(document, "variables");
    items(diagnosisVariables);
    document.EndObject();
    document.EndObject();
}

int RunWriter::VariableCount() const {
    const auto held = m_state->Hold();
    return static_cast<int>(m_state->variables.size());
}
int RunWriter::EquationCount() const {
    const auto held = m_state->Hold();
    return static_cast<int>(m_state->equations.size());
}
int RunWriter::IterationCount() const {
    const auto held = m_state->Hold();
    return m_state->iterations;
}

}  // namespace tarn::rundata
