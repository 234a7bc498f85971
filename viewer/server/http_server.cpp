#include "http_server.h"

#include <httplib.h>

#include <charconv>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "access.h"
#include "bounded_server.h"
#include "fact_replies.h"
#include "replies.h"
#include "report_library.h"

namespace tarnview::server {

namespace {

// Requests carry no body; a URL longer than the library's limit (8 KiB) is
// refused by the library itself with 414. The bounds the library has no
// setting for (header count and size, request time, idle and slow
// connections) are BoundedServer's.
constexpr std::size_t kMaxPayload = 4096;

// What every answer carries: no caching of data, no sniffing of types, no
// framing, and no Referer (which would hand the token to other sites).
const httplib::Headers kCommonHeaders = {
    {"Cache-Control", "no-store"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
};

constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
    "img-src data:; connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

// Hands `body` over as it is. The library compresses a text body given with
// set_content whenever the client offers br (browsers do), with brotli at a
// quality that takes half a second and more for the page: far longer than
// sending the bytes, to this machine or over a local network. A provider of
// known length is sent as it is; every answer goes this way, so that none
// pays that cost whatever its type.
void SetUncompressed(httplib::Response& response, std::shared_ptr<const std::string> body,
                     const char* contentType) {
    const std::size_t length = body->size();
    response.set_content_provider(
        length, contentType,
        [body = std::move(body)](std::size_t offset, std::size_t count, httplib::DataSink& sink) {
            return sink.write(body->data() + offset, count);
        });
}

void Send(httplib::Response& response, Reply reply) {
    response.status = reply.status;
    SetUncompressed(response, std::make_shared<const std::string>(std::move(reply.body)),
                    "application/json; charset=utf-8");
}

// A report id from the URL: digits only (the route's pattern), within range.
std::optional<std::size_t> ReportId(const httplib::Request& request, std::size_t match,
                                    const ReportLibrary& reports) {
    const std::string& text = request.matches[match].str();
    std::size_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size() || id >= reports.size()) return std::nullopt;
    return id;
}

const std::string* Parameter(const httplib::Request& request, const char* name) {
    const auto found = request.params.find(name);
    return found == request.params.end() ? nullptr : &found->second;
}

}  // namespace

struct ViewerServer::Http {
    BoundedServer server;
    std::shared_ptr<const std::string> page;
    std::optional<HostCheck> hosts;
};

ViewerServer::ViewerServer(ReportLibrary& reports, ServerSettings settings, std::string page)
    : reports_(reports), settings_(std::move(settings)), http_(std::make_unique<Http>()) {
    if (settings_.token.empty()) settings_.token = NewToken();
    http_->page = std::make_shared<const std::string>(std::move(page));
    BoundedServer& server = http_->server;
    const ConnectionLimits& limits = server.limits();
    server.set_payload_max_length(kMaxPayload);
    // (What the Keep-Alive header of each answer announces.)
    server.set_keep_alive_max_count(limits.requestsPerConnection);
    server.set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits.idleTime).count());
    server.set_default_headers(kCommonHeaders);

    server.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        const bool hostAccepted = request.has_header("Host") && http_->hosts &&
                                  http_->hosts->Accepts(request.get_header_value("Host"));
        const std::string* token = Parameter(request, "token");
        if (!hostAccepted) {
            Send(response, ErrorReply(403, "this server answers only requests addressed to " +
                                               settings_.host + ":" + std::to_string(port_)));
        } else if (token == nullptr || !TokenMatches(settings_.token, *token)) {
            Send(response, ErrorReply(403, "missing or wrong token: open the URL that tarnview serve printed"));
        } else {
            return httplib::Server::HandlerResponse::Unhandled;
        }
        return httplib::Server::HandlerResponse::Handled;
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        // A handler's own answer (its body is a provider) stands.
        if (response.has_header("Content-Type")) return;
        const int status = response.status;
        Send(response, ErrorReply(status, status == 404 ? "no such page or report" : "request refused"));
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        Send(response, ErrorReply(500, "internal error"));
    });

    server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Security-Policy", kPagePolicy);
        SetUncompressed(response, http_->page, "text/html; charset=utf-8");
    });
    server.Get("/api/reports", [this](const httplib::Request&, httplib::Response& response) {
        Send(response, ReportListReply(reports_));
    });
    server.Get("/api/compare", [this](const httplib::Request& request, httplib::Response& response) {
        Send(response, CompareReply(reports_, Parameter(request, "a"), Parameter(request, "b"),
                                    Parameter(request, "limit"), Parameter(request, "order"),
                                    Parameter(request, "tolerance")));
    });
    server.Get(R"(/api/(suggest|facts|diff))", [this](const httplib::Request& request, httplib::Response& response) {
        Send(response, FactReply(reports_, request.matches[1].str(), [&](const char* name) { return Parameter(request, name); }));
    });
    // Routes of one report: /api/reports/ID/WHAT.
    server.Get(R"(/api/reports/(\d{1,9})/(outline|lines|search|history|version))",
               [this](const httplib::Request& request, httplib::Response& response) {
                   const std::optional<std::size_t> id = ReportId(request, 1, reports_);
                   if (!id) return Send(response, ErrorReply(404, "no report with this id"));
                   const std::shared_ptr<const ServedReport> report = reports_.Current(*id);
                   const std::string& what = request.matches[2].str();
                   if (what == "outline") return Send(response, OutlineReply(*report));
                   if (what == "version") return Send(response, VersionReply(*report));
                   if (what == "lines")
                       return Send(response, LinesReply(*report, Parameter(request, "from"),
                                                        Parameter(request, "count"), Parameter(request, "offset")));
                   if (what == "search")
                       return Send(response, SearchReply(*report, Parameter(request, "q"),
                                                         Parameter(request, "from"), Parameter(request, "icase")));
                   Send(response, HistoryReply(*report, Parameter(request, "name"), Parameter(request, "kind")));
               });
}

ViewerServer::~ViewerServer() { Stop(); }

bool ViewerServer::Bind(std::string& error) {
    port_ = http_->server.Bind(settings_.host, settings_.port);
    if (port_ < 0) {
        error = "cannot listen on " + settings_.host + ":" + std::to_string(settings_.port) +
                " (address not available or port in use)";
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

void ViewerServer::Run() { http_->server.listen_after_bind(); }

void ViewerServer::RunInBackground() {
    background_ = std::thread([this] { Run(); });
    // Until it runs, a stop would go unnoticed.
    for (int wait = 0; wait < 5000 && !http_->server.is_running(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void ViewerServer::Stop() {
    http_->server.StopServing();
    if (background_.joinable()) background_.join();
}

}  // namespace tarnview::server
