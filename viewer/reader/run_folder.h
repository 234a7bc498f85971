// The runs of a folder as rows of one table: each run found by its files
// (BASE.vdr.progress, BASE.vdr, BASE.log) anywhere under the folder, and
// what its files say now: its state, how far it got, how it ended.  The
// server's run list and `tarnview summary --facts DIR` both take their rows
// from here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "file_stamp.h"
#include "report_compare.h"
#include "run_progress.h"

namespace tarnview {

class JsonText;
class Report;

// The most runs one folder lists, and the most directory entries one scan
// looks at: a folder beyond them is listed in part (`truncated`).
inline constexpr std::size_t kMaxFolderRuns = 20000;
inline constexpr std::size_t kMaxFolderEntries = 500000;
// The most progress bytes one update of a folder's rows reads (a run whose
// new lines do not fit is read at the next update; one run is always read).
inline constexpr std::uint64_t kProgressBytesPerUpdate = std::uint64_t{64} << 20;

struct FoundRun {
    std::string name;  // the base's path relative to the folder ("sub/case1")
    RunFiles files;
};

struct FolderScan {
    std::vector<FoundRun> runs;  // by name
    bool truncated = false;
};

// Every run and report under `folder`, recursively.  Only regular files
// count (a FIFO, device, socket or a directory named like a run's file is
// passed over); a symbolic link counts when it leads to a regular file
// inside the folder.  Directory links are not followed.  False with `error`
// when the folder cannot be read.
bool ScanFolder(const std::filesystem::path& folder, FolderScan& scan, std::string& error);

// `path` resolved, when it is a regular file inside `root` (itself resolved).
std::optional<std::filesystem::path> FileInside(const std::filesystem::path& root, const std::filesystem::path& path);

// One row of the table.
struct RunRow {
    std::string name;
    RunState state = RunState::kStopped;
    std::string problem;                 // why it failed
    std::optional<std::string> status;   // the report header's "Solution Status"
    std::optional<std::size_t> iterations;  // major iterations
    std::optional<double> objective, infeasibility;  // final or current
    std::optional<std::uint64_t> reportSize;
    std::optional<std::size_t> reportId;  // set by the server that serves the report
    std::string changed;                 // "2026-12-08T12:34:56Z": the last change of any of its files
};

// A run's report as the caller reads it: the server takes it into its
// library (and gives its id), a command reads it once.
struct ReadReport {
    std::shared_ptr<const Report> report;
    std::optional<std::size_t> id;
    bool later = false;  // not read yet (the reader reads it apart): the row stays as it was
};
using ReportReader = std::function<ReadReport(const std::filesystem::path& path, std::string& error)>;
// Report::Open, refusing a file that is no report.
ReadReport OpenRunReport(const std::filesystem::path& path, std::string& error);

// A run followed from one update to the next: its progress read from where
// the last update stopped, its report's facts taken again only when the
// report read is another one.
class RunTracker {
public:
    // `root`, when not empty, is the resolved folder no file read may lie outside.
    RunTracker(FoundRun run, std::filesystem::path root = {});

    // Brings the row up to date; the progress read is charged to `byteBudget`
    // (nothing is read once it is spent, but for a first read).
    const RunRow& Update(const ReportReader& reports, std::uint64_t& byteBudget);
    const RunRow& Row() const { return row_; }
    // The last update left the row as it was: its report is still to be read.
    bool Waiting() const { return waiting_; }
    const RunProgress& Progress() const { return progress_; }
    const RunFiles& Files() const { return run_.files; }

private:
    std::optional<std::filesystem::path> Confined(const std::filesystem::path& path) const;
    void ReadProgress(const std::filesystem::path& path, std::uint64_t& byteBudget);
    bool TakeReport(const std::filesystem::path& path, const ReportReader& reports);
    void TakeProgressNumbers();

    FoundRun run_;
    std::filesystem::path root_;
    RunRow row_;
    RunProgress progress_;
    ProgressCursor cursor_;
    std::string progressError_;
    std::optional<FileStamp> refusedProgress_;  // the progress file's state when last read
    bool progressRead_ = false;
    bool waiting_ = false;
    std::shared_ptr<const Report> report_;  // the report the facts are of
    std::optional<FileStamp> failedReport_;  // a report refused, not read again until it changes
    std::string reportProblem_;
    RunFacts facts_;
};

// The rows of a folder read once, by name.
std::vector<RunRow> RowsOfFolder(const std::filesystem::path& folder, bool& truncated, std::string& error);

// {"name", "state", "status", "iterations", "objective", "infeasibility",
//  "report", "reportSize", "changed"}: a row as the run list and the facts
// command write it (non-finite numbers as "inf", "-inf", "nan"; null where
// not known).  `id` first when given.
void WriteRunRow(JsonText& json, const RunRow& row, std::optional<std::size_t> id);

// "2026-12-08T12:34:56Z".
std::string UtcTimeText(std::filesystem::file_time_type time);

}  // namespace tarnview
