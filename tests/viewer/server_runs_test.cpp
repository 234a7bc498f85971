// The runs `tarnview serve` follows, through its HTTP interface: a folder's
// runs and reports with their states, one run's iterations, the generation
// that tells a poller nothing changed, reports that appear taking the next
// id, and every file kind and link a folder may hold.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>
#include <rapidjson/document.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>

#include "http_server.h"
#include "report_fixture.h"
#include "report_json.h"
#include "report_library.h"
#include "run_folder.h"
#include "run_library.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tarnview::server::ReportLibrary;
using tarnview::server::RunLibrary;
using tarnview::server::ServerSettings;
using tarnview::server::ViewerServer;

constexpr const char* kToken = "0123456789abcdef0123456789abcdef";

std::string ProgressHeader(long long pid) {
    return R"({"format":"tarn-vdr-progress","version":1,"run":"x.vdr","pid":)" + std::to_string(pid) +
           R"(,"started":"today"})" "\n" R"({"model":"M","variables":["X","Y"],"equations":["E"]})" "\n";
}

std::string IterationLine(int number, double objective) {
    return R"({"iter":)" + std::to_string(number) + R"(,"feasible":false,"objective":)" + std::to_string(objective) +
           R"(,"infeasibility":"inf","objective_convergence":1,"residual_convergence":2,)"
           R"("variable_convergence":3,"most_infeasible":"E"})" "\n";
}

// A process id that no longer runs.
long long GonePid() {
    const pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

std::string ExampleLog(const std::string& example) {
    const ReportResult result = RunOnData(ReadText(std::string(TARN_SOURCE_DIR) + "/examples/" + example + ".vdr"));
    EXPECT_TRUE(result.logWritten);
    return result.log;
}

std::string BlendingLog() { return ExampleLog("blending"); }

class RunsServed : public testing::Test {
protected:
    void SetUp() override {
        folder_ = directory_.File("study");
        outside_ = directory_.File("outside");
        fs::create_directories(folder_ + "/sub");
        fs::create_directories(outside_);
    }
    // Serves the folder; every request looks at it again.
    void Start() {
        std::string error;
        ASSERT_TRUE(runs_.AddFolder(folder_, error)) << error;
        server_ = std::make_unique<ViewerServer>(library_, ServerSettings{"127.0.0.1", 0, kToken}, "page", &runs_);
        ASSERT_TRUE(server_->Bind(error)) << error;
        server_->RunInBackground();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_read_timeout(10);
    }
    void TearDown() override {
        if (server_) server_->Stop();
    }
    std::pair<int, std::string> Get(const std::string& path, const std::string& parameters = "") {
        const httplib::Result result =
            client_->Get(path + "?token=" + kToken + (parameters.empty() ? "" : "&" + parameters));
        if (!result) return {-1, ""};
        return {result->status, result->body};
    }
    // The rows by name.
    std::map<std::string, rapidjson::Document> Rows(std::uint64_t* generation = nullptr) {
        const auto [status, body] = Get("/api/runs");
        EXPECT_EQ(status, 200) << body;
        rapidjson::Document answer;
        answer.Parse(body.c_str());
        EXPECT_TRUE(answer.IsObject() && answer["runs"].IsArray()) << body;
        std::map<std::string, rapidjson::Document> rows;
        if (!answer.IsObject() || !answer["runs"].IsArray()) return rows;
        if (generation != nullptr) *generation = answer["generation"].GetUint64();
        for (const auto& row : answer["runs"].GetArray()) {
            rapidjson::Document copy;
            copy.CopyFrom(row, copy.GetAllocator());
            rows.emplace(row["name"].GetString(), std::move(copy));
        }
        return rows;
    }

    TempDir directory_;
    std::string folder_, outside_;
    ReportLibrary library_;
    RunLibrary runs_{library_, 0ms};
    std::unique_ptr<ViewerServer> server_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(RunsServed, ListsEveryRunWithItsStateAndFollowsItsIterations) {
    WriteText(folder_ + "/ended.log", BlendingLog());
    WriteText(folder_ + "/sub/going.vdr.progress", ProgressHeader(getpid()) + IterationLine(0, 5) + IterationLine(1, 4));
    WriteText(folder_ + "/stopped.vdr.progress", ProgressHeader(GonePid()) + IterationLine(0, 7));
    WriteText(folder_ + "/closed.vdr", "{}");
    WriteText(folder_ + "/bad.vdr.progress", "{\"format\":1}\n");
    Start();

    std::uint64_t generation = 0;
    auto rows = Rows(&generation);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_STREQ(rows["ended"]["state"].GetString(), "ended");
    EXPECT_STREQ(rows["ended"]["status"].GetString(), "Successful");
    EXPECT_EQ(rows["ended"]["report"].GetUint64(), 0u);
    EXPECT_EQ(rows["ended"]["reportSize"].GetUint64(), fs::file_size(folder_ + "/ended.log"));
    EXPECT_STREQ(rows["sub/going"]["state"].GetString(), "running");
    EXPECT_EQ(rows["sub/going"]["iterations"].GetUint64(), 1u);
    EXPECT_EQ(rows["sub/going"]["objective"].GetDouble(), 4);
    EXPECT_STREQ(rows["sub/going"]["infeasibility"].GetString(), "inf");
    EXPECT_TRUE(rows["sub/going"]["status"].IsNull() && rows["sub/going"]["report"].IsNull());
    EXPECT_STREQ(rows["stopped"]["state"].GetString(), "stopped without an end");
    EXPECT_STREQ(rows["closed"]["state"].GetString(), "report missing");
    EXPECT_STREQ(rows["bad"]["state"].GetString(), "failed");
    EXPECT_NE(std::string(rows["bad"]["problem"].GetString()).find("bad.vdr.progress: line 1:"), std::string::npos);
    EXPECT_EQ(std::string(rows["ended"]["changed"].GetString()).size(), std::string("2026-12-08T12:34:56Z").size());

    // Nothing changed: the short answer; a malformed generation: 400.
    EXPECT_EQ(Get("/api/runs", "since=" + std::to_string(generation)).second,
              "{\"generation\":" + std::to_string(generation) + ",\"unchanged\":true}");
    EXPECT_EQ(Get("/api/runs", "since=-1").first, 400);

    // One run's iterations from a given one on.
    const std::string going = std::to_string(rows["sub/going"]["id"].GetUint64());
    const auto [status, body] = Get("/api/runs/" + going + "/progress", "since=1");
    EXPECT_EQ(status, 200);
    EXPECT_EQ(body, "{\"id\":" + going + ",\"name\":\"sub/going\",\"state\":\"running\",\"model\":\"M\","
                    "\"pid\":" + std::to_string(getpid()) + ",\"started\":\"today\",\"variables\":2,\"equations\":1,\"iterations\":[{\"iter\":1,\"major\":0,"
                    "\"feasible\":false,\"objective\":4,\"infeasibility\":\"inf\",\"objective_convergence\":1,"
                    "\"residual_convergence\":2,\"variable_convergence\":3,\"most_infeasible\":\"E\"}],"
                    "\"more\":false,\"report\":null,\"problem\":null}");
    EXPECT_EQ(Get("/api/runs/" + going + "/progress", "since=x").first, 400);
    EXPECT_EQ(Get("/api/runs/999/progress").first, 404);
    EXPECT_EQ(Get("/api/runs/" + going + "/outline").first, 404);

    // The run goes on, closes, and its report appears: the row changes, the
    // report takes the next id, and the ids before keep their meaning.
    std::ofstream(folder_ + "/sub/going.vdr.progress", std::ios::app) << IterationLine(2, 3);
    std::uint64_t later = 0;
    EXPECT_EQ(Rows(&later)["sub/going"]["iterations"].GetUint64(), 2u);
    EXPECT_GT(later, generation);
    fs::rename(folder_ + "/ended.log", folder_ + "/sub/going.log");
    fs::remove(folder_ + "/sub/going.vdr.progress");
    rows = Rows();
    EXPECT_EQ(rows.count("ended"), 0u);
    EXPECT_STREQ(rows["sub/going"]["state"].GetString(), "ended");
    EXPECT_EQ(rows["sub/going"]["report"].GetUint64(), 1u);
    EXPECT_EQ(library_.size(), 2u);
    // What was followed stays: the iterations seen, and the report to turn to.
    const std::string ended = Get("/api/runs/" + going + "/progress").second;
    EXPECT_NE(ended.find("\"iter\":2"), std::string::npos) << ended;
    EXPECT_NE(ended.find("\"report\":1,"), std::string::npos) << ended;
}

// A case run again: the earlier run's report and run data stay beside the
// new run's progress until the new run ends; they are not its end.
TEST_F(RunsServed, FollowsACaseRunAgainOverTheEarlierRunsReport) {
    const std::string base = folder_ + "/case";
    WriteText(base + ".log", ExampleLog("refinery_infeasible"));
    WriteText(base + ".vdr", "{}");
    for (const char* suffix : {".log", ".vdr"})
        fs::last_write_time(base + suffix, fs::file_time_type::clock::now() - 1h);
    WriteText(base + ".vdr.progress", ProgressHeader(getpid()) + IterationLine(0, 5));
    Start();

    auto rows = Rows();
    EXPECT_STREQ(rows["case"]["state"].GetString(), "running");
    EXPECT_TRUE(rows["case"]["report"].IsNull() && rows["case"]["status"].IsNull());
    const std::string progress = "/api/runs/" + std::to_string(rows["case"]["id"].GetUint64()) + "/progress";
    EXPECT_NE(Get(progress).second.find("\"state\":\"running\""), std::string::npos);
    EXPECT_NE(Get(progress).second.find("\"report\":null"), std::string::npos);
    EXPECT_EQ(library_.size(), 0u);

    // The new run ends: its own report is the row's.
    fs::remove(base + ".vdr.progress");
    WriteText(base + ".log", BlendingLog());
    rows = Rows();
    EXPECT_STREQ(rows["case"]["state"].GetString(), "ended");
    EXPECT_STREQ(rows["case"]["status"].GetString(), "Successful");
    EXPECT_EQ(rows["case"]["reportSize"].GetUint64(), fs::file_size(base + ".log"));
}

// A report that appears is read with the run list let go: the list is
// answered meanwhile, the run as it was until its report is read.
TEST_F(RunsServed, AnswersTheRunListWhileAReportThatAppearedIsRead) {
    WriteText(folder_ + "/case.vdr.progress", ProgressHeader(getpid()) + IterationLine(0, 5));
    Start();
    EXPECT_STREQ(Rows()["case"]["state"].GetString(), "running");
    fs::remove(folder_ + "/case.vdr.progress");
    WriteText(folder_ + "/case.log", BlendingLog());
    WriteText(folder_ + "/new.log", BlendingLog());
    std::string meanwhile;
    runs_.WhileReadingReports([&] {
        auto other = std::async(std::launch::async, [&] { return runs_.RunsReply(nullptr).body; });
        ASSERT_EQ(other.wait_for(60s), std::future_status::ready) << "the run list waited for the read";
        meanwhile = other.get();
    });
    const std::string after = runs_.RunsReply(nullptr).body;
    EXPECT_NE(meanwhile.find("\"name\":\"case\",\"state\":\"running\""), std::string::npos) << meanwhile;
    EXPECT_EQ(meanwhile.find("\"new\""), std::string::npos) << meanwhile;  // listed once its report is read
    EXPECT_NE(after.find("\"name\":\"case\",\"state\":\"ended\""), std::string::npos) << after;
    EXPECT_NE(after.find("\"name\":\"new\",\"state\":\"ended\""), std::string::npos) << after;
    EXPECT_EQ(library_.size(), 2u);
}

TEST_F(RunsServed, ServesNothingButRegularFilesInsideTheFolder) {
    const std::string report = BlendingLog();
    WriteText(outside_ + "/secret.log", report);
    WriteText(outside_ + "/secret.vdr.progress", ProgressHeader(getpid()));
    WriteText(folder_ + "/real.log", report);
    fs::create_symlink(outside_ + "/secret.log", folder_ + "/out.log");
    fs::create_symlink(outside_ + "/secret.vdr.progress", folder_ + "/out2.vdr.progress");
    fs::create_symlink("../../outside", folder_ + "/sub/away");  // a directory link: not followed
    fs::create_symlink("real.log", folder_ + "/alias.log");      // inside: served as the file it names
    fs::create_directory(folder_ + "/dir.log");
    fs::create_directory(folder_ + "/dir.vdr.progress");
    ASSERT_EQ(mkfifo((folder_ + "/pipe.vdr.progress").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((folder_ + "/pipe2.log").c_str(), 0600), 0);
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = folder_ + "/sock.log";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    Start();

    auto rows = Rows();
    EXPECT_EQ(rows.size(), 2u);
    for (const auto& [name, row] : rows) EXPECT_TRUE(name == "real" || name == "alias") << name;
    EXPECT_EQ(rows["alias"]["report"].GetUint64(), rows["real"]["report"].GetUint64());
    EXPECT_EQ(library_.size(), 1u);
    for (std::size_t id = 0; id < library_.size(); ++id)
        EXPECT_EQ(library_.Current(id)->report().Path(), fs::canonical(folder_ + "/real.log").string());
    close(listening);

    // A file turned into something else while served is no longer read.
    fs::remove(folder_ + "/real.log");
    fs::create_symlink(outside_ + "/secret.log", folder_ + "/real.log");
    EXPECT_TRUE(Rows().empty());

    // Every route behind the token and the Host check.
    EXPECT_EQ(client_->Get("/api/runs")->status, 403);
    EXPECT_EQ(client_->Get("/api/runs/0/progress")->status, 403);
    const httplib::Headers foreign = {{"Host", "evil.example:" + std::to_string(server_->port())}};
    EXPECT_EQ(client_->Get(std::string("/api/runs?token=") + kToken, foreign)->status, 403);
}

// `tarnview summary --facts DIR` and the server list a folder alike: every
// member of every row but the ids the server gives.
TEST_F(RunsServed, ListsTheFolderAsTheFactsCommandDoes) {
    WriteText(folder_ + "/sub/ended.log", BlendingLog());
    WriteText(folder_ + "/going.vdr.progress", ProgressHeader(getpid()) + IterationLine(0, 5));
    WriteText(folder_ + "/stopped.vdr.progress", ProgressHeader(GonePid()));
    WriteText(folder_ + "/bad.vdr.progress", "{}\n");
    WriteText(folder_ + "/closed.vdr", "{}");
    Start();
    auto served = Rows();
    bool truncated = true;
    std::string error;
    const std::vector<tarnview::RunRow> listed = tarnview::RowsOfFolder(folder_, truncated, error);
    EXPECT_TRUE(error.empty() && !truncated) << error;
    ASSERT_EQ(listed.size(), served.size());
    for (const tarnview::RunRow& row : listed) {
        tarnview::JsonText json;
        tarnview::WriteRunRow(json, row, std::nullopt);
        rapidjson::Document written;
        written.Parse(json.Take().c_str());
        ASSERT_TRUE(written.IsObject());
        ASSERT_EQ(served.count(row.name), 1u) << row.name;
        rapidjson::Document& server = served[row.name];
        EXPECT_EQ(server.MemberCount(), written.MemberCount() + 1) << row.name;  // and its id
        for (const auto& member : written.GetObject()) {
            const std::string key = member.name.GetString();
            ASSERT_TRUE(server.HasMember(key.c_str())) << key;
            if (key != "report") {
                EXPECT_TRUE(server[key.c_str()] == member.value) << row.name << " " << key;
            }
        }
    }
}

}  // namespace
