// tarnview serve REPORT.log... [--port N] [--host H] [--open]: serves the
// reports to a browser on this machine until interrupted.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <charconv>
#include <cstdio>
#include <cstring>
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

bool ParsePort(const char* text, int& port) {
    const std::string_view view = text;
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), port);
    return error == std::errc() && end == view.data() + view.size() && port >= 0 && port <= 65535;
}

// 0 parsed, 1 help shown, 2 usage error (said on standard error).
int ParseArguments(int argc, char** argv, ServeArguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--help" || argument == "-h") {
            std::fputs(kServeHelp, stdout);
            return 1;
        } else if (argument == "--open") {
            arguments.open = true;
        } else if (argument == "--port" && hasValue) {
            if (!ParsePort(argv[++i], arguments.settings.port)) {
                std::fprintf(stderr, "tarnview serve: --port takes a number from 0 to 65535, not '%s'\n", argv[i]);
                return 2;
            }
        } else if (argument == "--host" && hasValue) {
            arguments.settings.host = argv[++i];
        } else if (argument.starts_with("-") && argument != "-") {
            std::fprintf(stderr, "tarnview serve: unknown option or missing value: %s\n\n%s", argv[i], kServeHelp);
            return 2;
        } else {
            arguments.reports.emplace_back(argument);
        }
    }
    if (arguments.reports.empty()) {
        std::fprintf(stderr, "tarnview serve: name at least one report\n\n%s", kServeHelp);
        return 2;
    }
    return 0;
}

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

}  // namespace

int RunServe(int argc, char** argv) {
    ServeArguments arguments;
    if (const int parsed = ParseArguments(argc, argv, arguments); parsed != 0) return parsed == 1 ? 0 : 2;

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
