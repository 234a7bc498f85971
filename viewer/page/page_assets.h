// The tarnview page (viewer/page/): HTML, CSS, the page's script and the
// chart library, compiled into the program.
//
// The page reads its report from a <script type="application/json"
// id="report-data"> element when it has one (the page `tarnview html`
// writes) and from the server's API otherwise (the page `tarnview serve`
// sends).
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace tarnview {

// The page up to where the embedded report's data goes, and after it
// (generated from the assets at build time).
std::string_view PageHead();
std::string_view PageTail();

// The served page: no data of its own.
std::string ServedPage();

// The whole page with the report's data embedded: `pageDataJson` is
// {"report":...,"lines":[...]} as PageDataJson writes it, with every "<"
// escaped, so that no text of the report can end the script element.
void WriteEmbeddedPage(std::ostream& out, std::string_view pageDataJson);

}  // namespace tarnview
