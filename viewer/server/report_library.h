// The reports named on the command line, each as its current version: read
// in one pass at the start, its name index built afterwards on a thread of
// its own, read again when the file is written again. A request holds the
// version it started with, so a reload never pulls a map from under it; the
// old map goes when the last such request is done.
#pragma once

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "comparison_cache.h"
#include "file_stamp.h"
#include "name_index.h"
#include "report_reader.h"

namespace tarnview::server {

// One version of one report. Immutable but for its index, which arrives
// once it is built.
class ServedReport {
public:
    ServedReport(std::size_t id, int version, std::unique_ptr<Report> report);

    std::size_t id() const { return id_; }
    int version() const { return version_; }
    const Report& report() const { return *report_; }
    // nullptr until the index is built.
    std::shared_ptr<const NameIndex> Index() const;
    void SetIndex(std::shared_ptr<const NameIndex> index) const;
    // True once a read found the file shorter than its map (it is being
    // written again).
    bool Damaged() const { return report_->Damaged(); }

private:
    std::size_t id_;
    int version_;
    std::unique_ptr<Report> report_;
    mutable std::mutex indexMutex_;
    mutable std::shared_ptr<const NameIndex> index_;
};

// The most reports served, those that appear while serving included.
constexpr std::size_t kMaxAddedReports = 50000;

class ReportLibrary {
public:
    ReportLibrary() = default;
    ~ReportLibrary();
    ReportLibrary(const ReportLibrary&) = delete;
    ReportLibrary& operator=(const ReportLibrary&) = delete;

    // Reads every file; false with `error` naming the file and the problem.
    // Progress of big files, and later of indexing and reloads, goes to
    // `progress` (nullptr: silent).
    bool Open(const std::vector<std::string>& paths, std::string& error, std::FILE* progress);

    // Adds the report at `path` (one already served keeps its id) and gives
    // its id; nullopt with `error` naming the file and the problem, or once
    // kMaxAddedReports are served.  Ids are given in turn and never change
    // meaning.
    std::optional<std::size_t> Add(const std::string& path, std::string& error);
    // The id of the report at `path` when it is served already (nothing is read).
    std::optional<std::size_t> Served(const std::string& path) const;

    std::size_t size() const;
    std::shared_ptr<const ServedReport> Current(std::size_t id) const;
    // Comparisons of two reports' versions, kept for the next request.
    ComparisonCache& Comparisons() const { return comparisons_; }

    // Builds the name indexes, then looks for rewritten files every
    // `interval`, until StopBackgroundWork().
    void StartBackgroundWork(std::chrono::milliseconds interval = std::chrono::milliseconds(500));
    void StopBackgroundWork();
    // For tests and benchmarks: waits until every current version has its
    // index; false on timeout.
    bool WaitUntilIndexed(std::chrono::milliseconds timeout) const;

private:
    struct Slot {
        std::string path;
        std::shared_ptr<const ServedReport> current;
        FileStamp loaded;                    // the file as it was read
        std::optional<FileStamp> changing;   // a new state seen once, not yet twice
        std::optional<FileStamp> failed;     // a state that could not be read
    };

    std::unique_ptr<Report> Read(const std::string& path, std::string& error) const;
    void BackgroundWork();
    void IndexWhatNeedsIt();
    void ReloadChangedFiles();
    void Publish(Slot& slot, std::shared_ptr<const ServedReport> report);
    Slot& SlotAt(std::size_t id) const;
    std::optional<std::size_t> AddSlot(const std::string& path, std::string& error, bool reuse);
    void Say(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    // Slots are only ever added (under `mutex_`), and each stays where it is.
    std::vector<std::unique_ptr<Slot>> slots_;
    std::unordered_map<std::string, std::size_t> idOfPath_;
    mutable ComparisonCache comparisons_;
    mutable std::mutex mutex_;  // guards each slot's `current` and wakes the worker
    mutable std::condition_variable changed_;
    std::FILE* progress_ = nullptr;
    std::chrono::milliseconds interval_{500};
    std::atomic<bool> stopping_{false};
    std::thread worker_;
};

}  // namespace tarnview::server
