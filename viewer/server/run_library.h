// The runs `tarnview serve` follows: runs named one by one and every run
// and report under the folders named, found again as they change.  Routed
// by the server as
//   GET /api/runs[?since=G]            the rows, or {"generation":G,"unchanged":true}
//   GET /api/runs/ID/progress[?since=K]  one run's iterations from K on
// behind the same token and Host checks as every route.  A run's report,
// once written, is served as a report of its own (its id in the row); it is
// read with the run list let go, so that other requests are answered
// meanwhile (its run is listed as it was until the read is done).
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "replies.h"
#include "run_folder.h"

namespace tarnview::server {

class ReportLibrary;

// The most iterations one progress answer holds ("more": true when there are
// more to ask for).
constexpr std::size_t kMaxIterationsPerReply = 10000;

class RunLibrary {
public:
    // The folders are looked at again on a request, at most once per
    // `rescan` and once per four times the last look took (a `rescan` of 0:
    // on every request).
    explicit RunLibrary(ReportLibrary& reports,
                        std::chrono::milliseconds rescan = std::chrono::milliseconds(200));

    // Every run and report under `folder`; false with `error` when it is no
    // folder that can be read.
    bool AddFolder(const std::string& folder, std::string& error);
    // The run named by its base, BASE.vdr or BASE.vdr.progress; false with
    // `error` when none of its files is there.
    bool AddRun(const std::string& given, std::string& error);

    std::size_t FolderCount() const;
    std::size_t RunCount() const;  // runs listed now

    Reply RunsReply(const std::string* since);
    Reply ProgressReply(const std::string& id, const std::string* since);

    // For tests and benchmarks: looks again now, whatever the time since the last look.
    void RefreshNow();
    // For tests: called while the reports that appeared are read, the run
    // list let go.
    void WhileReadingReports(std::function<void()> hook) { whileReading_ = std::move(hook); }

private:
    struct Entry {
        std::size_t id = 0;
        std::unique_ptr<RunTracker> tracker;  // none while the run is not there
        std::string row;                      // the row as last answered (JSON)
    };
    struct Folder {
        std::string given;
        std::filesystem::path root;
    };

    void Refresh(std::unique_lock<std::mutex>& lock, bool always);
    void Look(bool always);
    void ReadWaitingReports(std::unique_lock<std::mutex>& lock);
    Entry& EntryOf(const std::string& key);
    void Track(Entry& entry, FoundRun run, const std::filesystem::path& root);
    bool UpdateRow(Entry& entry, std::uint64_t& byteBudget);
    ReadReport ReadRunReport(const std::filesystem::path& path, std::string& error);

    ReportLibrary& reports_;
    const std::chrono::milliseconds rescan_;
    mutable std::mutex mutex_;
    std::vector<Folder> folders_;
    std::vector<FoundRun> runs_;  // named one by one
    std::map<std::string, Entry> entries_;  // by the base's resolved path
    std::vector<Entry*> byId_;
    std::vector<Entry*> listed_;  // the runs there now, in the order listed
    bool truncated_ = false;
    std::uint64_t generation_ = 1;
    std::optional<std::chrono::steady_clock::time_point> lastLook_;
    std::chrono::steady_clock::duration lookTook_{};  // how long the last look took
    std::uint64_t answered_ = 0;  // the generation `answer_` is of
    std::string answer_;
    std::set<std::string> waiting_;  // reports to read, not served yet
    std::set<std::string> reading_;  // reports a request reads now
    std::map<std::string, std::string> refused_;  // reports read and refused, why (told once)
    std::function<void()> whileReading_;
};

}  // namespace tarnview::server
