// The local web server of `tarnview serve`: the page, and the JSON API over
// the reports named on the command line. Every request must carry the token
// and a Host header naming the bound address; nothing in a URL ever names a
// file.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "http_message.h"

namespace tarnview::server {

class ReportLibrary;
class RunLibrary;

struct ServerSettings {
    std::string host = "127.0.0.1";
    int port = 0;  // 0: any free port
    std::string token;
};

class ViewerServer {
public:
    // `page` is the HTML document served at `/`; `runs` the runs followed
    // (none: the run list is empty).
    ViewerServer(ReportLibrary& reports, ServerSettings settings, std::string page, RunLibrary* runs = nullptr);
    ~ViewerServer();
    ViewerServer(const ViewerServer&) = delete;
    ViewerServer& operator=(const ViewerServer&) = delete;

    // Binds the listening socket; false (with `error` set) when the address
    // or port cannot be had.
    bool Bind(std::string& error);
    int port() const { return port_; }
    const std::string& token() const { return settings_.token; }
    // The page's address with the token, to print or open.
    std::string Url() const;

    // Serves until Stop(); on the calling thread, or on a thread of its own.
    void Run();
    void RunInBackground();
    void Stop();

private:
    struct Http;
    // The answer that refuses a request of a foreign host or without the
    // token; nothing for one that may be served.
    std::optional<HttpAnswer> Refusal(const HttpRequest& request) const;
    HttpAnswer Answer(const HttpRequest& request) const;
    HttpAnswer AnswerRuns(const HttpRequest& request) const;
    ReportLibrary& reports_;
    RunLibrary* runs_;
    ServerSettings settings_;
    int port_ = -1;
    std::unique_ptr<Http> http_;
    std::thread background_;
};

}  // namespace tarnview::server
