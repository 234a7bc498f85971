#include "page_assets.h"

namespace tarnview {
namespace {

constexpr std::string_view kDataStart = "<script type=\"application/json\" id=\"report-data\">";
constexpr std::string_view kDataEnd = "</script>\n";

}  // namespace

std::string ServedPage() {
    std::string page{PageHead()};
    page += PageTail();
    return page;
}

void WriteEmbeddedPage(std::ostream& out, std::string_view pageDataJson) {
    out << PageHead() << kDataStart << pageDataJson << kDataEnd << PageTail();
}

}  // namespace tarnview
