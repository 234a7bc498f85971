// The tarnview page (viewer/page/): HTML, CSS, the page's script and the
// chart library, compiled into the program.
//
// The page reads its report from a <script id="report-data"> element and
// the pieces after it when it has them (the page `tarnview html` writes)
// and from the server's API otherwise (the page `tarnview serve` sends).
#pragma once

#include <cstddef>
#include <functional>
#include <vector>
#include <ostream>
#include <string>
#include <string_view>

#include "report_reader.h"

namespace tarnview {

// The page up to where the embedded report's data goes, and after it
// (generated from the assets at build time).
std::string_view PageHead();
std::string_view PageTail();

// The served page: no data of its own.
std::string ServedPage();

// About this much of the lines' JSON goes into one piece of an embedded page.
inline constexpr std::size_t kPieceJsonBytes = 1 << 20;

// The whole page with the report embedded, each part gzip-compressed JSON
// in base64 in a script element of its own (base64 holds no "<", so no
// text of the report can end the element): first {"report":...,"pieces":
// [{"from":L,"count":N},...]}, then each piece of lines [[kind, colour,
// text], ...], which the page decodes when it first needs it.  Throws
// std::runtime_error when the data cannot be compressed.  `progress`, when
// given, is told the share of the lines written so far (0 to 1) after each
// piece.
void WriteEmbeddedPage(std::ostream& out, const Report& report,
                       const std::function<void(double)>& progress = nullptr);

// The pieces the lines are cut into: [from, count) each, in order; a line
// whose JSON is longer than a piece has a piece of its own.
struct LinePiece {
    LineNumber from = 0;
    LineNumber count = 0;
};
std::vector<LinePiece> CutIntoPieces(const Report& report, std::size_t pieceBytes);

// Bytes as gzip and as base64 (RFC 4648, with padding).
std::string Gzip(std::string_view bytes);
std::string Base64(std::string_view bytes);

}  // namespace tarnview
