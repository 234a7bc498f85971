// The HTTP interface of `tarnview serve` against a server on a free
// loopback port, started and stopped by each test: the access rules, the
// API's answers, bounded requests and reloads of a rewritten report.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "http_server.h"
#include "model_runs.h"
#include "report_fixture.h"
#include "report_json.h"
#include "report_library.h"

namespace {

using namespace std::chrono_literals;
using tarnview::server::ReportLibrary;
using tarnview::server::ServerSettings;
using tarnview::server::ViewerServer;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";
constexpr const char* kPage = "<!DOCTYPE html><title>the page</title>";

std::string ExampleLog(const std::string& name) {
    const ReportResult result = RunOnData(ReadText(std::string(TARN_SOURCE_DIR) + "/examples/" + name + ".vdr"));
    EXPECT_TRUE(result.logWritten) << name;
    return result.log;
}

// The blending run with another final value of F_C3_GAS (80 -> 80.3): a
// second run of the same model.
std::string ChangedBlendingLog() {
    std::string log = ExampleLog("blending");
    const std::string row = "F_C3_GAS                     78.75 S           80";
    const std::size_t at = log.rfind(row);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos) log.replace(at + row.size() - 4, 4, "80.3");
    return log;
}

// A raw exchange: `request` as bytes, the whole answer (the server closes
// the connection or a second passes).
std::string RawExchange(int port, const std::string& request) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        timeval timeout{1, 0};
        setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        send(socket, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t got; (got = recv(socket, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
    }
    close(socket);
    return answer;
}

class Served : public testing::Test {
protected:
    void Start(const std::vector<std::pair<std::string, std::string>>& files,
               std::chrono::milliseconds pollInterval = 50ms) {
        std::vector<std::string> paths;
        for (const auto& [name, text] : files) {
            paths.push_back(directory_.File(name));
            WriteText(paths.back(), text);
        }
        std::string error;
        ASSERT_TRUE(library_.Open(paths, error, nullptr)) << error;
        server_ = std::make_unique<ViewerServer>(library_, ServerSettings{"127.0.0.1", 0, kToken}, kPage);
        ASSERT_TRUE(server_->Bind(error)) << error;
        server_->RunInBackground();
        library_.StartBackgroundWork(pollInterval);
        ASSERT_TRUE(library_.WaitUntilIndexed(10s));
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_connection_timeout(5);
        client_->set_read_timeout(5);
    }
    void TearDown() override {
        if (server_) server_->Stop();
        library_.StopBackgroundWork();
    }

    std::string Path(const std::string& path, const std::string& parameters = "") const {
        return path + "?token=" + kToken + (parameters.empty() ? "" : "&" + parameters);
    }
    // The answer's status and body; status -1 when there was none.
    std::pair<int, std::string> Get(const std::string& path, const httplib::Headers& headers = {}) {
        const httplib::Result result = client_->Get(path, headers);
        if (!result) return {-1, ""};
        return {result->status, result->body};
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(server_->port()); }
    bool StillAnswers() { return Get(Path("/api/reports")).first == 200; }

    TempDir directory_;
    ReportLibrary library_;
    std::unique_ptr<ViewerServer> server_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(Served, RefusesRequestsWithoutTheToken) {
    Start({{"blending.log", ExampleLog("blending")}});
    for (const std::string& path : std::vector<std::string>{"/", "/api/reports", "/api/reports/0/outline", "/api/reports/0/lines",
                                                            "/api/suggest?report=0&q=QSUL", "/api/facts",
                                                            "/api/diff?report=0&from=0"}) {
        const auto [status, body] = Get(path);
        EXPECT_EQ(status, 403) << path;
        EXPECT_NE(body.find("\"error\""), std::string::npos) << path;
        EXPECT_EQ(body.find("Model Name"), std::string::npos) << path;
    }
    EXPECT_EQ(Get("/?token=").first, 403);
    EXPECT_EQ(Get(Path("/")).first, 200);
    EXPECT_EQ(Get(Path("/")).second, kPage);
}

TEST_F(Served, RefusesAWrongToken) {
    Start({{"blending.log", ExampleLog("blending")}});
    EXPECT_EQ(Get("/api/reports?token=wrong").first, 403);
    EXPECT_EQ(Get("/api/reports?token=0123456789abcdef0123456789abcdeg").first, 403);
    EXPECT_EQ(Get("/api/reports?token=0123456789abcdef0123456789abcde").first, 403);
    EXPECT_EQ(Get(std::string("/api/reports?token=") + kToken + "0").first, 403);
    EXPECT_EQ(Get(std::string("/api/reports?token=wrong&token=") + kToken).first, 403);
    EXPECT_EQ(Get("/api/reports", {{"Authorization", std::string("token ") + kToken}}).first, 403);
    EXPECT_EQ(Get(Path("/api/reports")).first, 200);
}

TEST_F(Served, RefusesAForeignHostHeader) {
    Start({{"blending.log", ExampleLog("blending")}});
    const std::string port = std::to_string(server_->port());
    for (const std::string& host : std::vector<std::string>{"evil.example:" + port, "evil.example", "127.0.0.1:1", "localhost",
                                   "127.0.0.1:" + port + ".evil.example", "localhost.evil.example:" + port}) {
        const auto [status, body] = Get(Path("/api/reports/0/outline"), {{"Host", host}});
        EXPECT_EQ(status, 403) << host;
        EXPECT_EQ(body.find("Model Name"), std::string::npos) << host;
        const auto [factsStatus, facts] = Get(Path("/api/facts"), {{"Host", host}});
        EXPECT_EQ(factsStatus, 403) << host;
        EXPECT_EQ(facts.find("POOLING"), std::string::npos) << host;
    }
    EXPECT_EQ(Get(Path("/api/reports"), {{"Host", "localhost:" + port}}).first, 200);
    EXPECT_EQ(Get(Path("/api/reports"), {{"Host", "127.0.0.1:" + port}}).first, 200);
    // HTTP/1.0 without a Host header at all.
    const std::string answer = RawExchange(server_->port(), "GET " + Path("/api/reports") + " HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 403")) << answer.substr(0, 80);
}

TEST_F(Served, NoPartOfAUrlBecomesAPath) {
    const std::string log = ExampleLog("blending");
    Start({{"blending.log", log}});
    const std::string directory = directory_.Path();
    for (const std::string& path :
         std::vector<std::string>{"/etc/passwd", "/../../../../../../etc/passwd", "/api/reports/0/../../../../../../etc/passwd",
          "/%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/passwd", "/api/reports/..%2f..%2f..%2fetc%2fpasswd/outline",
          "/api/reports/0/outline/../../../../../etc/passwd", "/blending.log", "/api/reports/blending.log/outline",
          "/api/reports/0/lines/..%2fblending.log", directory + "/blending.log", "/api/reports/%2f/outline",
          "/api/reports/-1/outline", "/api/reports/1/outline", "/api/reports/4294967296/outline"}) {
        const std::string answer =
            RawExchange(server_->port(), "GET " + Path(path) + " HTTP/1.1\r\nHost: " + Host() +
                                             "\r\nConnection: close\r\n\r\n");
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 404")) << path << ": " << answer.substr(0, 80);
        EXPECT_EQ(answer.find("root:"), std::string::npos) << path;
        EXPECT_EQ(answer.find("Model Name"), std::string::npos) << path;
    }
    // Nothing names a file but its id; the served name is the base name.
    const auto [status, list] = Get(Path("/api/reports"));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(list.find(directory), std::string::npos) << list;
    EXPECT_NE(list.find("\"file\":\"blending.log\""), std::string::npos) << list;
}

TEST_F(Served, ListsOutlinesAndLines) {
    const std::string log = ExampleLog("blending");
    Start({{"blending.log", log}});
    const auto report = tarnview::Report::FromText(log, "blending.log");
    EXPECT_EQ(Get(Path("/api/reports")).second,
              "[{\"id\":0,\"file\":\"blending.log\",\"bytes\":" + std::to_string(log.size()) +
                  ",\"lineCount\":509,\"version\":1,\"indexed\":true}]");
    EXPECT_EQ(Get(Path("/api/reports/0/outline")).second, tarnview::OutlineJson(*report));
    EXPECT_EQ(Get(Path("/api/reports/0/version")).second, "{\"version\":1}");
    EXPECT_EQ(Get(Path("/api/reports/0/lines", "from=100&count=7")).second,
              "{\"from\":100,\"lines\":" + tarnview::LinesJson(*report, 100, 7) + "}");
    EXPECT_EQ(Get(Path("/api/reports/0/lines", "from=500&count=100000")).second,
              "{\"from\":500,\"lines\":" + tarnview::LinesJson(*report, 500, 9) + "}");
    EXPECT_EQ(Get(Path("/api/reports/0/lines", "from=509")).second, "{\"from\":509,\"lines\":[]}");
    EXPECT_EQ(Get(Path("/api/reports/0/lines", "from=18446744073709551615&count=18446744073709551615")).first,
              200);
    for (const std::string& bad : std::vector<std::string>{"from=-1", "from=1e3", "from=", "count=abc", "count=1.5",
                                  "from=99999999999999999999", "from=%00"}) {
        const auto [status, body] = Get(Path("/api/reports/0/lines", bad));
        EXPECT_EQ(status, 400) << bad;
        EXPECT_NE(body.find("\"error\""), std::string::npos) << bad;
    }
    EXPECT_EQ(Get(Path("/api/reports/0/nothing")).first, 404);
    EXPECT_EQ(Get(Path("/api")).first, 404);
}

// Browsers offer br; compressing the page with it cost half a second and
// more per load. Answers go out as they are, typed, with the safety headers, and a
// handler's own error message is not replaced by the generic one.
TEST_F(Served, AnswersUncompressedWhenTheClientOffersCompression) {
    Start({{"blending.log", ExampleLog("blending")}});
    client_->set_decompress(false);
    const httplib::Headers offer = {{"Accept-Encoding", "gzip, deflate, br"}};
    struct Expected {
        std::string path;
        int status;
        std::string type;
    };
    for (const Expected& expected : std::vector<Expected>{
             {Path("/"), 200, "text/html; charset=utf-8"},
             {Path("/api/reports/0/outline"), 200, "application/json; charset=utf-8"},
             {Path("/api/reports/0/lines", "from=0&count=500"), 200, "application/json; charset=utf-8"},
             {Path("/api/reports/7/outline"), 404, "application/json; charset=utf-8"}}) {
        const httplib::Result result = client_->Get(expected.path, offer);
        ASSERT_TRUE(result) << expected.path;
        EXPECT_EQ(result->status, expected.status) << expected.path;
        EXPECT_FALSE(result->has_header("Content-Encoding")) << expected.path;
        EXPECT_EQ(result->get_header_value("Content-Length"), std::to_string(result->body.size())) << expected.path;
        EXPECT_EQ(result->get_header_value("Content-Type"), expected.type) << expected.path;
        EXPECT_EQ(result->get_header_value("X-Content-Type-Options"), "nosniff") << expected.path;
        EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store") << expected.path;
    }
    const httplib::Result page = client_->Get(Path("/"), offer);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->body, kPage);
    EXPECT_TRUE(page->has_header("Content-Security-Policy"));
    const httplib::Result missing = client_->Get(Path("/api/reports/7/outline"), offer);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->body.find("no report with this id"), std::string::npos);
}

TEST_F(Served, SearchesNamesInTheIndexAndTextPageByPage) {
    Start({{"blending.log", ExampleLog("blending")}});
    const auto [status, body] = Get(Path("/api/reports/0/search", "q=F_C3_GAS"));
    EXPECT_EQ(status, 200);
    // The row in Variable Details of each of the five iteration blocks, and
    // in the variable change and active bound lists of the major ones.
    for (const char* line : {"\"line\":92,", "\"line\":198,", "\"line\":292,", "\"line\":391,", "\"line\":477,",
                             "\"line\":174,", "\"line\":461,"})
        EXPECT_NE(body.find(line), std::string::npos) << line << " in " << body;
    EXPECT_NE(body.find("\"next\":null,\"indexed\":true,\"name\":true,\"kinds\":[\"variable\"]"), std::string::npos)
        << body;

    const std::string titles = Get(Path("/api/reports/0/search", "q=Equation%20Details")).second;
    EXPECT_NE(titles.find("\"text\":\"Equation Details\""), std::string::npos) << titles;

    const std::string text = Get(Path("/api/reports/0/search", "q=Warning%3A")).second;
    EXPECT_NE(text.find("{\"line\":130,\"region\":15,\"text\":\"**  Warning: Step bound reduced for QSUL_POOL\"}"),
              std::string::npos)
        << text;
    EXPECT_EQ(Get(Path("/api/reports/0/search", "q=Warning%3A&from=131")).second.find("\"line\":130"),
              std::string::npos);
    EXPECT_EQ(Get(Path("/api/reports/0/search", "q=%3Cscript%3E")).second,
              "{\"hits\":[],\"next\":null,\"indexed\":true,\"name\":false,\"kinds\":[]}");
    EXPECT_EQ(Get(Path("/api/reports/0/search")).first, 400);
    EXPECT_EQ(Get(Path("/api/reports/0/search", "q=")).first, 400);
    EXPECT_EQ(Get(Path("/api/reports/0/search", "q=" + std::string(1001, 'x'))).first, 400);
    EXPECT_EQ(Get(Path("/api/reports/0/search", "q=x&from=x")).first, 400);
}

TEST_F(Served, AnswersHistoriesAndComparisons) {
    Start({{"blending.log", ExampleLog("blending")},
           {"blending-again.log", ChangedBlendingLog()},
           {"refinery.log", ExampleLog("refinery_infeasible")}});
    const std::string history = Get(Path("/api/reports/0/history", "name=F_C3_GAS")).second;
    EXPECT_TRUE(history.starts_with("{\"name\":\"F_C3_GAS\",\"kind\":\"variable\",\"columns\":[\"Lower\","))
        << history;
    EXPECT_NE(history.find("{\"iteration\":-1,\"line\":92,"), std::string::npos) << history;
    EXPECT_NE(history.find("{\"iteration\":3,\"line\":477,"), std::string::npos) << history;
    EXPECT_EQ(Get(Path("/api/reports/0/history", "name=NOBODY")).first, 404);
    EXPECT_EQ(Get(Path("/api/reports/0/history", "name=F_C3_GAS&kind=equation")).first, 404);
    EXPECT_EQ(Get(Path("/api/reports/0/history", "name=F_C3_GAS&kind=variable")).second, history);
    EXPECT_EQ(Get(Path("/api/reports/0/history", "name=F_C3_GAS&kind=x")).first, 400);
    EXPECT_EQ(Get(Path("/api/reports/0/history")).first, 400);

    const auto [status, same] = Get(Path("/api/compare", "a=0&b=1"));
    EXPECT_EQ(status, 200);
    EXPECT_NE(same.find("\"sameModel\":true,\"namesCompared\":22,\"onlyInA\":0,\"onlyInB\":0,\"order\":\"size\","
                        "\"differenceCount\":1,\"differences\":[{\"name\":\"F_C3_GAS\",\"kind\":\"variable\","
                        "\"column\":\"Value\",\"a\":80,\"b\":80.3,\"difference\":0.3,"),
              std::string::npos)
        << same;
    EXPECT_NE(same.find("{\"id\":1,\"file\":\"blending-again.log\",\"version\":1,\"summary\":{\"columns\":"),
              std::string::npos);
    EXPECT_NE(Get(Path("/api/compare", "a=0&b=0")).second.find("\"differences\":[]"), std::string::npos);
    EXPECT_NE(Get(Path("/api/compare", "a=0&b=2")).second.find("\"sameModel\":false"), std::string::npos);
    EXPECT_EQ(Get(Path("/api/compare", "a=0&b=3")).first, 404);
    EXPECT_EQ(Get(Path("/api/compare", "a=0")).first, 404);
    EXPECT_EQ(Get(Path("/api/compare", "a=0&b=1&limit=x")).first, 400);
}

// The route gives the reader's comparison: every differing item, its two
// values and the sign of the change, largest first, and only those.
TEST_F(Served, ComparesEveryDifferingItemOfTwoRuns) {
    const auto log = [](const model_runs::FinalValues& values) {
        return RunOnData(model_runs::RunData(values)).log;
    };
    Start({{"a.log", log(model_runs::RunA())}, {"b.log", log(model_runs::RunB())}, {"c.log", log(model_runs::RunC())}});
    for (const auto& [pair, expected] :
         {std::pair{"a=0&b=1", model_runs::ExpectedDifferences(model_runs::RunA(), model_runs::RunB())},
          std::pair{"a=0&b=2", model_runs::ExpectedDifferences(model_runs::RunA(), model_runs::RunC())}}) {
        const auto [status, body] = Get(Path("/api/compare", std::string(pair) + "&limit=1000"));
        ASSERT_EQ(status, 200) << body;
        rapidjson::Document answer;
        answer.Parse(body.c_str());
        ASSERT_FALSE(answer.HasParseError());
        const auto& differences = answer["differences"];
        EXPECT_EQ(answer["differenceCount"].GetUint64(), expected.size());
        ASSERT_EQ(differences.Size(), expected.size()) << pair;
        for (rapidjson::SizeType k = 0; k < differences.Size(); ++k) {
            const auto& found = differences[k];
            EXPECT_EQ(found["name"].GetString(), expected[k].name) << k;
            EXPECT_STREQ(found["kind"].GetString(), expected[k].variable ? "variable" : "equation") << k;
            EXPECT_EQ(found["a"].GetDouble(), expected[k].a) << k;
            EXPECT_EQ(found["b"].GetDouble(), expected[k].b) << k;
            EXPECT_EQ(found["difference"].GetDouble(), expected[k].b - expected[k].a) << k;
        }
    }
    const std::string relative = Get(Path("/api/compare", "a=0&b=2&order=relative")).second;
    EXPECT_NE(relative.find("\"differences\":[{\"name\":\"V0000001\""), std::string::npos) << relative;
    EXPECT_EQ(Get(Path("/api/compare", "a=0&b=2&order=x")).first, 400);
}

TEST_F(Served, BoundsRequestsAndSurvivesMalformedOnes) {
    Start({{"blending.log", ExampleLog("blending")}});
    const std::string host = "Host: " + Host() + "\r\nConnection: close\r\n";
    const std::string longUrl = "GET " + Path("/api/reports", "q=" + std::string(10000, 'x')) + " HTTP/1.1\r\n";
    EXPECT_TRUE(RawExchange(server_->port(), longUrl + host + "\r\n").starts_with("HTTP/1.1 414"));
    const std::string post = "POST " + Path("/api/reports") + " HTTP/1.1\r\n" + host +
                             "Content-Length: 100000\r\n\r\n" + std::string(100000, 'x');
    EXPECT_TRUE(RawExchange(server_->port(), post).starts_with("HTTP/1.1 413"));
    for (const std::string& request :
         std::vector<std::string>{std::string("\r\n\r\n"), std::string("GARBAGE\r\n\r\n"), std::string(5000, '\0'),
          "GET / HTTP/9.9\r\n" + host + "\r\n", "GET " + Path("/") + " HTTP/1.1\r\n" + host + "X: " +
          std::string(100000, 'y') + "\r\n\r\n", "GET " + Path("/api/reports/0/lines") + " HTTP/1.1\r\n" + host +
          "Range: bytes=99999999-1,-5,0-\r\n\r\n", "GET " + Path("/api/reports/0/lines") + " HTTP/1.1\r\n" + host}) {
        RawExchange(server_->port(), request);
        EXPECT_TRUE(StillAnswers()) << request.substr(0, 60);
    }
    EXPECT_EQ(client_->Post(Path("/api/reports"), "x", "text/plain")->status, 404);
    EXPECT_EQ(client_->Delete(Path("/api/reports"))->status, 404);
}

int Connect(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(socket);
        return -1;
    }
    return socket;
}

// The memory the process holds (resident), in bytes.
std::size_t ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

// Sends `piece` again and again until the server closes the connection (or
// `limit` bytes went); the answer it then sends.
std::string SendUntilClosed(int socket, const std::string& start, const std::string& piece, std::size_t limit,
                            std::chrono::milliseconds pause) {
    send(socket, start.data(), start.size(), MSG_NOSIGNAL);
    for (std::size_t sent = 0; sent < limit; sent += piece.size()) {
        if (send(socket, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) break;
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    timeval timeout{2, 0};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = recv(socket, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, got);
    close(socket);
    return answer;
}

// Clients that hold connections open without a request, send one a byte at
// a time, or flood it with headers: none holds up a good request, each is
// ended with its own answer, and what the floods sent is not kept.
TEST_F(Served, AnswersAtOnceWhileIdleSlowAndFloodingClientsHoldConnections) {
    Start({{"blending.log", ExampleLog("blending")}});
    ASSERT_TRUE(StillAnswers());
    const std::size_t memoryBefore = ResidentBytes();
    const int port = server_->port();
    const std::string head = "GET " + Path("/api/reports") + " HTTP/1.1\r\nHost: " + Host() + "\r\n";

    std::vector<int> idle;
    for (int i = 0; i < 100; ++i) idle.push_back(Connect(port));
    std::vector<std::thread> clients;
    std::vector<std::string> slowAnswers(8), floodAnswers(8);
    for (std::size_t i = 0; i < slowAnswers.size(); ++i)
        clients.emplace_back([&, i] { slowAnswers[i] = SendUntilClosed(Connect(port), head, "X", 100, 300ms); });
    for (std::size_t i = 0; i < floodAnswers.size(); ++i) {
        const std::string header = "X-Flood: " + std::string(1000, 'f') + "\r\n";
        clients.emplace_back([&, i, header] {
            floodAnswers[i] = SendUntilClosed(Connect(port), head, header, 25u << 20, 0ms);
        });
    }
    std::this_thread::sleep_for(200ms);

    // A good request on a new connection, and small ones on a kept-alive
    // connection (each would wait for a delayed acknowledgement without
    // TCP_NODELAY), while all of them are open.
    const auto start = std::chrono::steady_clock::now();
    httplib::Client fresh("127.0.0.1", port);
    fresh.set_keep_alive(true);
    for (int i = 0; i < 50; ++i) {
        const httplib::Result result = fresh.Get(Path("/api/reports/0/version"));
        ASSERT_TRUE(result && result->status == 200);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "a good request waited for other clients";

    for (std::thread& client : clients) client.join();
    for (int socket : idle) close(socket);
    for (const std::string& answer : slowAnswers) EXPECT_TRUE(answer.starts_with("HTTP/1.1 408")) << answer;
    for (const std::string& answer : floodAnswers) EXPECT_TRUE(answer.starts_with("HTTP/1.1 431")) << answer;
    const std::string manyHeaders = head + [] {
        std::string headers;
        for (int i = 0; i < 200; ++i) headers += "X-" + std::to_string(i) + ": 1\r\n";
        return headers;
    }() + "\r\n";
    EXPECT_TRUE(RawExchange(port, manyHeaders).starts_with("HTTP/1.1 431"));
    EXPECT_TRUE(StillAnswers());
    EXPECT_LT(ResidentBytes(), memoryBefore + (32u << 20)) << "the server kept what the floods sent";
}

TEST_F(Served, ReadsAReportWrittenAgain) {
    const std::string first = ExampleLog("blending");
    Start({{"run.log", first}});
    const std::shared_ptr<const tarnview::server::ServedReport> inFlight = library_.Current(0);
    // Written again in place, as the report library writes, and shorter:
    // a run that ended early.
    const std::string second = first.substr(0, 5000);
    WriteText(directory_.File("run.log"), second);
    std::string version;
    for (int wait = 0; wait < 200 && version != "{\"version\":2}"; ++wait) {
        std::this_thread::sleep_for(50ms);
        version = Get(Path("/api/reports/0/version")).second;
    }
    EXPECT_EQ(version, "{\"version\":2}");
    const std::string lineCount = std::to_string(tarnview::Report::FromText(second)->LineCount());
    EXPECT_NE(Get(Path("/api/reports")).second.find("\"lineCount\":" + lineCount + ",\"version\":2"),
              std::string::npos);
    EXPECT_NE(Get(Path("/api/reports/0/outline")).second.find("\"endedEarly\":true"), std::string::npos);
    // A request still holding the old version reads it to its end: what the
    // shorter file no longer has reads as zero bytes.
    const tarnview::Report& old = inFlight->report();
    ASSERT_EQ(old.LineCount(), 509u);
    EXPECT_GE(old.RawLine(508).size(), std::string_view("#endregion").size());
    EXPECT_EQ(old.RawLine(508).find_first_not_of('\0'), std::string_view::npos);
    EXPECT_TRUE(inFlight->Damaged());
}

TEST_F(Served, ServesAReportTruncatedUnderItsMap) {
    Start({{"run.log", ExampleLog("blending")}}, 1h);  // no reload during the test
    std::filesystem::resize_file(directory_.File("run.log"), 100);
    const auto [status, body] = Get(Path("/api/reports/0/lines", "from=0&count=5000"));
    EXPECT_EQ(status, 200);
    EXPECT_TRUE(library_.Current(0)->Damaged());
    const auto [searched, hits] = Get(Path("/api/reports/0/search", "q=zzz"));
    EXPECT_EQ(searched, 200);
    EXPECT_TRUE(StillAnswers());
}

}  // namespace

namespace {

TEST_F(Served, SuggestsNamesAndAnswersFactsAndDiffs) {
    Start({{"blending.log", ExampleLog("blending")}, {"refinery.log", ExampleLog("refinery_infeasible")}});
    const auto [status, suggested] = Get(Path("/api/suggest", "report=0&q=qsul&count=1"));
    EXPECT_EQ(status, 200);
    EXPECT_EQ(suggested, "{\"query\":\"qsul\",\"suggestions\":[{\"name\":\"QSUL_POOL\",\"variable\":true,"
                         "\"equation\":false,\"match\":\"prefix\"}]}");
    EXPECT_NE(Get(Path("/api/suggest", "report=0&q=QSUL_POLL")).second.find("\"QSUL_POOL\",\"variable\":true,"
                                                                            "\"equation\":false,\"match\":\"close\""),
              std::string::npos);
    EXPECT_EQ(Get(Path("/api/suggest", "report=0&q=ZZZZZZZZ")).second, "{\"query\":\"ZZZZZZZZ\",\"suggestions\":[]}");
    for (const std::string& bad : std::vector<std::string>{"report=0", "report=0&q=", "report=0&q=a&count=0",
                                                           "report=0&q=a&count=x", "report=0&q=" + std::string(1001, 'x')})
        EXPECT_EQ(Get(Path("/api/suggest", bad)).first, 400) << bad;
    EXPECT_EQ(Get(Path("/api/suggest", "report=2&q=a")).first, 404);

    const std::string facts = Get(Path("/api/facts", "reports=1,0")).second;
    EXPECT_TRUE(facts.starts_with("{\"runs\":[{\"id\":1,\"version\":1,\"facts\":{\"file\":\"refinery.log\"")) << facts;
    EXPECT_NE(facts.find("\"status\":\"Infeasible\",\"majorIterations\":5,\"lastIteration\":4,"
                         "\"finalObjective\":5300,\"finalInfeasibility\":2.55,"),
              std::string::npos)
        << facts;
    EXPECT_NE(facts.find("{\"display\":\"TARN Solver Option Display\",\"option\":\"ITERLIM\",\"value\":\"50\"}"),
              std::string::npos);
    EXPECT_EQ(Get(Path("/api/facts")).second.find("{\"runs\":[{\"id\":0,"), 0u);
    EXPECT_EQ(Get(Path("/api/facts", "reports=0,7")).first, 404);
    EXPECT_EQ(Get(Path("/api/facts", "reports=0,,1")).first, 404);

    // The next iteration unless another is asked for.
    const std::string diff = Get(Path("/api/diff", "report=0&from=0&limit=1")).second;
    EXPECT_TRUE(diff.starts_with("{\"from\":0,\"to\":1,\"valueCount\":12,\"values\":[{\"name\":\"TANK_LEVEL\","))
        << diff;
    EXPECT_EQ(diff.find("IMPORT_DSL"), std::string::npos);
    EXPECT_EQ(Get(Path("/api/diff", "report=0&from=-1&to=3")).second.find("{\"from\":-1,\"to\":3,"), 0u);
    EXPECT_EQ(Get(Path("/api/diff", "report=0&from=3")).first, 404);  // no block after the last
    EXPECT_EQ(Get(Path("/api/diff", "report=0&from=0&to=9")).first, 404);
    for (const std::string bad : {"report=0", "report=0&from=x", "report=0&from=0&to=-2", "report=0&from=0&limit=x",
                                  "report=0&from=0&order=x"})
        EXPECT_EQ(Get(Path("/api/diff", bad)).first, 400) << bad;
}

}  // namespace
