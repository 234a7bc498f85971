// The reader: a TARNReport report read into lines, a tree of regions and
// the report's own parts, in one pass over a memory map of the file.
//
// Markup recognised at the start of a line:
//   colour prefix  "?" + nine characters, each a digit or a blank, + "}"
//                  (three fields of three: red, green, blue; blanks count
//                  as nothing, so "?255128  0}" is orange)
//   region start   an optional colour prefix, then "#region D, TITLE"
//                  (D one or more digits: the display level)
//   region end     a line that is exactly "#endregion"
// Everything else is text.  A region end without an open region is kept as
// text and listed in StrayEnds(); regions still open at the end of the file
// are closed there and EndedEarly() is true.
//
// The reader keeps the map and, per line, only where it starts: a line's
// colour, kind and text are read from the map when asked for (O(1)), and a
// table row's name and fields likewise, so a server can build its own
// indexes afterwards without reading the file again.  A report does not
// change once read: its const members may be called from many threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnview {

using LineNumber = std::uint64_t;  // from 0
constexpr int kNoRegion = -1;

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};

enum class LineKind : std::uint8_t {
    kText,         // anything else, shown as it is
    kRegionStart,  // [prefix] #region D, TITLE
    kRegionEnd,    // #endregion closing an open region
    kStrayEnd,     // #endregion without an open region: kept as text
};

struct Line {
    std::string_view text;   // without colour prefix and line end
    std::optional<Colour> colour;
    LineKind kind = LineKind::kText;
};

enum class RegionKind : std::uint8_t {
    kSection,    // any region not named below
    kSummary,    // "Iteration Summary"
    kIteration,  // an iteration block: "=== Initial Conditions ===", "=== Major Iteration k ==="
    kMessages,   // "Error List", "Warning List", "Information List"
    kTable,      // a region that holds a variable or equation table
};

struct Region {
    std::string title;         // as shown: an iteration block's title without its rules of "="
    int level = 0;             // the display level D of "#region D, ..."
    std::optional<Colour> colour;
    LineNumber line = 0;       // the region start line
    LineNumber end = 0;        // the #endregion line; LineCount() when closed at the end of the file
    int parent = kNoRegion;
    int depth = 0;             // 0 for a region at the top
    std::vector<int> children;
    RegionKind kind = RegionKind::kSection;

    // Lines between the start line and the end line.
    LineNumber InnerLineCount() const { return end - line - 1; }
};

// One row of the iteration summary.  A blank field is empty; "nan", "inf"
// and "-inf" are read as such.
struct SummaryRow {
    LineNumber line = 0;
    std::optional<double> majorIteration;      // -1 for the initial conditions
    std::optional<double> variableConvergence;
    std::optional<double> residualConvergence;
    std::optional<double> objectiveConvergence;
    std::optional<double> objectiveValue;
    std::optional<double> nonLinearityRatio;
    std::optional<std::string> mostInfeasibleEquation;  // short rows have none
    std::optional<double> totalInfeasibility;
};

// The columns of the summary, in row order.
const std::vector<std::string>& SummaryColumns();

struct IterationBlock {
    int region = kNoRegion;
    std::optional<int> number;  // -1 for the initial conditions, k for "Major Iteration k"
    std::string title;      // "Initial Conditions", "Major Iteration 3"
};

enum class TableKind : std::uint8_t {
    kVariableDetails,
    kEquationDetails,
    kLargestResiduals,
    kLargestShadowPrices,
    kLargestSlacks,
    kLargestVariableChange,
    kActiveBounds,
    kDiagnosisEquations,  // infeasibility diagnosis: an equation and its variables
    kDiagnosisVariables,  // infeasibility diagnosis: a variable and its equations
    kOther,               // a "Variable Name ---" or "Equation Name ---" header not known here
};

// Whether the names of a table's rows are variables or equations.
enum class NameKind : std::uint8_t { kVariable, kEquation };

// A table: its header line and the lines after it up to the next header
// of another kind, a nested region or the region's end (a header that
// repeats the table's own, as long tables write every so many rows, does
// not end it).  Its rows are the lines among them that are not empty and
// carry no markup.
struct Table {
    TableKind kind = TableKind::kOther;
    int region = kNoRegion;
    int block = -1;          // index into IterationBlocks(), -1 outside the blocks
    LineNumber header = 0;
    LineNumber end = 0;      // one past the last line that may be a row
};

TableKind TableKindOfHeader(std::string_view headerText);
NameKind NameKindOf(TableKind kind);
const char* TableKindName(TableKind kind);     // "variableDetails", ...
const std::vector<std::string>& ColumnsOf(TableKind kind);

// A row read from its line: the name and one text per column of ColumnsOf
// (trimmed; empty when blank).
struct TableRow {
    std::string_view name;
    std::vector<std::string_view> fields;
};
TableRow ReadTableRow(TableKind kind, std::string_view text);
// The name alone (cheaper, for indexes).
std::string_view TableRowName(TableKind kind, std::string_view text);
// Whether a table's rows have fixed columns after the name (all but the
// infeasibility diagnosis and unknown tables): such a row names one item,
// its own.
bool HasFixedColumns(TableKind kind);

// The number of the initial conditions' block, as the iteration summary
// numbers it; every extract labels the iteration blocks this way.
constexpr int kInitialIteration = -1;

// A table row's name and what it names.
struct RowName {
    std::string_view name;
    NameKind kind = NameKind::kVariable;
    TableKind table = TableKind::kOther;
};

// A line as it is shown, read from one copy of its bytes (a file written
// again under the map can make it odd, never inconsistent).
struct ShownLine {
    LineKind kind = LineKind::kText;
    std::optional<Colour> colour;
    // What the line shows: a region start its title, a region end nothing,
    // any other line its text without the colour prefix.
    std::string_view text;
    std::optional<RowName> row;  // set when the line is a named row of a table
};

class NameSet;

class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Report {
public:
    // Maps and reads the file; throws ReadError naming the file and the
    // problem when it cannot be opened or read.
    static std::unique_ptr<Report> Open(const std::string& path);
    // Reads text held by the caller (tests, the server's uploads); the
    // text must outlive the report.
    static std::unique_ptr<Report> FromText(std::string_view text, std::string fileName = "report.log");

    ~Report();
    struct Mapping;  // the file's bytes (opaque)
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    const std::string& FileName() const { return m_fileName; }  // base name
    const std::string& Path() const { return m_path; }
    std::uint64_t Bytes() const { return m_bytes.size(); }
    std::string_view Text() const { return m_bytes; }

    LineNumber LineCount() const { return m_lineStarts.size() - 1; }
    Line LineAt(LineNumber number) const;
    // The same, classified from a copy of the line's bytes made first, whose
    // text views point into `copy`: for a file that may change while it is
    // read (a served report written again), so that what the line was
    // taken for and what is read from it come from the same bytes.
    Line LineAt(LineNumber number, std::string& copy) const;
    // The whole line without its line end, prefix included.
    std::string_view RawLine(LineNumber number) const;
    // The offset of a line's first byte in the file.
    std::uint64_t LineOffset(LineNumber number) const { return m_lineStarts[number]; }
    // The line holding a byte offset.
    LineNumber LineOfOffset(std::uint64_t offset) const;

    const std::vector<Region>& Regions() const { return m_regions; }
    // The innermost region holding a line (its start and end lines
    // included), kNoRegion outside every region.
    int RegionOfLine(LineNumber number) const;
    bool EndedEarly() const { return m_endedEarly; }
    const std::vector<LineNumber>& StrayEnds() const { return m_strayEnds; }

    const std::vector<std::pair<std::string, std::string>>& Header() const { return m_header; }
    const std::vector<SummaryRow>& Summary() const { return m_summary; }
    const std::vector<IterationBlock>& IterationBlocks() const { return m_blocks; }
    const std::vector<Table>& Tables() const { return m_tables; }

    // Copies line `number` into `copy` and reads from that copy what it
    // shows; the views point into `copy`.
    ShownLine ReadLine(LineNumber number, std::string& copy) const;

    // The report's variable and equation names (see NameSet), read once
    // when first asked for.
    const NameSet& Names() const;
    // The iteration block numbered `number` (kInitialIteration for the
    // initial conditions), as an index into IterationBlocks().
    std::optional<std::size_t> BlockNumbered(int number) const;

    // Whether a line is a row of the table (non-empty, no markup).
    bool IsTableRow(const Table& table, LineNumber number) const;
    // The table a line belongs to, or nullptr.
    const Table* TableOfLine(LineNumber number) const;

private:
    Report() = default;
    class Scanner;
    Line Classify(std::string_view raw, LineNumber number) const;

    std::unique_ptr<Mapping> m_mapping;
    std::string m_path, m_fileName;
    std::string_view m_bytes;
    std::vector<std::uint64_t> m_lineStarts;  // one per line, then the file size
    std::vector<Region> m_regions;
    std::vector<LineNumber> m_strayEnds;
    bool m_endedEarly = false;
    std::vector<std::pair<std::string, std::string>> m_header;
    std::vector<SummaryRow> m_summary;
    std::vector<IterationBlock> m_blocks;
    std::vector<Table> m_tables;
    mutable std::once_flag m_namesRead;
    mutable std::unique_ptr<NameSet> m_names;
};

// Why a text read as a report is none, in one line naming the file and
// what was expected; nullopt when it is a report.  A report starts with
// the report's notice ("TARNReport execution report.") or has regions; an
// empty file, or one holding only the start of the notice, is a report
// being written.  Every command that reads a report asks this first.
std::optional<std::string> NotAReport(const Report& report);

// The history of a variable or equation: its rows in the details tables
// of every iteration block, in block order.
struct HistoryRow {
    int block = -1;          // index into IterationBlocks()
    LineNumber line = 0;
    TableRow row;
};
struct History {
    NameKind kind = NameKind::kVariable;
    TableKind table = TableKind::kVariableDetails;
    std::vector<HistoryRow> rows;
};
// Every history of NAME: one for the variable and one for the equation of
// that name, where they exist (names are unique within each kind only).
std::vector<History> FindHistories(const Report& report, std::string_view name);
// The same from lines known to hold the name (an index's), in line order.
std::vector<History> HistoriesAt(const Report& report, std::string_view name, const std::vector<LineNumber>& lines);

// An iteration block's label in every extract: its number (-1 for the
// initial conditions), or its title when it has none.
std::string IterationLabel(const IterationBlock& block);

}  // namespace tarnview
