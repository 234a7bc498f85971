// A run in progress read from its progress file: whole lines only, every
// line checked, followed from where the last read stopped; its state told by
// its files and its writer's process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "report_fixture.h"
#include "run_progress.h"

namespace {

namespace fs = std::filesystem;
using tarnview::ProgressCursor;
using tarnview::ReadRunProgress;
using tarnview::ReadRunProgressFrom;
using tarnview::RunProgress;
using tarnview::RunState;

const std::string kHeader =
    R"({"format":"tarn-vdr-progress","version":1,"run":"case.vdr","pid":)" + std::to_string(getpid()) +
    R"(,"started":"Mon Jan 15 10:30:00 2024"})" + "\n";
const std::string kModel = R"({"model":"BLEND","variables":["X","Y"],"equations":["E1"]})" "\n";

std::string IterationLine(int number, const std::string& objective = "1.5", const std::string& extra = "") {
    return R"({"iter":)" + std::to_string(number) + R"(,"feasible":true,"objective":)" + objective +
           R"(,"infeasibility":0.25,"objective_convergence":"inf","residual_convergence":1e-3,)"
           R"("variable_convergence":"nan","most_infeasible":"E1")" + extra + "}\n";
}

void Append(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::app | std::ios::binary) << text;
}

TEST(RunProgressReader, ReadsWholeLinesAndFollowsTheFileAsItGrows) {
    const TempDir directory;
    const std::string path = directory.File("case.vdr.progress");
    const std::string second = IterationLine(1, "\"-inf\"", R"(,"user_objective":7,"later_member":[1,{"a":2}])");
    WriteText(path, kHeader + kModel + IterationLine(0) + second.substr(0, 20));

    std::string error;
    const auto read = ReadRunProgress(path, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->run, "case.vdr");
    EXPECT_EQ(read->pid, getpid());
    EXPECT_EQ(read->started, "Mon Jan 15 10:30:00 2024");
    EXPECT_EQ(read->model, "BLEND");
    EXPECT_EQ(read->variables, (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(read->equations, (std::vector<std::string>{"E1"}));
    ASSERT_EQ(read->iterations.size(), 1u);  // the cut line is not read
    EXPECT_FALSE(read->complete);
    const tarnview::ProgressIteration& first = read->iterations[0];
    EXPECT_EQ(first.number, 0);
    EXPECT_TRUE(first.feasible);
    EXPECT_EQ(first.objective, 1.5);
    EXPECT_EQ(first.infeasibility, 0.25);
    EXPECT_FALSE(first.userObjective);
    EXPECT_TRUE(std::isinf(first.objectiveConvergence) && first.objectiveConvergence > 0);
    EXPECT_EQ(first.residualConvergence, 1e-3);
    EXPECT_TRUE(std::isnan(first.variableConvergence));
    EXPECT_EQ(first.mostInfeasible, "E1");

    // Followed: the cut line is read once whole, from where the reading stopped.
    RunProgress followed;
    ProgressCursor cursor;
    ASSERT_TRUE(ReadRunProgressFrom(path, followed, cursor, error)) << error;
    EXPECT_EQ(cursor.offset, kHeader.size() + kModel.size() + IterationLine(0).size());
    ASSERT_TRUE(ReadRunProgressFrom(path, followed, cursor, error)) << error;  // nothing new
    EXPECT_FALSE(followed.complete);
    EXPECT_EQ(followed.iterations.size(), 1u);
    Append(path, second.substr(20));
    ASSERT_TRUE(ReadRunProgressFrom(path, followed, cursor, error)) << error;
    EXPECT_TRUE(followed.complete);
    ASSERT_EQ(followed.iterations.size(), 2u);
    EXPECT_EQ(followed.iterations[1].number, 1);
    EXPECT_EQ(followed.iterations[1].objective, -HUGE_VAL);
    EXPECT_EQ(followed.iterations[1].userObjective, 7.0);

    // Another file in its place (a new run of the same name) is read from its start.
    fs::remove(path);
    WriteText(path, kHeader + kModel + IterationLine(0, "9"));
    ASSERT_TRUE(ReadRunProgressFrom(path, followed, cursor, error)) << error;
    ASSERT_EQ(followed.iterations.size(), 1u);
    EXPECT_EQ(followed.iterations[0].objective, 9);
    EXPECT_EQ(cursor.rereads, 1u);
    // The same file written anew by a later run (its writer truncates it) and
    // grown past what was read: read from its start too.
    std::string laterHeader = kHeader;
    laterHeader.replace(laterHeader.find("Mon Jan 15"), 10, "Tue Jan 16");
    WriteText(path, laterHeader + kModel + IterationLine(0, "3") + IterationLine(1, "2") + IterationLine(2, "1"));
    ASSERT_TRUE(ReadRunProgressFrom(path, followed, cursor, error)) << error;
    EXPECT_EQ(followed.started, "Tue Jan 16 10:30:00 2024");
    ASSERT_EQ(followed.iterations.size(), 3u);
    EXPECT_EQ(followed.iterations[0].objective, 3);
    EXPECT_EQ(cursor.rereads, 2u);  // same file, longer: only its first line tells

    // Only the header yet; an empty file is one whose first line is being written.
    WriteText(path, kHeader);
    ASSERT_TRUE(ReadRunProgress(path, error)) << error;
    EXPECT_TRUE(ReadRunProgress(path, error)->complete);
    WriteText(path, "");
    ASSERT_TRUE(ReadRunProgress(path, error)) << error;
    EXPECT_EQ(ReadRunProgress(path, error)->pid, 0);
}

TEST(RunProgressReader, RefusesEveryKindOfMalformedLineNamingTheFileAndLine) {
    const TempDir directory;
    const std::string path = directory.File("bad.vdr.progress");
    const std::string header = kHeader + kModel;
    const std::string version1 = R"("version":1,)";
    auto withHeader = [&](const std::string& from, const std::string& to) {
        std::string line = kHeader;
        line.replace(line.find(from), from.size(), to);
        return line;
    };
    const struct {
        std::string text, problem;
    } cases[] = {
        {header + "not json\n", "line 3: is not JSON"},
        {header + "{\"iter\":0,}\n", "line 3: is not JSON"},
        {header + "[1,2]\n", "line 3: is not a JSON object"},
        {header + "\n", "line 3: is not JSON"},
        {header + IterationLine(0).substr(0, IterationLine(0).size() - 1) + " trailing\n", "line 3: is not JSON"},
        {header + std::string(2000000, '[') + "\n", "line 3: is not JSON"},
        {header + "{\"most_infeasible\":\"\xff\"}\n", "line 3: is not JSON"},
        {header + R"({"iter":0,"iter":0})" "\n", "line 3: has \"iter\" twice"},
        {header + R"({"iter":0})" "\n", "line 3: no \"feasible\""},
        {header + IterationLine(-1), "line 3: \"iter\" is not an integer"},
        {header + IterationLine(0) + IterationLine(2), "line 4: is iteration 2 after iteration 0"},
        {header + IterationLine(0, "\"infinity\""), "line 3: \"objective\" is not a number"},
        {header + IterationLine(0, "true"), "line 3: \"objective\" is not a number"},
        {header + IterationLine(0, "1", R"(,"user_objective":null)"), "\"user_objective\" is not a number"},
        {header + R"({"iter":0,"feasible":1})" "\n", "line 3: \"feasible\" is not true or false"},
        {header + kModel, "line 3: gives the model a second time"},
        {kHeader + IterationLine(0), "line 2: is neither the model's names nor after them"},
        {kHeader + R"({"model":"M","variables":["X",3],"equations":[]})" "\n", "holds something that is not a name"},
        {kHeader + R"({"model":"M","variables":"X","equations":[]})" "\n", "\"variables\" is not a list of names"},
        {kHeader + R"({"model":7,"variables":[],"equations":[]})" "\n", "line 2: \"model\" is not a text"},
        {withHeader("tarn-vdr-progress", "tarn-vdr"), "line 1: is not the start of a run's progress"},
        {withHeader(version1, R"("version":2,)"), "line 1: has version 2; this tarnview reads version 1"},
        {withHeader(version1, ""), "line 1: no \"version\""},
        {withHeader(R"("pid":)", R"("pid":-)"), "line 1: \"pid\" is not an integer"},
        {withHeader(R"("run":"case.vdr")", R"("run":["case.vdr"])"), "line 1: \"run\" is not a text"},
    };
    for (const auto& [text, problem] : cases) {
        WriteText(path, text);
        std::string error;
        EXPECT_FALSE(ReadRunProgress(path, error)) << problem;
        EXPECT_NE(error.find(path + ": "), std::string::npos) << error;
        EXPECT_NE(error.find(problem), std::string::npos) << problem << " / " << error;
    }

    // A follower keeps what it had when a bad line arrives, and reads the
    // good lines again once the file is whole.
    WriteText(path, header + IterationLine(0));
    RunProgress followed;
    ProgressCursor cursor;
    std::string error;
    ASSERT_TRUE(ReadRunProgressFrom(path, followed, cursor, error)) << error;
    const ProgressCursor before = cursor;
    Append(path, IterationLine(1) + "{]\n");
    EXPECT_FALSE(ReadRunProgressFrom(path, followed, cursor, error));
    EXPECT_EQ(followed.iterations.size(), 1u);
    EXPECT_EQ(cursor.offset, before.offset);
    EXPECT_NE(error.find(": line 5: "), std::string::npos) << error;
}

TEST(RunProgressReader, ReadsOnlyRegularFilesOfBoundedSize) {
    const TempDir directory;
    const std::string fifo = directory.File("fifo.vdr.progress"), folder = directory.File("dir.vdr.progress"),
                      huge = directory.File("huge.vdr.progress"), long_ = directory.File("long.vdr.progress");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(folder);
    WriteText(huge, kHeader);
    fs::resize_file(huge, tarnview::kMaxProgressBytes + 1);  // sparse: no disk used
    WriteText(long_, kHeader);
    fs::resize_file(long_, kHeader.size() + tarnview::kMaxProgressLineBytes + 1);
    const std::pair<std::string, std::string> cases[] = {
        {fifo, "is a named pipe (FIFO), not a run's progress"},
        {folder, "is a directory, not a run's progress"},
        {"/dev/zero", "is a character device, not a run's progress"},
        {huge, "is larger than 256 MiB"},
        {long_, ": line 2: longer than 64 MiB"},
        {directory.File("absent.vdr.progress"), "cannot open: No such file"},
    };
    for (const auto& [path, problem] : cases) {
        std::string error;
        EXPECT_FALSE(ReadRunProgress(path, error)) << path;
        EXPECT_EQ(error, path + ": " + error.substr(path.size() + 2)) << error;
        EXPECT_NE(error.find(problem), std::string::npos) << error;
    }
}

TEST(RunProgressState, FilesOfEachNameAndTheStateTheyTell) {
    for (const std::string given : {"runs/a", "runs/a.vdr", "runs/a.vdr.progress", "runs/a.log"}) {
        const tarnview::RunFiles files = tarnview::FilesOfRun(given);
        EXPECT_EQ(files.base, "runs/a") << given;
        EXPECT_EQ(files.runData, "runs/a.vdr") << given;
        EXPECT_EQ(files.progress, "runs/a.vdr.progress") << given;
        EXPECT_EQ(files.report, "runs/a.log") << given;
    }

    const TempDir directory;
    const tarnview::RunFiles files = tarnview::FilesOfRun(directory.File("a"));
    WriteText(files.progress.string(), kHeader);
    std::string error;
    auto progress = ReadRunProgress(files.progress, error);
    ASSERT_TRUE(progress) << error;
    EXPECT_EQ(tarnview::StateOfRun(files, progress), RunState::kRunning);

    // A writer that is gone (even one not yet waited for) left a run that stopped.
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);  // a zombie now
    progress->pid = child;
    EXPECT_EQ(tarnview::StateOfRun(files, progress), RunState::kStopped);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_EQ(tarnview::StateOfRun(files, progress), RunState::kStopped);
    EXPECT_FALSE(tarnview::ProcessRuns(child));

    WriteText(files.runData.string(), "{}");
    EXPECT_EQ(tarnview::StateOfRun(files, progress), RunState::kReportMissing);
    WriteText(files.report.string(), "");
    EXPECT_EQ(tarnview::StateOfRun(files, std::nullopt), RunState::kEnded);
    EXPECT_EQ(tarnview::StateText(RunState::kStopped), "stopped without an end");
    EXPECT_EQ(tarnview::StateText(RunState::kReportMissing), "report missing");
}

}  // namespace
