#include "page_assets.h"

namespace tarnview {
namespace {

constexpr std::string_view kDataStart = "<script type=\"application/json\" id=\"report-data\">";
constexpr std::string_view kDataEnd = "</script>\n";

// JSON text with "<" written as its escape.  Outside strings JSON has no
// "<", so the value is unchanged.
void WriteWithoutLessThan(std::ostream& out, std::string_view json) {
    for (std::size_t at = 0; at < json.size();) {
        const std::size_t next = json.find('<', at);
        const std::size_t end = next == std::string_view::npos ? json.size() : next;
        out.write(json.data() + at, static_cast<std::streamsize>(end - at));
        if (next == std::string_view::npos) break;
        out << "\\u003c";
        at = next + 1;
    }
}

}  // namespace

std::string ServedPage() {
    std::string page{PageHead()};
    page += PageTail();
    return page;
}

void WriteEmbeddedPage(std::ostream& out, std::string_view pageDataJson) {
    out << PageHead() << kDataStart;
    WriteWithoutLessThan(out, pageDataJson);
    out << kDataEnd << PageTail();
}

}  // namespace tarnview
