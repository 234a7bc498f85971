// The watch: runs under a folder reported as their data files close, in
// report processes of their own, up to --jobs at once; what each printed is
// passed on as it ends.
#include "watch_folder.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "directory_watch.h"
#include "report_outcome.h"
#include "report_process.h"

namespace host {
namespace {

namespace fs = std::filesystem;

constexpr int kPollMilliseconds = 1000;
const WatchedNames kWatchedNames{IsWatchedRunData, IsWatchedFolder};

bool IsHidden(std::string_view name) { return name.starts_with('.'); }

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
}

// The text with each control character shown as '?', for one line.
std::string OnOneLine(std::string text) {
    for (char& c : text)
        if (HasControlCharacter(std::string_view(&c, 1))) c = '?';
    return text;
}

// Whether the run's data is there and its report is missing or not newer:
// a report newer than its data was written from it.  `changed`: the data
// changed while its report was written, so the report is not from it.
bool NeedsReport(const fs::path& data, const fs::path& report, bool changed) {
    std::error_code error;
    if (!fs::is_regular_file(data, error)) return false;  // gone meanwhile, or no file
    if (changed) return true;
    const fs::file_time_type dataTime = fs::last_write_time(data, error);
    if (error) return false;
    const fs::file_time_type reportTime = fs::last_write_time(report, error);
    return error || reportTime <= dataTime;
}

// The runs waiting for their reports and the report processes writing
// them.
class WatchedReports {
public:
    explicit WatchedReports(unsigned jobs) : m_jobs(jobs) {}

    // A run's data file that may need its report.
    void Offer(const fs::path& data, bool changed = false) {
        const std::string run = data.string();
        if (HasControlCharacter(run)) {
            if (m_passedOver.insert(run).second)
                Tell("passed over " + OnOneLine(run) + ": its name holds a control character");
            return;
        }
        if (IsRunning(run)) {
            m_changedWhileRunning.insert(run);
            return;
        }
        if (m_waitingSet.count(run) != 0) return;
        const std::string base = run.substr(0, run.size() - kRunDataExtension.size());
        if (!NeedsReport(data, base + std::string(kReportExtension), changed)) return;
        m_waiting.push_back(run);
        m_waitingSet.insert(run);
    }

    // Every run under the folder, in the order of their paths.
    void OfferTree(const fs::path& folder) {
        std::vector<fs::path> found;
        std::error_code error;
        fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied, error), end;
        for (; !error && entry != end; entry.increment(error)) {
            std::error_code ignored;
            if (entry->is_directory(ignored) && !IsWatchedFolder(entry->path())) entry.disable_recursion_pending();
            if (IsWatchedRunData(entry->path())) found.push_back(entry->path());
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& data : found) Offer(data);
    }

    // Starts waiting runs while fewer than --jobs run (a run that cannot
    // start for want of descriptors or processes waits for one to end).
    void StartWaiting() {
        while (m_running.size() < m_jobs && !m_waiting.empty()) {
            const std::string run = m_waiting.front();
            const FileStamp stamp = StampOf(run);
            StartFailure failure;
            ChildHandle child = StartChild({"-j", "1", "--", run}, failure);
            if (!child && failure.retry && !m_running.empty()) return;
            m_waiting.pop_front();
            m_waitingSet.erase(run);
            if (child) {
                m_running.push_back({run, std::move(child), stamp});
            } else {
                Passed(run, ChildOutcome{{}, {}, -1, "was not started: " + failure.why});
            }
        }
    }

    bool Idle() const { return m_waiting.empty() && m_running.empty(); }
    std::size_t RunningCount() const { return m_running.size(); }
    std::size_t Failures() const { return m_failures; }

    std::vector<ChildProcess*> Processes() const {
        std::vector<ChildProcess*> processes;
        for (const Running& running : m_running) processes.push_back(running.child.get());
        return processes;
    }

    // The report process `which` (of Processes()) ended.
    void Collect(std::size_t which) {
        Running ended = std::move(m_running[which]);
        m_running.erase(m_running.begin() + static_cast<std::ptrdiff_t>(which));
        Passed(ended.run, CollectChild(*ended.child));
        // Closed again while its report was written, and not as it was
        // when the report started (a first look may find a file the
        // system then tells of): written again.
        if (m_changedWhileRunning.erase(ended.run) != 0 && StampOf(ended.run) != ended.started)
            Offer(ended.run, true);
    }

    // Waits for the running report processes to end by themselves.
    void FinishRunning() {
        while (!m_running.empty()) {
            FinishChild(*m_running.front().child);
            Collect(0);
        }
    }

private:
    struct Running {
        std::string run;  // its data file
        ChildHandle child;
        FileStamp started;  // the data file's when the report started
    };

    bool IsRunning(const std::string& run) const {
        return std::any_of(m_running.begin(), m_running.end(),
                           [&](const Running& running) { return running.run == run; });
    }

    void Passed(const std::string& run, const ChildOutcome& outcome) {
        if (!Relay(run, outcome)) ++m_failures;
        std::fflush(stdout);
    }

    unsigned m_jobs;
    std::deque<std::string> m_waiting;  // data files, in the order they came
    std::set<std::string> m_waitingSet;
    std::vector<Running> m_running;
    std::set<std::string> m_changedWhileRunning;
    std::set<std::string> m_passedOver;
    std::size_t m_failures = 0;
};

// The system's watch of the tree, or polling where there is none (with a
// line that says why, when the system said).
std::unique_ptr<DirectoryWatch> OpenWatch(const fs::path& root, bool poll) {
    if (!poll) {
        std::string why;
        if (std::unique_ptr<DirectoryWatch> watch = SystemWatch(root, kWatchedNames, why)) return watch;
        if (!why.empty())
            Tell(OnOneLine(why) + "; looking at " + OnOneLine(root.string()) + " every second instead");
    }
    return PollingWatch(root, kWatchedNames, kPollMilliseconds);
}

// Takes what the watch saw to the reports; a watch that lost track is
// replaced by polling, and the whole tree looked at again.  Returns false
// when the root went away.
bool TakeChanges(std::unique_ptr<DirectoryWatch>& watch, const fs::path& root, WatchedReports& reports) {
    TreeChanges changes = watch->TakeChanges();
    if (changes.rootGone) return false;
    if (!changes.lost.empty()) {
        Tell(OnOneLine(changes.lost) + "; looking at " + OnOneLine(root.string()) + " every second from now on");
        watch = PollingWatch(root, kWatchedNames, kPollMilliseconds);
        changes.folders.push_back(root);
    }
    for (const fs::path& folder : changes.folders) reports.OfferTree(folder);
    for (const fs::path& data : changes.files) reports.Offer(data);
    return true;
}

// The end of a watch: the reports in hand are written first.  Returns how
// many there were.
std::size_t EndWatch(WatchedReports& reports) {
    const std::size_t inHand = reports.RunningCount();
    reports.FinishRunning();
    return inHand;
}

const char* Plural(std::size_t count) { return count == 1 ? "" : "s"; }

// Why the folder cannot be watched, or "".
std::string FolderProblem(const fs::path& folder) {
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found) return "no such folder";
    if (error) return error.message();
    if (!fs::is_directory(status)) return "not a folder";
    return "";
}

}  // namespace

bool IsWatchedRunData(const fs::path& path) {
    const std::string name = path.filename().string();
    return name.size() > kRunDataExtension.size() && !IsHidden(name) && name.ends_with(kRunDataExtension);
}

bool IsWatchedFolder(const fs::path& path) { return !IsHidden(path.filename().string()); }

int WatchFolder(const WatchOptions& options) {
    const fs::path root = options.folder;
    if (const std::string problem = FolderProblem(root); !problem.empty()) {
        Tell("cannot watch " + OnOneLine(options.folder) + ": " + problem);
        return 1;
    }
    CatchStopRequests();
    // The watch starts before the first look, so that no run closed in
    // between is missed.
    std::unique_ptr<DirectoryWatch> watch = options.once ? nullptr : OpenWatch(root, options.poll);
    WatchedReports reports(options.jobs);
    reports.OfferTree(root);
    if (watch)
        Tell("watching " + OnOneLine(options.folder) + " for runs that end (Ctrl-C ends the watch)");
    for (;;) {
        reports.StartWaiting();
        if (options.once && reports.Idle()) break;
        const std::size_t woke = WaitForChildOrChange(reports.Processes(), watch ? watch->Descriptor() : -1,
                                                      watch ? watch->WaitMilliseconds() : -1);
        if (woke == kStopped) {
            const std::size_t inHand = EndWatch(reports);
            Tell("stopped by signal " + SignalName(StopSignal()) + " after the " + std::to_string(inHand) + " report" +
                 Plural(inHand) + " in hand");
            return options.once ? 128 + StopSignal() : 0;
        }
        // What the system told before a report ended came first: a run
        // closed again while its report was written is written again.
        // (Polling looks only at its intervals.)
        const bool told = woke == kChanged || (watch && watch->Descriptor() >= 0);
        if (watch && told && !TakeChanges(watch, root, reports)) {
            if (woke != kChanged) reports.Collect(woke);
            const std::size_t inHand = EndWatch(reports);
            Tell(OnOneLine(options.folder) + " went away: the watch ended after the " + std::to_string(inHand) +
                 " report" + Plural(inHand) + " in hand");
            return 1;
        }
        if (woke != kChanged) reports.Collect(woke);
    }
    return reports.Failures() == 0 ? 0 : 1;
}

}  // namespace host
