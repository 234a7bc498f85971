// A folder's runs found and each brought up to date from its files.
#include "run_folder.h"

#include <time.h>

#include <chrono>
#include <limits>
#include <map>

#include "file_stamp.h"
#include "report_json.h"
#include "report_reader.h"

namespace tarnview {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSuffixes[] = {".vdr.progress", ".vdr", ".log"};

// The base of a run's file: its path without the suffix that makes it one.
std::optional<fs::path> BaseOf(const fs::path& file) {
    const std::string text = file.string();
    for (const std::string_view suffix : kSuffixes) {
        if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            text[text.size() - suffix.size() - 1] != '/')
            return fs::path(text.substr(0, text.size() - suffix.size()));
    }
    return std::nullopt;
}

// Whether `inner` (resolved) lies in `root` (resolved).
bool Within(const fs::path& root, const fs::path& inner) {
    const fs::path relative = inner.lexically_relative(root);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

// Whether a directory entry may be a run's file: a regular file, or a link
// to one inside the folder.
bool IsRunFile(const fs::path& root, const fs::directory_entry& entry) {
    std::error_code error;
    const fs::file_status status = entry.symlink_status(error);
    if (error) return false;
    if (fs::is_regular_file(status)) return true;
    return fs::is_symlink(status) && FileInside(root, entry.path()).has_value();
}

}  // namespace

std::optional<fs::path> FileInside(const fs::path& root, const fs::path& path) {
    std::error_code error;
    // A regular file named below the resolved folder by names that are no
    // links (as a scan finds them) is inside it as it is; anything else is
    // resolved first.
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || !fs::exists(status)) return std::nullopt;
    if (fs::is_regular_file(status) && path.is_absolute() && Within(root, path.lexically_normal()) &&
        !fs::is_symlink(fs::symlink_status(path.parent_path(), error)) && !error)
        return path;
    const fs::path resolved = fs::canonical(path, error);
    if (error || !Within(root, resolved) || !fs::is_regular_file(resolved, error) || error) return std::nullopt;
    return resolved;
}

bool ScanFolder(const fs::path& folder, FolderScan& scan, std::string& error) {
    std::error_code problem;
    const fs::path root = fs::canonical(folder, problem);
    if (problem || !fs::is_directory(root, problem)) {
        error = folder.string() + ": " + (problem ? problem.message() : std::string("is not a folder"));
        return false;
    }
    std::map<std::string, FoundRun> found;
    fs::recursive_directory_iterator entries(root, fs::directory_options::skip_permission_denied, problem);
    if (problem) {
        error = folder.string() + ": cannot read: " + problem.message();
        return false;
    }
    std::size_t looked = 0;
    scan.truncated = false;
    for (; entries != fs::recursive_directory_iterator(); entries.increment(problem)) {
        if (problem) break;  // a folder that went away while read: what was found stands
        if (++looked > kMaxFolderEntries) {
            scan.truncated = true;
            break;
        }
        const std::optional<fs::path> base = BaseOf(entries->path());
        if (!base || !IsRunFile(root, *entries)) continue;
        std::string name = base->lexically_relative(root).string();
        if (found.count(name) == 0 && found.size() >= kMaxFolderRuns) {
            scan.truncated = true;
            continue;
        }
        found.try_emplace(name, FoundRun{name, FilesOfRun(*base)});
    }
    scan.runs.clear();
    scan.runs.reserve(found.size());
    for (auto& [name, run] : found) scan.runs.push_back(std::move(run));
    return true;
}

ReadReport OpenRunReport(const fs::path& path, std::string& error) {
    try {
        std::shared_ptr<const Report> report = Report::Open(path.string());
        if (const std::optional<std::string> why = NotAReport(*report)) {
            error = *why;
            return {};
        }
        return {std::move(report), std::nullopt};
    } catch (const ReadError& failure) {
        error = failure.what();
    } catch (const std::bad_alloc&) {
        error = path.string() + ": not enough memory to read the report";
    } catch (const std::exception& failure) {
        error = path.string() + ": " + failure.what();
    }
    return {};
}

RunTracker::RunTracker(FoundRun run, fs::path root) : run_(std::move(run)), root_(std::move(root)) {
    row_.name = run_.name;
}

// The file when it is there to be read: for a run of a folder, only a
// regular file inside it.
std::optional<fs::path> RunTracker::Confined(const fs::path& path) const {
    std::error_code error;
    if (root_.empty()) return fs::exists(fs::symlink_status(path, error)) ? std::optional<fs::path>(path) : std::nullopt;
    return FileInside(root_, path);
}

void RunTracker::ReadProgress(const fs::path& path, std::uint64_t& byteBudget) {
    if (progressRead_ && byteBudget == 0) return;
    // A file refused is read again only once it changed.
    const std::optional<FileStamp> stamp = StampOf(path.string());
    if (!progressError_.empty() && stamp && stamp == refusedProgress_) return;
    refusedProgress_ = stamp;
    const std::uint64_t before = cursor_.offset;
    const unsigned long long inode = cursor_.inode;
    progressError_.clear();
    if (!ReadRunProgressFrom(path, progress_, cursor_, progressError_)) return;
    progressRead_ = true;
    const std::uint64_t read = cursor_.inode == inode ? cursor_.offset - before : cursor_.offset;
    byteBudget -= std::min(byteBudget, read);
}

// False when the report is still to be read (the row is then left to the caller).
bool RunTracker::TakeReport(const fs::path& path, const ReportReader& reports) {
    const std::optional<FileStamp> stamp = StampOf(path.string());
    ReadReport read;
    if (!stamp || stamp != failedReport_) {
        read = reports(path, reportProblem_);
        if (read.later) return false;
        failedReport_ = read.report ? std::nullopt : stamp;
    }
    if (!read.report) {
        row_.state = RunState::kFailed;
        row_.problem = reportProblem_;
        return true;
    }
    if (read.report != report_) {
        facts_ = FactsOf(*read.report);
        report_ = read.report;
    }
    row_.state = RunState::kEnded;
    row_.status = facts_.status;
    row_.iterations = facts_.majorIterations;
    row_.objective = facts_.finalObjective;
    row_.infeasibility = facts_.finalInfeasibility;
    row_.reportSize = report_->Bytes();
    row_.reportId = read.id;
    return true;
}

void RunTracker::TakeProgressNumbers() {
    if (progress_.iterations.empty()) return;
    const ProgressIteration& last = progress_.iterations.back();
    row_.iterations = static_cast<std::size_t>(last.number);
    row_.objective = last.objective;
    row_.infeasibility = last.infeasibility;
}

const RunRow& RunTracker::Update(const ReportReader& reports, std::uint64_t& byteBudget) {
    // While a case is run again, the earlier run's report is not this run's.
    const RunFiles files = FilesOfThisRun(run_.files);
    const std::optional<fs::path> report = Confined(files.report), runData = Confined(files.runData),
                                  progress = Confined(files.progress);
    RunRow row;
    row.name = run_.name;
    std::swap(row, row_);
    waiting_ = false;
    std::optional<fs::file_time_type> changed;
    for (const auto& file : {report, runData, progress}) {
        std::error_code error;
        const fs::file_time_type time = file ? fs::last_write_time(*file, error) : fs::file_time_type{};
        if (file && !error && (!changed || time > *changed)) changed = time;
    }
    row_.changed = changed ? UtcTimeText(*changed) : row.changed;
    if (report) {
        // A report still to be read: the row as it was until it is.
        waiting_ = !TakeReport(*report, reports);
        if (waiting_) row_ = std::move(row);
        return row_;
    }
    if (progress) ReadProgress(*progress, byteBudget);
    TakeProgressNumbers();
    if (runData) {
        row_.state = RunState::kReportMissing;
    } else if (progress && !progressError_.empty() && Confined(files.progress)) {
        row_.state = RunState::kFailed;
        row_.problem = progressError_;
    } else {
        row_.state = progress && progressRead_ ? StateOfFollowedRun(files, &progress_) : RunState::kStopped;
    }
    return row_;
}

std::vector<RunRow> RowsOfFolder(const fs::path& folder, bool& truncated, std::string& error) {
    FolderScan scan;
    if (!ScanFolder(folder, scan, error)) return {};
    truncated = scan.truncated;
    std::error_code gone;
    const fs::path root = fs::canonical(folder, gone);
    if (gone) return (error = folder.string() + ": " + gone.message(), std::vector<RunRow>{});
    std::vector<RunRow> rows;
    rows.reserve(scan.runs.size());
    std::uint64_t budget = std::numeric_limits<std::uint64_t>::max();
    for (FoundRun& run : scan.runs) {
        RunTracker tracker(std::move(run), root);
        rows.push_back(tracker.Update(OpenRunReport, budget));
    }
    return rows;
}

void WriteRunRow(JsonText& json, const RunRow& row, std::optional<std::size_t> id) {
    const auto number = [&](const char* key, const std::optional<double>& value) {
        json.Key(key);
        if (value) json.Number(*value); else json.Null();
    };
    const auto count = [&](const char* key, const auto& value) {
        json.Key(key);
        if (value) json.Count(*value); else json.Null();
    };
    json.StartObject();
    if (id) json.Key("id").Count(*id);
    json.Key("name").Text(row.name);
    json.Key("state").Text(StateText(row.state));
    json.Key("status");
    if (row.status) json.Text(*row.status); else json.Null();
    count("iterations", row.iterations);
    number("objective", row.objective);
    number("infeasibility", row.infeasibility);
    count("report", row.reportId);
    count("reportSize", row.reportSize);
    json.Key("changed").Text(row.changed);
    json.Key("problem");
    if (row.problem.empty()) json.Null(); else json.Text(row.problem);
    json.EndObject();
}

std::string UtcTimeText(fs::file_time_type time) {
    const auto system = std::chrono::file_clock::to_sys(time);
    const time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(system));
    struct tm parts {};
    gmtime_r(&seconds, &parts);
    char text[32];
    const std::size_t length = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(text, length);
}

}  // namespace tarnview
