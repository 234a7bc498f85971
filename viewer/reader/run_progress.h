// A run in progress: the lines its writer keeps in BASE.vdr.progress while
// the run goes, and the state of the run its files tell (running, stopped
// without an end, report missing, ended).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnview {

enum class RunState { kRunning, kStopped, kReportMissing, kEnded, kFailed };

// One iteration as its progress line gives it.
struct ProgressIteration {
    int number = 0;  // "iter"
    bool feasible = false;
    double objective = 0, infeasibility = 0;
    std::optional<double> userObjective;
    double objectiveConvergence = 0, residualConvergence = 0, variableConvergence = 0;
    std::string mostInfeasible;
};

// The iteration's number as the report numbers it: the initial point -1
// and major iteration k as k (the progress counts its iterations from 0,
// the initial point first).
int ReportIterationNumber(const ProgressIteration& iteration);

struct RunProgress {
    std::string run;  // the target's file name, from the first line
    long long pid = 0;
    std::string started, model;
    std::vector<std::string> variables, equations;
    std::vector<ProgressIteration> iterations;
    bool complete = true;  // false: the last line was cut (being written); re-read later
};

// The files of one run, named by any of: its base, BASE.vdr,
// BASE.vdr.progress, BASE.log.
struct RunFiles {
    std::filesystem::path base, runData, progress, report;
};
RunFiles FilesOfRun(const std::filesystem::path& given);

// The largest progress file read (a run of a million names with a hundred
// thousand iterations stays well below it).
inline constexpr std::uint64_t kMaxProgressBytes = std::uint64_t{256} << 20;
// The longest line (the model's names of a million variables and equations fit).
inline constexpr std::uint64_t kMaxProgressLineBytes = std::uint64_t{64} << 20;

// Reads the progress file: only a regular file, at most kMaxProgressBytes,
// every line checked.  A malformed line is an error naming the file and the
// line; then nullopt with `error` set.
std::optional<RunProgress> ReadRunProgress(const std::filesystem::path& progress, std::string& error);

// Where a follower stopped reading: after the last whole line it read.
struct ProgressCursor {
    std::uint64_t offset = 0;  // bytes read, up to the end of the last whole line
    std::uint64_t lines = 0;   // whole lines read
    bool modelRead = false;    // the model's line was read
    unsigned long long device = 0, inode = 0;  // the file read (another one is read from its start)
    std::uint64_t size = 0;    // its size when last read (the same size: nothing new to read)
    std::uint64_t rereads = 0; // times it was read again from its start, after lines were read
    // The start of its first line as read: another start is the file written
    // anew by a later run (truncated in place), read from its start.
    std::string firstLine;
};
// The most of the first line a cursor keeps to tell a file written anew.
inline constexpr std::size_t kFirstLineKept = 4096;

// Adds to `progress` the lines written since `cursor`, and moves the cursor
// past them.  When the file is another one than the cursor's, or shorter
// than what was read, it is read again from its start into a fresh
// `progress`.  False with `error` set when the file cannot be read or a line
// is malformed (`progress` and `cursor` are then as before).
bool ReadRunProgressFrom(const std::filesystem::path& path, RunProgress& progress, ProgressCursor& cursor,
                         std::string& error);

// The state of the run the files tell of now (FilesOfThisRun: an earlier
// run's report or run data beside a new run's progress does not count).
// kRunning: the progress file exists and its writer (pid) still runs;
// kStopped: the progress file exists, its writer is gone, and no run-data
// file appeared (also: none of the run's files is left);
// kReportMissing: the run-data file exists, no report; kEnded: the report
// exists.  kFailed is decided by whoever reads the report or the run data
// and refuses it.
RunState StateOfRun(const RunFiles& files, const std::optional<RunProgress>& progress);
// The same, of progress held elsewhere (nullptr: none read).
RunState StateOfFollowedRun(const RunFiles& files, const RunProgress* progress);

// The run's files that belong to the run its progress file tells of: while
// the progress file is there, a run-data file or a report last written
// before the progress file's last line is an earlier run's of the same
// base (the case run again), and is left out (its path empty), so that
// no reader takes the earlier run's end for this one's.
RunFiles FilesOfThisRun(const RunFiles& files);

// Whether the process `pid` still runs on this machine (a zombie does not).
bool ProcessRuns(long long pid);

// The words for a state: the one place they live.
std::string_view StateText(RunState state);

}  // namespace tarnview
