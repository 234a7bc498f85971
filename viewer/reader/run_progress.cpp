// The progress file read line by line, every line checked before it counts.
#include "run_progress.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <rapidjson/document.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>

#include "file_stamp.h"

namespace tarnview {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFormat = "tarn-vdr-progress";
constexpr int kVersion = 1;
constexpr std::string_view kRunDataSuffix = ".vdr", kProgressSuffix = ".progress", kReportSuffix = ".log";

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A line's fault, to be told with the file and the line.
struct LineError {
    std::string problem;
};

[[noreturn]] void Refuse(std::string problem) { throw LineError{std::move(problem)}; }

using Value = rapidjson::Value;

const Value* Member(const Value& line, const char* name) {
    const auto found = line.FindMember(name);
    return found == line.MemberEnd() ? nullptr : &found->value;
}

const Value& Required(const Value& line, const char* name) {
    const Value* value = Member(line, name);
    if (value == nullptr) Refuse(std::string("no \"") + name + "\"");
    return *value;
}

std::string Text(const Value& line, const char* name) {
    const Value& value = Required(line, name);
    if (!value.IsString()) Refuse(std::string("\"") + name + "\" is not a text");
    return std::string(value.GetString(), value.GetStringLength());
}

long long Integer(const Value& line, const char* name, long long least, long long most) {
    const Value& value = Required(line, name);
    if (!value.IsInt64() || value.GetInt64() < least || value.GetInt64() > most)
        Refuse(std::string("\"") + name + "\" is not an integer from " + std::to_string(least) + " to " +
               std::to_string(most));
    return value.GetInt64();
}

// A number as the run data writes it: a JSON number, or "inf", "-inf",
// "nan" for the non-finite ones.
double NumberOf(const Value& value, const char* name) {
    if (value.IsNumber()) return value.GetDouble();
    if (value.IsString()) {
        const std::string_view text(value.GetString(), value.GetStringLength());
        if (text == "inf") return HUGE_VAL;
        if (text == "-inf") return -HUGE_VAL;
        if (text == "nan") return std::numeric_limits<double>::quiet_NaN();
    }
    Refuse(std::string("\"") + name + "\" is not a number");
}

double Number(const Value& line, const char* name) { return NumberOf(Required(line, name), name); }

std::vector<std::string> Names(const Value& line, const char* name) {
    const Value& value = Required(line, name);
    if (!value.IsArray()) Refuse(std::string("\"") + name + "\" is not a list of names");
    std::vector<std::string> names;
    names.reserve(value.Size());
    for (const Value& item : value.GetArray()) {
        if (!item.IsString()) Refuse(std::string("\"") + name + "\" holds something that is not a name");
        names.emplace_back(item.GetString(), item.GetStringLength());
    }
    return names;
}

// One object, each key once.
void CheckObject(const Value& line) {
    if (!line.IsObject()) Refuse("is not a JSON object");
    std::set<std::string_view> keys;
    for (const auto& member : line.GetObject())
        if (!keys.emplace(member.name.GetString(), member.name.GetStringLength()).second)
            Refuse("has \"" + std::string(member.name.GetString(), member.name.GetStringLength()) + "\" twice");
}

void ReadHeader(const Value& line, RunProgress& progress) {
    if (Text(line, "format") != kFormat) Refuse("is not the start of a run's progress (no \"format\": \"tarn-vdr-progress\")");
    const long long version = Integer(line, "version", 0, INT_MAX);
    if (version != kVersion)
        Refuse("has version " + std::to_string(version) + "; this tarnview reads version " + std::to_string(kVersion));
    progress.run = Text(line, "run");
    progress.pid = Integer(line, "pid", 1, LLONG_MAX);
    progress.started = Text(line, "started");
}

void ReadModel(const Value& line, RunProgress& progress) {
    progress.model = Text(line, "model");
    progress.variables = Names(line, "variables");
    progress.equations = Names(line, "equations");
}

ProgressIteration ReadIteration(const Value& line, const RunProgress& progress) {
    ProgressIteration iteration;
    iteration.number = static_cast<int>(Integer(line, "iter", 0, INT_MAX));
    if (!progress.iterations.empty() && iteration.number != progress.iterations.back().number + 1)
        Refuse("is iteration " + std::to_string(iteration.number) + " after iteration " +
               std::to_string(progress.iterations.back().number));
    const Value& feasible = Required(line, "feasible");
    if (!feasible.IsBool()) Refuse("\"feasible\" is not true or false");
    iteration.feasible = feasible.GetBool();
    iteration.objective = Number(line, "objective");
    if (const Value* user = Member(line, "user_objective")) iteration.userObjective = NumberOf(*user, "user_objective");
    iteration.infeasibility = Number(line, "infeasibility");
    iteration.objectiveConvergence = Number(line, "objective_convergence");
    iteration.residualConvergence = Number(line, "residual_convergence");
    iteration.variableConvergence = Number(line, "variable_convergence");
    iteration.mostInfeasible = Text(line, "most_infeasible");
    return iteration;
}

// One whole line: the header first, then the model's names, then the
// iterations in order.
void ReadLine(std::string_view text, RunProgress& progress, ProgressCursor& cursor) {
    rapidjson::Document line;
    // Iterative: no nesting, however deep, can exhaust the stack.
    line.Parse<rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag |
               rapidjson::kParseFullPrecisionFlag>(text.data(), text.size());
    if (line.HasParseError()) Refuse("is not JSON (or not UTF-8)");
    CheckObject(line);
    if (cursor.lines == 0) return ReadHeader(line, progress);
    if (Member(line, "model") != nullptr) {
        if (cursor.modelRead) Refuse("gives the model a second time");
        ReadModel(line, progress);
        cursor.modelRead = true;
        return;
    }
    if (!cursor.modelRead) Refuse("is neither the model's names nor after them");
    progress.iterations.push_back(ReadIteration(line, progress));
}

class Descriptor {
public:
    explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
    ~Descriptor() {
        if (m_descriptor >= 0) ::close(m_descriptor);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// Whether the file no longer starts as it did when the cursor read its
// first line (a later run truncated it and wrote it again).
bool StartsAnew(int file, const ProgressCursor& cursor) {
    if (cursor.firstLine.empty()) return false;
    std::string start(cursor.firstLine.size(), '\0');
    std::size_t got = 0;
    while (got < start.size()) {
        const ssize_t read = ::pread(file, start.data() + got, start.size() - got, static_cast<off_t>(got));
        if (read < 0 && errno == EINTR) continue;
        if (read <= 0) break;
        got += static_cast<std::size_t>(read);
    }
    return got < start.size() || start != cursor.firstLine;
}

enum class Look { kFailed, kUnchanged, kRead };

// The bytes of a regular file from `from` to its end as it is now (or the
// whole file when it is not the one `cursor` read, is shorter than that,
// or starts anew); kUnchanged when nothing was written since `cursor`.
Look ReadNewBytes(const fs::path& path, ProgressCursor& cursor, bool& restart, std::string& bytes,
                  std::string& error) {
    const std::string name = path.string();
    // Without waiting: a FIFO in the file's place would block the open.
    const Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat status {};
    if (file.get() < 0) {
        const int cause = errno;
        if (::stat(name.c_str(), &status) == 0 && !S_ISREG(status.st_mode))
            error = name + ": is " + KindOfFile(status.st_mode) + ", not a run's progress";
        else
            error = name + ": cannot open: " + std::strerror(cause);
        return Look::kFailed;
    }
    if (::fstat(file.get(), &status) != 0) {
        error = name + ": cannot read its size: " + std::strerror(errno);
        return Look::kFailed;
    }
    if (!S_ISREG(status.st_mode)) {
        error = name + ": is " + KindOfFile(status.st_mode) + ", not a run's progress";
        return Look::kFailed;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    if (size > kMaxProgressBytes) {
        error = name + ": is larger than " + std::to_string(kMaxProgressBytes >> 20) + " MiB, not a run's progress";
        return Look::kFailed;
    }
    restart = cursor.lines == 0 || cursor.device != status.st_dev || cursor.inode != status.st_ino ||
              size < cursor.offset;
    if (!restart && size == cursor.size) return Look::kUnchanged;
    restart = restart || StartsAnew(file.get(), cursor);
    cursor.size = size;
    const std::uint64_t from = restart ? 0 : cursor.offset;
    bytes.resize(size - from);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t read = ::pread(file.get(), bytes.data() + got, bytes.size() - got,
                                     static_cast<off_t>(from + got));
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) {
            error = name + ": cannot read: " + std::strerror(errno);
            return Look::kFailed;
        }
        if (read == 0) break;  // cut short while read: the rest is read later
        got += static_cast<std::size_t>(read);
    }
    bytes.resize(got);
    cursor.device = status.st_dev;
    cursor.inode = status.st_ino;
    if (restart) {
        const std::size_t firstEnd = bytes.find('\n');
        cursor.firstLine = firstEnd == std::string::npos ? std::string()
                                                         : bytes.substr(0, std::min(firstEnd + 1, kFirstLineKept));
    }
    return Look::kRead;
}

}  // namespace

RunFiles FilesOfRun(const fs::path& given) {
    std::string base = given.string();
    if (EndsWith(base, std::string(kRunDataSuffix) + std::string(kProgressSuffix)))
        base.resize(base.size() - kProgressSuffix.size());
    for (const std::string_view suffix : {kRunDataSuffix, kReportSuffix})
        if (EndsWith(base, suffix)) {
            base.resize(base.size() - suffix.size());
            break;
        }
    RunFiles files;
    files.base = base;
    files.runData = base + std::string(kRunDataSuffix);
    files.progress = files.runData.string() + std::string(kProgressSuffix);
    files.report = base + std::string(kReportSuffix);
    return files;
}

bool ReadRunProgressFrom(const fs::path& path, RunProgress& progress, ProgressCursor& cursor, std::string& error) {
    ProgressCursor next = cursor;
    bool restart = false;
    std::string bytes;
    if (const Look look = ReadNewBytes(path, next, restart, bytes, error); look != Look::kRead)
        return look == Look::kUnchanged;
    RunProgress fresh;
    RunProgress& into = restart ? fresh : progress;
    const std::size_t iterationsBefore = into.iterations.size();
    if (restart && next.lines > 0) ++next.rereads;
    if (restart) next.offset = next.lines = 0, next.modelRead = false;
    // A fault leaves what was read before: the new iterations go, and the
    // names when they came in this read.
    const auto refuse = [&](const std::string& problem) {
        error = path.string() + ": line " + std::to_string(next.lines + 1) + ": " + problem;
        if (restart) return false;
        into.iterations.resize(iterationsBefore);
        if (!cursor.modelRead) into.model.clear(), into.variables.clear(), into.equations.clear();
        return false;
    };
    std::size_t start = 0;
    try {
        for (std::size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
            ReadLine(std::string_view(bytes).substr(start, end - start), into, next);
            ++next.lines;
        }
    } catch (const LineError& fault) {
        return refuse(fault.problem);
    }
    if (bytes.size() - start > kMaxProgressLineBytes)
        return refuse("longer than " + std::to_string(kMaxProgressLineBytes >> 20) + " MiB");
    next.offset += start;
    into.complete = start == bytes.size();
    if (restart) progress = std::move(fresh);
    cursor = next;
    return true;
}

std::optional<RunProgress> ReadRunProgress(const fs::path& path, std::string& error) {
    RunProgress progress;
    ProgressCursor cursor;
    if (!ReadRunProgressFrom(path, progress, cursor, error)) return std::nullopt;
    return progress;
}

int ReportIterationNumber(const ProgressIteration& iteration) { return iteration.number - 1; }

bool ProcessRuns(long long pid) {
    if (pid <= 0 || pid > INT_MAX) return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
    // A process that ended but was not waited for yet (a zombie) no longer runs.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;  // no /proc: what kill said
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return true;
    const char state = text[close + 2];
    return state != 'Z' && state != 'X';
}

RunState StateOfRun(const RunFiles& files, const std::optional<RunProgress>& progress) {
    return StateOfFollowedRun(files, progress ? &*progress : nullptr);
}

RunState StateOfFollowedRun(const RunFiles& given, const RunProgress* progress) {
    const RunFiles files = FilesOfThisRun(given);
    std::error_code ignored;
    if (fs::exists(files.report, ignored)) return RunState::kEnded;
    if (fs::exists(files.runData, ignored)) return RunState::kReportMissing;
    if (progress && fs::exists(files.progress, ignored)) {
        // No pid yet: the first line is being written.
        if (progress->pid == 0 || ProcessRuns(progress->pid)) return RunState::kRunning;
    }
    return RunState::kStopped;
}

RunFiles FilesOfThisRun(const RunFiles& files) {
    std::error_code error;
    const fs::file_time_type progressWritten = fs::last_write_time(files.progress, error);
    if (error) return files;
    RunFiles current = files;
    for (fs::path* file : {&current.runData, &current.report}) {
        const fs::file_time_type written = fs::last_write_time(*file, error);
        if (!error && written < progressWritten) file->clear();
    }
    return current;
}

std::string_view StateText(RunState state) {
    switch (state) {
        case RunState::kRunning: return "running";
        case RunState::kStopped: return "stopped without an end";
        case RunState::kReportMissing: return "report missing";
        case RunState::kEnded: return "ended";
        case RunState::kFailed: return "failed";
    }
    return "failed";
}

}  // namespace tarnview
