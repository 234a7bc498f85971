// tarnview serve REPORT.log|RUN|DIR... [--port N] [--host H [--allow-remote]] [--open]: serves
// the reports, runs and folders of runs to a browser on this machine until interrupted.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "access.h"
#include "commands.h"
#include "http_server.h"
#include "page_assets.h"
#include "report_library.h"
#include "run_library.h"

extern char** environ;

const char kServeHelp[] =
    "usage: tarnview serve REPORT.log|RUN|DIR... [--port N] [--host H [--allow-remote]] [--open]\n"
    "\n"
    "Serves the reports to a web browser: the outline at once, the lines as they\n"
    "are scrolled to, search, history and comparison on the server. Prints the\n"
    "page's address, with the access token it needs, and serves until Ctrl-C.\n"
    "A report written again while served is read again.\n"
    "\n"
    "A RUN (its base, BASE.vdr or BASE.vdr.progress) is followed while it goes:\n"
    "its iterations as its writer adds them, its state (running, stopped without\n"
    "an end, report missing, ended, failed), then its report once written.  A\n"
    "DIR is every run and report under it, found again as runs start and end;\n"
    "nothing outside it is served (links out of it are passed over).\n"
    "\n"
    "  --port N        listen on port N (default: a free port; one in use is\n"
    "                  an error)\n"
    "  --host H        listen on the IP address H (default 127.0.0.1, this\n"
    "                  machine only; localhost, ::1 and 127.x.x.x are loopback)\n"
    "  --allow-remote  let --host name an address that other machines reach\n"
    "                  (0.0.0.0, ::, a network address), still behind the token\n"
    "  --open          open the page in the desktop's browser (xdg-open), through\n"
    "                  a private file, so that no command line shows the token\n"
    "  --help          this text\n";

namespace {

struct ServeArguments {
    std::vector<std::string> reports;  // as given: reports, runs and folders
    tarnview::server::ServerSettings settings;
    bool open = false;
    bool allowRemote = false;
};

// The address read strictly and put in its canonical form; one that other
// machines reach only with --allow-remote. 0, or 2 after a usage error.
int CheckAddress(ServeArguments& arguments) {
    const std::string& given = arguments.settings.host;
    const std::optional<tarnview::server::ListenAddress> address = tarnview::server::ParseListenAddress(given);
    if (!address) {
        std::fprintf(stderr,
                     "tarnview serve: --host takes an IP address such as 127.0.0.1 or ::1 (or localhost), "
                     "not '%s'\n",
                     given.c_str());
        return 2;
    }
    if (!address->loopback && !arguments.allowRemote) {
        std::fprintf(stderr,
                     "tarnview serve: --host %s lets other machines reach the reports: add --allow-remote "
                     "to mean it\n",
                     given.c_str());
        return 2;
    }
    arguments.settings.host = address->text;
    return 0;
}

// Says which address other machines may use, when they may.
void WarnOfRemoteAccess(const std::string& host) {
    const std::optional<tarnview::server::ListenAddress> address = tarnview::server::ParseListenAddress(host);
    if (!address || address->loopback) return;
    std::fprintf(stderr,
                 "tarnview serve: warning: listening on %s%s: other machines can reach the reports "
                 "(with the token)\n",
                 host.c_str(), address->wildcard ? " (every address of this machine)" : "");
}

// The page's address handed to the browser through a file that only this
// user may read: a command line (xdg-open's, the browser's) is visible to
// every user of the machine, and the address carries the token. The file
// sends the browser on to the address and is removed when the server stops.
class BrowserOpener {
public:
    BrowserOpener() = default;
    ~BrowserOpener() {
        if (!path_.empty()) unlink(path_.c_str());
    }
    BrowserOpener(const BrowserOpener&) = delete;
    BrowserOpener& operator=(const BrowserOpener&) = delete;

    void Open(const std::string& url) {
        if (!WritePage(url)) {
            std::fprintf(stderr, "tarnview serve: cannot write the page that opens the browser (%s); "
                                 "open the address above in a browser\n", std::strerror(errno));
            return;
        }
        const char* command[] = {"xdg-open", path_.c_str(), nullptr};
        pid_t child = 0;
        if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char**>(command), environ) != 0) {
            std::fputs("tarnview serve: cannot run xdg-open; open the address above in a browser\n", stderr);
            return;
        }
        std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    }

private:
    static std::string PrivateDirectory() {
        for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
            const char* directory = std::getenv(name);
            if (directory != nullptr && *directory == '/') return directory;
        }
        return "/tmp";
    }

    bool WritePage(const std::string& url) {
        std::string path = PrivateDirectory() + "/tarnview-open-XXXXXX.html";
        const int file = mkstemps(path.data(), 5);  // mode 0600
        if (file < 0) return false;
        path_ = path;
        const std::string page = "<!DOCTYPE html><meta charset=\"utf-8\"><meta name=\"referrer\" content=\"no-referrer\">"
                                 "<meta http-equiv=\"refresh\" content=\"0;url=" + url + "\"><title>tarnview</title>"
                                 "<a href=\"" + url + "\">Open the reports</a>\n";
        const bool written = write(file, page.data(), page.size()) == static_cast<ssize_t>(page.size());
        close(file);
        return written;
    }

    std::string path_;
};

// Ctrl-C and SIGTERM stop the server: the two signals are blocked in every
// thread started after this object, and one thread waits for them. Gone,
// it wakes that thread if no signal came and waits for it, so the server
// outlives its last use.
class StopOnSignal {
public:
    explicit StopOnSignal(tarnview::server::ViewerServer& server) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        waiter_ = std::thread([this, &server] {
            int signal = 0;
            sigwait(&signals_, &signal);
            server.Stop();
        });
    }
    ~StopOnSignal() {
        pthread_kill(waiter_.native_handle(), SIGTERM);
        waiter_.join();
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    sigset_t signals_;
    std::thread waiter_;
};

// What the command line names, by its name first: a report (REPORT.log), a
// run (BASE.vdr, BASE.vdr.progress), then a folder (any other directory) or
// a run's base.  (A directory named like a report or a run's file is
// refused as what it is named.)  False after a message naming the one that
// is none.
bool OpenServed(const std::vector<std::string>& given, tarnview::server::ReportLibrary& reports,
                tarnview::server::RunLibrary& runs) {
    std::vector<std::string> reportPaths;
    std::string error;
    for (const std::string& path : given) {
        std::error_code problem;
        const bool runFile = path.ends_with(".vdr") || path.ends_with(".vdr.progress");
        const bool folder = !runFile && !path.ends_with(".log") && std::filesystem::is_directory(path, problem);
        if (path.ends_with(".log")) {
            reportPaths.push_back(path);
        } else if (folder ? !runs.AddFolder(path, error) : !runs.AddRun(path, error)) {
            std::fprintf(stderr, "tarnview serve: %s\n", error.c_str());
            return false;
        }
    }
    if (!reports.Open(reportPaths, error, stderr)) {
        std::fprintf(stderr, "tarnview serve: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Where the page opens: the folder table when a folder is served, the run
// when only one run is, else the reports.
std::string PageHash(std::size_t reportsGiven, const tarnview::server::RunLibrary& runs) {
    if (runs.FolderCount() > 0) return "#runs";
    if (reportsGiven == 0 && runs.RunCount() == 1) return "#run=0";
    return "";
}

std::string Counted(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

int Serve(ServeArguments& arguments) {
    if (const int status = CheckAddress(arguments); status != 0) return status;
    tarnview::server::ReportLibrary reports;
    tarnview::server::RunLibrary runs(reports);
    if (!OpenServed(arguments.reports, reports, runs)) return 1;
    const std::size_t reportsGiven = reports.size();
    runs.RefreshNow();
    tarnview::server::ViewerServer server(reports, arguments.settings, tarnview::ServedPage(), &runs);
    std::string error;
    if (!server.Bind(error)) {
        std::fprintf(stderr, "tarnview serve: %s\n", error.c_str());
        return 1;
    }
    const StopOnSignal stopOnSignal(server);
    reports.StartBackgroundWork();
    WarnOfRemoteAccess(arguments.settings.host);
    std::string served = Counted(reportsGiven, "report", "reports");
    if (runs.FolderCount() > 0) served += ", " + Counted(runs.FolderCount(), "folder", "folders");
    if (runs.RunCount() > 0) served += ", " + Counted(runs.RunCount(), "run", "runs");
    const std::string url = server.Url() + PageHash(reportsGiven, runs);
    std::printf("Serving %s at\n    %s\nPress Ctrl-C to stop.\n", served.c_str(), url.c_str());
    std::fflush(stdout);
    BrowserOpener opener;
    if (arguments.open) opener.Open(url);
    server.Run();
    reports.StopBackgroundWork();
    return 0;
}

}  // namespace

CommandRun DeclareServe(CLI::App& command) {
    const auto arguments = std::make_shared<ServeArguments>();
    command.add_option("report", arguments->reports)->required();
    command.add_option("--port", arguments->settings.port)
        ->check(command_line::WholeNumber(0, 65535, "--port takes a number from 0 to 65535, not"))
        ->type_name("a number");
    command.add_option("--host", arguments->settings.host)->type_name("an address");
    command.add_flag("--open", arguments->open);
    command.add_flag("--allow-remote", arguments->allowRemote);
    return [arguments] { return Serve(*arguments); };
}
