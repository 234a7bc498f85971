// tarnview serve REPORT.log... [--port N] [--host H] [--open]: serves the
// reports to a browser on this machine until interrupted.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "access.h"
#include "commands.h"
#include "http_server.h"
#include "page_assets.h"
#include "report_library.h"

extern char** environ;

const char kServeHelp[] =
    "usage: tarnview serve REPORT.log... [--port N] [--host H] [--open]\n"
    "\n"
    "Serves the reports to a web browser: the outline at once, the lines as they\n"
    "are scrolled to, search, history and comparison on the server. Prints the\n"
    "page's address, with the access token it needs, and serves until Ctrl-C.\n"
    "A report written again while served is read again.\n"
    "\n"
    "  --port N   listen on port N (default: a free port)\n"
    "  --host H   listen on address H (default 127.0.0.1, this machine only;\n"
    "             0.0.0.0 lets other machines in, still behind the token)\n"
    "  --open     open the page in the desktop's browser (xdg-open)\n"
    "  --help     this text\n";

namespace {

struct ServeArguments {
    std::vector<std::string> reports;
    tarnview::server::ServerSettings settings;
    bool open = false;
};

void OpenInBrowser(const std::string& url) {
    const char* command[] = {"xdg-open", url.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char**>(command), environ) != 0) {
        std::fputs("tarnview serve: cannot run xdg-open; open the address above in a browser\n", stderr);
        return;
    }
    std::thread([child] { waitpid(child, nullptr, 0); }).detach();
}

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

int Serve(const ServeArguments& arguments) {
    tarnview::server::ReportLibrary reports;
    std::string error;
    if (!reports.Open(arguments.reports, error, stderr)) {
        std::fprintf(stderr, "tarnview serve: %s\n", error.c_str());
        return 1;
    }
    tarnview::server::ViewerServer server(reports, arguments.settings, tarnview::ServedPage());
    if (!server.Bind(error)) {
        std::fprintf(stderr, "tarnview serve: %s\n", error.c_str());
        return 1;
    }
    const StopOnSignal stopOnSignal(server);
    reports.StartBackgroundWork();
    if (tarnview::server::IsWildcardAddress(arguments.settings.host))
        std::fputs("tarnview serve: listening on every address: other machines can reach the reports "
                   "with the token\n", stderr);
    std::printf("Serving %zu report%s at\n    %s\nPress Ctrl-C to stop.\n", reports.size(),
                reports.size() == 1 ? "" : "s", server.Url().c_str());
    std::fflush(stdout);
    if (arguments.open) OpenInBrowser(server.Url());
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
    return [arguments] { return Serve(*arguments); };
}
