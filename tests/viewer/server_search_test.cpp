// The server's name index and text search, on the example reports and on
// small texts with markup in the way.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "comparison_cache.h"
#include "name_index.h"
#include "replies.h"
#include "report_library.h"
#include "report_fixture.h"
#include "report_reader.h"
#include "report_search.h"

namespace {

using tarnview::Comparison;
using tarnview::DifferenceOrder;
using tarnview::LineNumber;
using tarnview::Report;
using tarnview::server::NameIndex;

// The whole search at once: no limit of hits or bytes.
const tarnview::SearchOptions kAll{false, 1u << 30, 1ull << 40};

const std::atomic<bool> kGoOn{false};

std::string ExampleReport(const std::string& name) {
    const ReportResult result = RunOnData(ReadText(std::string(TARN_SOURCE_DIR) + "/examples/" + name + ".vdr"));
    EXPECT_TRUE(result.logWritten) << name;
    return result.log;
}

// Every line where each name of the report occurs, by the reader's search.
std::map<std::string, std::vector<LineNumber>, std::less<>> LinesByName(const Report& report) {
    std::map<std::string, std::vector<LineNumber>, std::less<>> lines;
    for (const tarnview::Name& name : report.Names().All()) {
        std::vector<LineNumber> found = tarnview::Search(report, name.text, 0, kAll).lines;
        if (!found.empty()) lines[name.text] = std::move(found);
    }
    return lines;
}

class ExampleIndex : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        text_ = ExampleReport(GetParam());
        report_ = Report::FromText(text_);
        index_ = NameIndex::Build(*report_, kGoOn);
        ASSERT_NE(index_, nullptr);
    }
    std::string text_;
    std::unique_ptr<Report> report_;
    std::unique_ptr<NameIndex> index_;
};

TEST_P(ExampleIndex, FindsEveryLineOfEveryNameAsTheSearchDoes) {
    const auto expected = LinesByName(*report_);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(index_->NameCount(), expected.size());
    for (const auto& [name, lines] : expected) {
        const std::span<const LineNumber> found = index_->LinesOf(name);
        EXPECT_EQ(std::vector<LineNumber>(found.begin(), found.end()), lines) << name;
    }
    EXPECT_TRUE(index_->LinesOf("NO_SUCH_NAME").empty());
    EXPECT_TRUE(index_->LinesOf("").empty());
}

TEST_P(ExampleIndex, HistoriesAreTheReadersWithARowPerIterationBlock) {
    std::size_t complete = 0;
    for (const auto& [name, lines] : LinesByName(*report_)) {
        const std::vector<tarnview::History> indexed = index_->HistoriesOf(*report_, name);
        const std::vector<tarnview::History> scanned = tarnview::FindHistories(*report_, name);
        ASSERT_EQ(indexed.size(), scanned.size()) << name;
        for (std::size_t h = 0; h < indexed.size(); ++h) {
            EXPECT_EQ(indexed[h].kind, scanned[h].kind) << name;
            ASSERT_EQ(indexed[h].rows.size(), scanned[h].rows.size()) << name;
            for (std::size_t r = 0; r < indexed[h].rows.size(); ++r) {
                EXPECT_EQ(indexed[h].rows[r].block, scanned[h].rows[r].block) << name;
                EXPECT_EQ(indexed[h].rows[r].line, scanned[h].rows[r].line) << name;
                EXPECT_EQ(indexed[h].rows[r].row.fields, scanned[h].rows[r].row.fields) << name;
            }
            if (indexed[h].rows.size() == report_->IterationBlocks().size()) ++complete;
        }
    }
    EXPECT_GT(complete, 0u) << "no name has a row in every iteration block";
}

TEST_P(ExampleIndex, FindsRegionsByTheirTitle) {
    const std::span<const int> details = index_->RegionsTitled("Variable Details");
    EXPECT_EQ(details.size(), report_->IterationBlocks().size());
    for (const int region : details) EXPECT_EQ(report_->Regions()[region].title, "Variable Details");
    EXPECT_TRUE(index_->RegionsTitled("Variable").empty());
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleIndex,
                         testing::Values("blending", "refinery_infeasible", "refinery_unbounded"));

TEST(NameIndexBuild, StopsWhenCancelled) {
    const std::string text = ExampleReport("blending");
    const auto report = Report::FromText(text);
    const std::atomic<bool> cancel{true};
    EXPECT_EQ(NameIndex::Build(*report, cancel), nullptr);
}

// Markup that holds the query without showing it: prefixes, region lines.
constexpr std::string_view kMarkedUp =
    "?000128000}#region 1, Alpha section\n"  // 0: shows its title
    "plain alpha line\n"                     // 1
    "?000128000}coloured alpha\n"            // 2
    "?000128000}only 000128 shows\n"         // 3
    "#endregion\n"                           // 4: shows nothing
    "alpha\r\n"                              // 5
    "#endregion\n";                          // 6: stray, shown as text

std::vector<LineNumber> Lines(std::string_view text, std::string_view query) {
    const auto report = Report::FromText(text);
    return tarnview::Search(*report, query, 0).lines;
}

TEST(TextSearch, MatchesOnlyWhatALineShows) {
    EXPECT_EQ(Lines(kMarkedUp, "alpha"), (std::vector<LineNumber>{1, 2, 5}));
    EXPECT_EQ(Lines(kMarkedUp, "Alpha"), (std::vector<LineNumber>{0}));
    EXPECT_EQ(Lines(kMarkedUp, "000128"), (std::vector<LineNumber>{3}));
    EXPECT_EQ(Lines(kMarkedUp, "region"), (std::vector<LineNumber>{6}));
    EXPECT_EQ(Lines(kMarkedUp, "?000128000}"), (std::vector<LineNumber>{}));
    EXPECT_EQ(Lines(kMarkedUp, "alpha\r"), (std::vector<LineNumber>{}));
    EXPECT_EQ(Lines(kMarkedUp, "line\nalpha"), (std::vector<LineNumber>{}));
    EXPECT_EQ(Lines("", "alpha"), (std::vector<LineNumber>{}));
    EXPECT_EQ(Lines("no line end alpha", "alpha"), (std::vector<LineNumber>{0}));
}

// Lines of every length, some coloured, every fifth holding the needle
// (some twice, some at their very end), followed a page at a time.
std::string Haystack() {
    std::string text;
    for (int line = 0; line < 600; ++line) {
        if (line % 11 == 0) text += "?000128000}";
        text.append(static_cast<std::size_t>(line * 7 % 53), line % 3 ? 'x' : ' ');
        if (line % 5 == 0) text += "needle";
        if (line % 35 == 0) text += " and needle";
        text += '\n';
    }
    return text;
}

TEST(TextSearch, PagesTogetherFindEveryHitOnce) {
    const std::string text = Haystack();
    const auto report = Report::FromText(text);
    const std::vector<LineNumber> all = tarnview::Search(*report, "needle", 0, kAll).lines;
    ASSERT_EQ(all.size(), 120u);
    for (const auto& [hits, bytes] : {std::pair<std::size_t, std::uint64_t>{1, 1ull << 40}, {7, 1ull << 40}, {1000, 1},
                                      {1000, 20}, {3, 333}, {1000, 4096}}) {
        const tarnview::SearchOptions limits{false, hits, bytes};
        std::vector<LineNumber> paged;
        std::optional<LineNumber> from = 0;
        int pages = 0;
        while (from && pages++ < 100000) {
            const auto page = tarnview::Search(*report, "needle", *from, limits);
            EXPECT_LE(page.lines.size(), limits.hits);
            if (page.next) {
                EXPECT_GT(*page.next, *from);
            }
            paged.insert(paged.end(), page.lines.begin(), page.lines.end());
            from = page.next;
        }
        EXPECT_EQ(paged, all) << "hits " << limits.hits << ", bytes " << limits.bytes;
    }
}

}  // namespace

namespace {

std::size_t LinesIn(const std::string& reply) {
    std::size_t lines = 0;
    for (std::size_t at = reply.find("[\"t\""); at != std::string::npos; at = reply.find("[\"t\"", at + 1)) ++lines;
    return lines;
}

TEST(LinesReply, StopsAtSixteenMebibytesOfTextButSendsALineAtLeast) {
    using tarnview::server::LinesReply;
    using tarnview::server::ServedReport;
    const std::string mebibyteLines = [] {
        std::string text;
        for (int line = 0; line < 20; ++line) text += std::string((1 << 20) - 1, 'x') + "\n";
        return text;
    }();
    const ServedReport mebibytes(0, 1, Report::FromText(mebibyteLines));
    const std::string all = "5000";
    EXPECT_EQ(LinesIn(LinesReply(mebibytes, nullptr, &all).body), 16u);
    const std::string from = "10";
    EXPECT_EQ(LinesIn(LinesReply(mebibytes, &from, &all).body), 10u);

    const std::string hugeLine = std::string(20 << 20, 'y') + "\nshort\n";
    const ServedReport huge(0, 1, Report::FromText(hugeLine));
    EXPECT_EQ(LinesIn(LinesReply(huge, nullptr, &all).body), 1u);
}

}  // namespace

namespace {

// A line longer than an answer may hold goes in pieces of at most a
// mebibyte, each cut where a character ends (or where the limit falls in
// bytes that are no UTF-8), which put together are the line; the lines
// before it come without it.
TEST(LinesReply, SendsALongLineInPiecesThatMakeItWhole) {
    using tarnview::server::kMaxLinePieceBytes;
    using tarnview::server::LinesReply;
    using tarnview::server::ServedReport;
    std::string valid;
    while (valid.size() < 5 * kMaxLinePieceBytes) valid += "ab\xE2\x82\xAC";  // a, b and the euro sign
    const std::string strayContinuations(2 * kMaxLinePieceBytes, '\x80');
    const std::string leadsOnly(2 * kMaxLinePieceBytes, '\xE2');
    const std::string text = "first\nsecond\n?255000000}" + valid + "\n" + strayContinuations + "\n" + leadsOnly + "\nlast\n";
    const ServedReport served(0, 1, Report::FromText(text));

    const std::string all = "5000";
    const tarnview::server::Reply before = LinesReply(served, nullptr, &all);
    EXPECT_EQ(LinesIn(before.body), 2u) << "the long line came with the lines before it";

    for (const auto& [number, bytes] : std::vector<std::pair<std::string, std::size_t>>{
             {"2", valid.size()}, {"3", strayContinuations.size()}, {"4", leadsOnly.size()}}) {
        std::string joined;
        std::optional<std::string> offset = "0";
        int pieces = 0;
        for (; offset && pieces < 100; ++pieces) {
            const tarnview::server::Reply piece = LinesReply(served, &number, &all, &*offset);
            ASSERT_EQ(piece.status, 200) << piece.body;
            rapidjson::Document answer;
            ASSERT_FALSE(answer.Parse(piece.body.c_str()).HasParseError());
            ASSERT_EQ(answer["lines"].Size(), 1u);
            const rapidjson::Value& shown = answer["lines"][0];
            if (number == "2") {
                EXPECT_STREQ(shown[1].GetString(), "ff0000");
                EXPECT_LE(shown[2].GetStringLength(), kMaxLinePieceBytes);
            }
            joined.append(shown[2].GetString(), shown[2].GetStringLength());
            EXPECT_EQ(answer["piece"]["bytes"].GetUint64(), bytes);
            const rapidjson::Value& next = answer["piece"]["next"];
            offset = next.IsNull() ? std::nullopt : std::optional<std::string>(std::to_string(next.GetUint64()));
        }
        EXPECT_LE(pieces, static_cast<int>(bytes / (kMaxLinePieceBytes - 3)) + 1) << "line " << number;
        if (number == "2") {
            EXPECT_EQ(joined, valid);
        }
    }
    const std::string five = "5", one = "1";
    EXPECT_EQ(LinesReply(served, &five, &all, &one).status, 400) << "an offset into a short line";
}

// A compare of the same two versions is computed once and then kept; a new
// version of either report is compared afresh; only the last few pairs are
// kept; a failed compare is not kept.
TEST(ComparisonCache, ComputesEachPairOfVersionsOnceAndKeepsTheLastFew) {
    using tarnview::server::ComparisonCache;
    using tarnview::server::ServedReport;
    const std::string text = "?255000000}a\n";
    std::vector<std::unique_ptr<ServedReport>> reports;
    for (std::size_t id = 0; id < 5; ++id) reports.push_back(std::make_unique<ServedReport>(id, 1, Report::FromText(text)));
    reports.push_back(std::make_unique<ServedReport>(0, 2, Report::FromText(text)));  // report 0 read again
    ComparisonCache cache(4);
    int computed = 0;
    const auto compare = [&] {
        ++computed;
        return Comparison{};
    };
    const auto get = [&](std::size_t a, std::size_t b) { cache.Get(*reports[a], *reports[b], DifferenceOrder::kSize, tarnview::kDefaultTolerance, compare); };
    get(0, 1);
    get(0, 1);
    EXPECT_EQ(computed, 1) << "the same versions compared again";
    cache.Get(*reports[0], *reports[1], DifferenceOrder::kRelativeSize, tarnview::kDefaultTolerance, compare);
    EXPECT_EQ(computed, 2) << "another order";
    get(5, 1);
    EXPECT_EQ(computed, 3) << "a new version of the first report (same id)";
    get(1, 2);
    get(2, 3);
    get(0, 1);
    EXPECT_EQ(computed, 6) << "the pair asked for longest ago is dropped beyond four";
    EXPECT_THROW(cache.Get(*reports[3], *reports[4], DifferenceOrder::kSize, tarnview::kDefaultTolerance,
                           []() -> Comparison { throw std::runtime_error("cut short"); }),
                 std::runtime_error);
    get(3, 4);
    EXPECT_EQ(computed, 7) << "a failed compare is computed again";
}

}  // namespace
