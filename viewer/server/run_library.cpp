#include "run_library.h"

#include <algorithm>
#include <set>

#include "report_json.h"
#include "report_library.h"

namespace tarnview::server {

namespace fs = std::filesystem;

namespace {

// A resolved path for a file that may not be there yet: its folder resolved.
std::string KeyOf(const fs::path& base) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(base, error), error);
    return (error ? base : resolved).string();
}

void WriteIteration(JsonText& json, const ProgressIteration& iteration) {
    json.StartObject();
    json.Key("iter").Integer(iteration.number);
    json.Key("major").Integer(ReportIterationNumber(iteration));
    json.Key("feasible").Bool(iteration.feasible);
    json.Key("objective").Number(iteration.objective);
    if (iteration.userObjective) json.Key("user_objective").Number(*iteration.userObjective);
    json.Key("infeasibility").Number(iteration.infeasibility);
    json.Key("objective_convergence").Number(iteration.objectiveConvergence);
    json.Key("residual_convergence").Number(iteration.residualConvergence);
    json.Key("variable_convergence").Number(iteration.variableConvergence);
    json.Key("most_infeasible").Text(iteration.mostInfeasible);
    json.EndObject();
}

}  // namespace

RunLibrary::RunLibrary(ReportLibrary& reports, std::chrono::milliseconds rescan) : reports_(reports), rescan_(rescan) {}

bool RunLibrary::AddFolder(const std::string& folder, std::string& error) {
    std::error_code problem;
    const fs::path root = fs::canonical(folder, problem);
    if (problem || !fs::is_directory(root, problem)) {
        error = folder + ": " + (problem ? problem.message() : std::string("is not a folder"));
        return false;
    }
    std::lock_guard lock(mutex_);
    folders_.push_back({folder, root});
    lastLook_.reset();
    return true;
}

bool RunLibrary::AddRun(const std::string& given, std::string& error) {
    const RunFiles files = FilesOfRun(given);
    bool there = false;
    for (const fs::path& file : {files.progress, files.runData, files.report}) {
        std::error_code problem;
        const fs::file_status status = fs::status(file, problem);
        if (!fs::exists(status)) continue;
        if (!fs::is_regular_file(status)) {
            error = file.string() + ": is not a regular file, not a run's";
            return false;
        }
        there = true;
    }
    if (!there) {
        error = given + ": no run there (none of " + files.progress.filename().string() + ", " +
                files.runData.filename().string() + ", " + files.report.filename().string() + ")";
        return false;
    }
    std::lock_guard lock(mutex_);
    runs_.push_back({files.base.filename().string(), files});
    lastLook_.reset();
    return true;
}

std::size_t RunLibrary::FolderCount() const {
    std::lock_guard lock(mutex_);
    return folders_.size();
}

std::size_t RunLibrary::RunCount() const {
    std::lock_guard lock(mutex_);
    return listed_.size();
}

RunLibrary::Entry& RunLibrary::EntryOf(const std::string& key) {
    auto [found, added] = entries_.try_emplace(key);
    if (added) {
        found->second.id = byId_.size();
        byId_.push_back(&found->second);
    }
    return found->second;
}

void RunLibrary::Track(Entry& entry, FoundRun run, const fs::path& root) {
    entry.tracker = std::make_unique<RunTracker>(std::move(run), root);
}

// A report served already, or one refused; any other is to be read with
// the lock let go (ReadWaitingReports).
ReadReport RunLibrary::ReadRunReport(const fs::path& path, std::string& error) {
    const std::string key = path.string();
    if (const std::optional<std::size_t> id = reports_.Served(key)) {
        const std::shared_ptr<const ServedReport> served = reports_.Current(*id);
        return {std::shared_ptr<const Report>(served, &served->report()), id};
    }
    if (const auto refused = refused_.find(key); refused != refused_.end()) {
        error = refused->second;
        refused_.erase(refused);
        return {};
    }
    waiting_.insert(key);
    return {nullptr, std::nullopt, true};
}

// Reads the reports the last look found waiting, the lock let go meanwhile,
// then looks again.  A report another request reads now is left to it.
void RunLibrary::ReadWaitingReports(std::unique_lock<std::mutex>& lock) {
    std::vector<std::string> paths;
    for (const std::string& path : waiting_)
        if (reading_.insert(path).second) paths.push_back(path);
    waiting_.clear();
    if (paths.empty()) return;
    lock.unlock();
    if (whileReading_) whileReading_();
    std::map<std::string, std::string> refused;
    for (const std::string& path : paths) {
        std::string error;
        try {
            if (!reports_.Add(path, error)) refused.emplace(path, error);
        } catch (const std::exception& problem) {
            refused.emplace(path, path + ": " + problem.what());
        }
    }
    lock.lock();
    for (const std::string& path : paths) reading_.erase(path);
    for (auto& [path, why] : refused) refused_.insert_or_assign(path, std::move(why));
    Look(true);
    waiting_.clear();  // a report that appeared meanwhile: at the next look
}

// True when the row changed.
bool RunLibrary::UpdateRow(Entry& entry, std::uint64_t& byteBudget) {
    const ReportReader reader = [this](const fs::path& path, std::string& error) {
        return ReadRunReport(path, error);
    };
    const RunRow& row = entry.tracker->Update(reader, byteBudget);
    if (entry.tracker->Waiting()) return false;
    JsonText json;
    WriteRunRow(json, row, entry.id);
    std::string text = json.Take();
    if (text == entry.row) return false;
    entry.row = std::move(text);
    return true;
}

void RunLibrary::RefreshNow() {
    std::unique_lock lock(mutex_);
    Refresh(lock, true);
}

void RunLibrary::Refresh(std::unique_lock<std::mutex>& lock, bool always) {
    Look(always);
    ReadWaitingReports(lock);
}

void RunLibrary::Look(bool always) {
    const auto now = std::chrono::steady_clock::now();
    // A big folder is looked at less often: at most a fifth of the time goes
    // to looking (but where every request is to look again).
    const auto gap = rescan_.count() == 0 ? std::chrono::steady_clock::duration{}
                                          : std::max<std::chrono::steady_clock::duration>(rescan_, 4 * lookTook_);
    if (!always && lastLook_ && now - *lastLook_ < gap) return;
    lastLook_ = now;
    struct Timed {
        std::chrono::steady_clock::duration& took;
        std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
        ~Timed() { took = std::chrono::steady_clock::now() - start; }
    } timed{lookTook_};
    std::vector<Entry*> listed;
    std::set<std::size_t> seen;
    bool truncated = false;
    const auto list = [&](FoundRun run, const fs::path& root) {
        Entry& entry = EntryOf(KeyOf(run.files.base));
        if (!seen.insert(entry.id).second) return;
        if (listed.size() >= kMaxFolderRuns) return void(truncated = true);
        if (!entry.tracker) Track(entry, std::move(run), root);
        listed.push_back(&entry);
    };
    for (const FoundRun& run : runs_) list(run, {});
    for (const Folder& folder : folders_) {
        FolderScan scan;
        std::string error;
        if (!ScanFolder(folder.root, scan, error)) continue;  // the folder went away: none of it listed
        truncated = truncated || scan.truncated;
        for (FoundRun& run : scan.runs) list(std::move(run), folder.root);
    }
    // A run no longer there keeps its id, not what was read of it.
    for (Entry* gone : listed_) {
        if (!seen.count(gone->id)) gone->tracker.reset(), gone->row.clear();
    }
    std::uint64_t budget = kProgressBytesPerUpdate;
    bool changed = false;
    for (Entry* entry : listed) changed = UpdateRow(*entry, budget) || changed;
    // A run first seen with its report still to be read is listed once it is read.
    std::erase_if(listed, [](const Entry* entry) { return entry->row.empty(); });
    changed = changed || listed != listed_ || truncated != truncated_;
    listed_ = std::move(listed);
    truncated_ = truncated;
    if (changed) ++generation_;
}

Reply RunLibrary::RunsReply(const std::string* since) {
    std::optional<std::uint64_t> known;
    if (since != nullptr && !(known = ReadNumber(*since))) return BadParameter("since", "a whole number");
    std::unique_lock lock(mutex_);
    Refresh(lock, false);
    if (known == generation_) {
        JsonText json;
        json.StartObject().Key("generation").Count(generation_).Key("unchanged").Bool(true).EndObject();
        return {200, json.Take()};
    }
    if (answered_ != generation_) {
        answer_ = "{\"generation\":" + std::to_string(generation_) + ",\"runs\":[";
        for (std::size_t k = 0; k < listed_.size(); ++k) answer_ += (k ? "," : "") + listed_[k]->row;
        answer_ += std::string("],\"truncated\":") + (truncated_ ? "true" : "false") + "}";
        answered_ = generation_;
    }
    return {200, answer_};
}

Reply RunLibrary::ProgressReply(const std::string& idText, const std::string* since) {
    const std::optional<std::uint64_t> id = ReadNumber(idText);
    std::optional<std::uint64_t> from = 0;
    if (since != nullptr && !(from = ReadNumber(*since))) return BadParameter("since", "a whole number");
    std::unique_lock lock(mutex_);
    Refresh(lock, false);
    if (!id || *id >= byId_.size() || !byId_[*id]->tracker) return ErrorReply(404, "no run with this id");
    Entry& entry = *byId_[*id];
    std::uint64_t budget = kProgressBytesPerUpdate;
    if (UpdateRow(entry, budget)) ++generation_;
    ReadWaitingReports(lock);  // its report, when it just appeared
    if (!entry.tracker || entry.row.empty()) return ErrorReply(404, "no run with this id");
    const RunRow& row = entry.tracker->Row();
    const RunProgress& progress = entry.tracker->Progress();
    JsonText json;
    json.StartObject();
    json.Key("id").Count(entry.id);
    json.Key("name").Text(row.name);
    json.Key("state").Text(StateText(row.state));
    json.Key("model").Text(progress.model);
    json.Key("pid").Integer(progress.pid);
    json.Key("started").Text(progress.started);
    json.Key("variables").Count(progress.variables.size());
    json.Key("equations").Count(progress.equations.size());
    json.Key("iterations").StartArray();
    const std::vector<ProgressIteration>& iterations = progress.iterations;
    std::size_t first = 0;
    if (!iterations.empty() && *from > static_cast<std::uint64_t>(iterations.front().number))
        first = static_cast<std::size_t>(std::min<std::uint64_t>(*from - iterations.front().number, iterations.size()));
    const std::size_t last = std::min(iterations.size(), first + kMaxIterationsPerReply);
    for (std::size_t k = first; k < last; ++k) WriteIteration(json, iterations[k]);
    json.EndArray();
    json.Key("more").Bool(last < iterations.size());
    json.Key("report");
    if (row.reportId) json.Count(*row.reportId); else json.Null();
    json.Key("problem");
    if (row.problem.empty()) json.Null(); else json.Text(row.problem);
    json.EndObject();
    return {200, json.Take()};
}

}  // namespace tarnview::server
