// A data file or report file that is not a regular file (a directory, a
// named pipe, a socket) is refused at once, with one line that names it and
// says what it is; a device as the report file is written as before.  Each
// run is made in a child process, so that a run that blocks fails the test
// instead of hanging it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "report_fixture.h"
#include "run/create_report.h"

namespace {

constexpr auto kAtOnce = std::chrono::seconds(1);

struct ChildRun {
    bool ended = false;  // false: still running after kAtOnce, killed
    int rc = 0;
    std::string stdoutText;
    std::string stderrText;
};

ChildRun RunInChild(const TempDir& dir, const std::string& base) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(dir.File("stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(dir.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(100);
        const int rc = RunReport(base.c_str());
        std::fflush(nullptr);
        _exit(rc == -1 ? 1 : rc == 0 ? 0 : 2);
    }
    ChildRun run;
    if (pid < 0) return run;
    const auto deadline = std::chrono::steady_clock::now() + kAtOnce;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.ended = WIFEXITED(status) && WEXITSTATUS(status) != 100;
    run.rc = WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : WEXITSTATUS(status) == 1 ? -1 : 99;
    run.stdoutText = ReadText(dir.File("stdout.txt"));
    run.stderrText = ReadText(dir.File("stderr.txt"));
    return run;
}

void MakeSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);  // the socket file stays
}

struct SpecialFile {
    const char* kind;
    std::function<void(const std::string&)> make;
};

const SpecialFile kSpecialFiles[] = {
    {"a directory", [](const std::string& path) { std::filesystem::create_directory(path); }},
    {"a named pipe (FIFO)", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
    {"a socket", MakeSocket},
};

const char kOneIteration[] =
    R"({"format": "tarn-vdr", "version": 1, "case": {"number": 1}, )"
    R"("model": {"name": "M", "variables": [{"name": "X"}], "equations": [{"name": "R"}]}, )"
    R"("iterations": [{"variables": [[1, 0, 0]], "equations": [[0, 0, 0]]}]})";

TEST(SpecialFiles, DataFileThatIsNoRegularFileIsRefusedAtOnce) {
    for (const SpecialFile& special : kSpecialFiles) {
        SCOPED_TRACE(special.kind);
        TempDir dir;
        special.make(dir.File("run.vdr"));
        const ChildRun run = RunInChild(dir, dir.File("run"));
        ASSERT_TRUE(run.ended) << "the run did not end within a second";
        EXPECT_EQ(run.rc, -1);
        EXPECT_EQ(run.stdoutText, "");
        EXPECT_EQ(run.stderrText,
                  "Error: " + dir.File("run.vdr") + " is " + special.kind + ", not a regular file.\n");
        EXPECT_FALSE(std::filesystem::exists(dir.File("run.log")));
    }
}

TEST(SpecialFiles, ReportFileThatIsNoRegularFileIsRefusedAtOnce) {
    for (const SpecialFile& special : kSpecialFiles) {
        SCOPED_TRACE(special.kind);
        TempDir dir;
        WriteText(dir.File("run.vdr"), kOneIteration);
        special.make(dir.File("run.log"));
        const ChildRun run = RunInChild(dir, dir.File("run"));
        ASSERT_TRUE(run.ended) << "the run did not end within a second";
        EXPECT_EQ(run.rc, -1);
        EXPECT_EQ(run.stdoutText, WithInsert(kMsgReportNotWritten, dir.File("run.log")) + "\n");
        EXPECT_EQ(run.stderrText,
                  "Error: " + dir.File("run.log") + " is " + special.kind + ", not a regular file.\n");
    }
}

TEST(SpecialFiles, NullDeviceAsTheReportFileIsWritten) {
    if (!std::filesystem::exists("/dev/null")) GTEST_SKIP() << "no /dev/null";
    TempDir dir;
    WriteText(dir.File("run.vdr"), kOneIteration);
    std::filesystem::create_symlink("/dev/null", dir.File("run.log"));
    const ChildRun run = RunInChild(dir, dir.File("run"));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.rc, 0);
    EXPECT_EQ(run.stdoutText + run.stderrText, "");
}

}  // namespace
