#include "page_assets.h"

#include <zlib.h>

#include <stdexcept>
#include <vector>

#include "report_json.h"

namespace tarnview {
namespace {

constexpr std::string_view kDataStart = "<script type=\"application/gzip\" id=\"report-data\">";
constexpr std::string_view kPieceStart = "<script type=\"application/gzip\" class=\"report-piece\">";
constexpr std::string_view kScriptEnd = "</script>\n";
// What a line adds to its text in the JSON: brackets, kind, colour, quotes.
constexpr std::size_t kLineJsonOverhead = 24;

}  // namespace

std::string ServedPage() {
    std::string page{PageHead()};
    page += PageTail();
    return page;
}

std::vector<LinePiece> CutIntoPieces(const Report& report, std::size_t pieceBytes) {
    std::vector<LinePiece> pieces;
    std::size_t bytes = 0;
    for (LineNumber line = 0; line < report.LineCount(); ++line) {
        const std::size_t lineBytes = report.LineAt(line).text.size() + kLineJsonOverhead;
        if (pieces.empty() || bytes + lineBytes > pieceBytes) {
            pieces.push_back({line, 0});
            bytes = 0;
        }
        ++pieces.back().count;
        bytes += lineBytes;
    }
    return pieces;
}

std::string Gzip(std::string_view bytes) {
    z_stream stream{};
    // 15 bits of window, +16: a gzip header and trailer instead of zlib's.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("the compressor could not start");
    }
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("the data could not be compressed");
    return out;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t at = 0;
    for (; at + 3 <= bytes.size(); at += 3) {
        const auto group = static_cast<unsigned char>(bytes[at]) << 16 | static_cast<unsigned char>(bytes[at + 1]) << 8 |
                           static_cast<unsigned char>(bytes[at + 2]);
        for (const int shift : {18, 12, 6, 0}) out.push_back(kDigits[(group >> shift) & 63]);
    }
    const std::size_t rest = bytes.size() - at;
    if (rest == 0) return out;
    unsigned group = static_cast<unsigned char>(bytes[at]) << 16;
    if (rest == 2) group |= static_cast<unsigned char>(bytes[at + 1]) << 8;
    out.push_back(kDigits[(group >> 18) & 63]);
    out.push_back(kDigits[(group >> 12) & 63]);
    out.push_back(rest == 2 ? kDigits[(group >> 6) & 63] : '=');
    out.push_back('=');
    return out;
}

void WriteEmbeddedPage(std::ostream& out, const Report& report, const std::function<void(double)>& progress) {
    const std::vector<LinePiece> pieces = CutIntoPieces(report, kPieceJsonBytes);
    JsonText data;
    data.StartObject().Key("report").Outline(report).Key("pieces").StartArray();
    for (const LinePiece& piece : pieces) data.StartObject().Key("from").Count(piece.from).Key("count").Count(piece.count).EndObject();
    data.EndArray().Key("names").NameOccurrences(report).EndObject();
    std::string json = data.Take();
    out << PageHead() << kDataStart << Base64(Gzip(json)) << kScriptEnd;
    for (const LinePiece& piece : pieces) {
        json.clear();
        AppendLinesJson(report, piece.from, piece.count, json);
        out << kPieceStart << Base64(Gzip(json)) << kScriptEnd;
        if (progress) progress(static_cast<double>(piece.from + piece.count) / report.LineCount());
    }
    out << PageTail();
}

}  // namespace tarnview
