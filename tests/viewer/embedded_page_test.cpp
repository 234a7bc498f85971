// The report embedded in the page of tarnview html: every line in exactly
// one piece, each piece gzip that unpacks to the lines' JSON, base64 as
// RFC 4648 writes it, and nothing in the page that could end its script.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "page_assets.h"
#include "report_json.h"

namespace {

using tarnview::Report;

std::string Gunzip(const std::string& packed) {
    z_stream stream{};
    EXPECT_EQ(inflateInit2(&stream, 15 + 16), Z_OK);
    std::string out(1 << 20, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return out;
}

std::string Base64Decoded(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char digit : text) {
        if (digit == '=') break;
        bits = bits << 6 | static_cast<unsigned>(digits.find(digit));
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 255));
        }
    }
    return out;
}

TEST(EmbeddedPage, Base64AsTheStandardWritesIt) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {std::string("\xff\xfe\x00", 3), "//4A"}};
    for (const auto& [bytes, text] : vectors) EXPECT_EQ(tarnview::Base64(bytes), text) << bytes;
}

TEST(EmbeddedPage, GzipUnpacksToTheSameBytes) {
    std::string bytes;
    for (int at = 0; at < 100000; ++at) bytes += static_cast<char>(at * 7919 % 251);
    for (const std::string& text : {std::string(), std::string("<script>"), bytes}) {
        const std::string packed = tarnview::Gzip(text);
        ASSERT_GE(packed.size(), 18u);
        EXPECT_EQ(packed.substr(0, 2), "\x1f\x8b");
        EXPECT_EQ(Gunzip(packed), text);
    }
}

TEST(EmbeddedPage, EveryLineInOnePieceAndALongLineInAPieceOfItsOwn) {
    std::string text;
    for (int line = 0; line < 300; ++line) text += line == 150 ? std::string(5000, 'x') + "\n" : "a line of text\n";
    const auto report = Report::FromText(text, "run.log");
    const auto pieces = tarnview::CutIntoPieces(*report, 1000);
    tarnview::LineNumber next = 0;
    for (const auto& piece : pieces) {
        EXPECT_EQ(piece.from, next);
        EXPECT_GT(piece.count, 0u);
        next = piece.from + piece.count;
    }
    EXPECT_EQ(next, report->LineCount());
    const auto holding = std::find_if(pieces.begin(), pieces.end(), [](const auto& piece) { return piece.from == 150; });
    ASSERT_NE(holding, pieces.end());
    EXPECT_EQ(holding->count, 1u);
}

TEST(EmbeddedPage, ThePageHoldsTheOutlineAndEachPieceOfLines) {
    const auto report = Report::FromText("#region 1, A </script><!--\nx < y\n#endregion\n", "run.log");
    std::ostringstream page;
    tarnview::WriteEmbeddedPage(page, *report);
    const std::string html = page.str();
    const std::string head{tarnview::PageHead()};
    const std::string tail{tarnview::PageTail()};
    ASSERT_EQ(html.substr(0, head.size()), head);
    ASSERT_EQ(html.substr(html.size() - tail.size()), tail);
    const std::string data = html.substr(head.size(), html.size() - head.size() - tail.size());
    EXPECT_EQ(data.find("</script><!--"), std::string::npos);
    const std::string pieceStart = "<script type=\"application/gzip\" class=\"report-piece\">";
    const auto at = data.find(pieceStart);
    ASSERT_NE(at, std::string::npos);
    const std::string dataStart = "<script type=\"application/gzip\" id=\"report-data\">";
    ASSERT_EQ(data.find(dataStart), 0u);
    const std::string outline = Gunzip(Base64Decoded(data.substr(dataStart.size(), data.find("</script>") - dataStart.size())));
    EXPECT_NE(outline.find("{\"report\":{\"file\":\"run.log\""), std::string::npos) << outline;
    EXPECT_NE(outline.find("\"pieces\":[{\"from\":0,\"count\":3}],\"names\":{}}"), std::string::npos) << outline;
    const auto end = data.find("</script>", at);
    const std::string base64 = data.substr(at + pieceStart.size(), end - at - pieceStart.size());
    EXPECT_EQ(base64.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    EXPECT_EQ(data.find(pieceStart, end), std::string::npos) << "one piece for three short lines";
}

}  // namespace
