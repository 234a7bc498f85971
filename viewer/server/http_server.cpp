#include "http_server.h"

#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <regex>
#include <string>

#include "access.h"
#include "bounded_server.h"
#include "fact_replies.h"
#include "replies.h"
#include "report_library.h"
#include "run_library.h"

namespace tarnview::server {

namespace {

constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "img-src data:; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

HttpAnswer Send(Reply reply) {
    HttpAnswer answer;
    answer.status = reply.status;
    answer.body = std::make_shared<const std::string>(std::move(reply.body));
    return answer;
}

// A report id from the URL: digits only (the route's pattern), within range.
std::optional<std::size_t> ReportId(const std::string& text, const ReportLibrary& reports) {
    std::size_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size() || id >= reports.size()) return std::nullopt;
    return id;
}

// Routes of one report: /api/reports/ID/WHAT.
const std::regex kReportRoute(R"(/api/reports/(\d{1,9})/(outline|lines|search|history|version))");
// The progress of one run: /api/runs/ID/progress.
const std::regex kRunRoute(R"(/api/runs/(\d{1,9})/progress)");

}  // namespace

struct ViewerServer::Http {
    explicit Http(ViewerServer& viewer)
        : server(ConnectionLimits{}, [&viewer](const HttpRequest& request) { return viewer.Refusal(request); },
                 [&viewer](const HttpRequest& request) { return viewer.Answer(request); }) {}
    BoundedServer server;
    std::shared_ptr<const std::string> page;
    std::optional<HostCheck> hosts;
};

ViewerServer::ViewerServer(ReportLibrary& reports, ServerSettings settings, std::string page, RunLibrary* runs)
    : reports_(reports), runs_(runs), settings_(std::move(settings)), http_(std::make_unique<Http>(*this)) {
    if (settings_.token.empty()) settings_.token = NewToken();
    http_->page = std::make_shared<const std::string>(std::move(page));
}

std::optional<HttpAnswer> ViewerServer::Refusal(const HttpRequest& request) const {
    const std::string* host = request.Header("Host");
    const bool hostAccepted = host != nullptr && http_->hosts && http_->hosts->Accepts(*host);
    const std::string* token = request.Parameter("token");
    if (!hostAccepted)
        return Send(ErrorReply(403, "this server answers only requests addressed to " + settings_.host + ":" +
                                        std::to_string(port_)));
    if (token == nullptr || !TokenMatches(settings_.token, *token))
        return Send(ErrorReply(403, "missing or wrong token: open the URL that tarnview serve printed"));
    return std::nullopt;
}

HttpAnswer ViewerServer::Answer(const HttpRequest& request) const {
    if (request.method != "GET" && request.method != "HEAD") return Send(ErrorReply(404, "no such page or report"));
    const auto parameter = [&](const char* name) { return request.Parameter(name); };
    if (request.path == "/") {
        HttpAnswer answer;
        answer.contentType = "text/html; charset=utf-8";
        answer.body = http_->page;
        answer.headers.emplace_back("Content-Security-Policy", kPagePolicy);
        return answer;
    }
    if (request.path == "/api/reports") return Send(ReportListReply(reports_));
    if (request.path.starts_with("/api/runs")) return AnswerRuns(request);
    if (request.path == "/api/compare")
        return Send(CompareReply(reports_, parameter("a"), parameter("b"), parameter("limit"), parameter("order"),
                                 parameter("tolerance")));
    for (const char* what : {"suggest", "facts", "diff"}) {
        if (request.path == std::string("/api/") + what) return Send(FactReply(reports_, what, parameter));
    }
    std::smatch match;
    if (!std::regex_match(request.path, match, kReportRoute)) return Send(ErrorReply(404, "no such page or report"));
    const std::optional<std::size_t> id = ReportId(match[1].str(), reports_);
    if (!id) return Send(ErrorReply(404, "no report with this id"));
    const std::shared_ptr<const ServedReport> report = reports_.Current(*id);
    const std::string what = match[2].str();
    if (what == "outline") return Send(OutlineReply(*report));
    if (what == "version") return Send(VersionReply(*report));
    if (what == "lines") return Send(LinesReply(*report, parameter("from"), parameter("count"), parameter("offset")));
    if (what == "search") return Send(SearchReply(*report, parameter("q"), parameter("from"), parameter("icase")));
    return Send(HistoryReply(*report, parameter("name"), parameter("kind")));
}

// /api/runs and /api/runs/ID/progress.
HttpAnswer ViewerServer::AnswerRuns(const HttpRequest& request) const {
    const std::string* since = request.Parameter("since");
    std::smatch match;
    if (request.path == "/api/runs") {
        if (runs_ != nullptr) return Send(runs_->RunsReply(since));
        if (since != nullptr && !ReadNumber(*since)) return Send(BadParameter("since", "a whole number"));
        return Send({200, R"({"generation":0,"runs":[],"truncated":false})"});
    }
    if (!std::regex_match(request.path, match, kRunRoute)) return Send(ErrorReply(404, "no such page or report"));
    if (runs_ == nullptr) return Send(ErrorReply(404, "no run with this id"));
    return Send(runs_->ProgressReply(match[1].str(), since));
}

ViewerServer::~ViewerServer() { Stop(); }

bool ViewerServer::Bind(std::string& error) {
    std::string why;
    port_ = http_->server.Bind(settings_.host, settings_.port, why);
    if (port_ < 0) {
        error = "cannot listen on " + settings_.host + ":" + std::to_string(settings_.port) + " (" + why + ")";
        return false;
    }
    http_->hosts.emplace(settings_.host, port_);
    return true;
}

std::string ViewerServer::Url() const {
    const std::string& host = settings_.host;
    const std::string shown = IsWildcardAddress(host) ? "127.0.0.1"
                              : host.find(':') != std::string::npos ? "[" + host + "]"
                                                                    : host;
    return "http://" + shown + ":" + std::to_string(port_) + "/?token=" + settings_.token;
}

void ViewerServer::Run() { http_->server.Run(); }

void ViewerServer::RunInBackground() {
    background_ = std::thread([this] { Run(); });
}

void ViewerServer::Stop() {
    http_->server.StopServing();
    if (background_.joinable()) background_.join();
}

}  // namespace tarnview::server
