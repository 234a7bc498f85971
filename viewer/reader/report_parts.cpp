// The report's own line forms: colour prefixes, region lines, iteration
// block titles, summary rows, header fields and table rows.
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "markup.h"
#include "report_layout.h"
#include "report_reader.h"
#include "report_texts.h"

namespace tarnview {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A number in C printf form: "12", "-3.5e+02", "nan", "-nan", "inf", "+inf".
// Blanks before it are skipped; `text` moves past it.
std::optional<double> TakeNumber(std::string_view& text) {
    std::size_t start = 0;
    while (start < text.size() && IsBlank(text[start])) ++start;
    std::size_t first = start;
    if (first < text.size() && text[first] == '+') ++first;  // from_chars takes no plus sign
    double value = 0;
    const auto [end, error] = std::from_chars(text.data() + first, text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;  // beyond a double: not read as some other value
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// The colour field of a prefix: three characters, digits or blanks.
std::uint8_t FieldValue(std::string_view field) {
    int value = 0;
    for (char c : field) {
        if (IsDigit(c)) value = value * 10 + (c - '0');
    }
    return static_cast<std::uint8_t>(std::min(value, 255));
}

}  // namespace

namespace markup {

Prefixed SplitPrefix(std::string_view line) {
    if (line.size() < kPrefixLength || line[0] != '?' || line[kPrefixLength - 1] != '}') return {std::nullopt, line};
    for (std::size_t i = 1; i < kPrefixLength - 1; ++i) {
        if (!IsDigit(line[i]) && line[i] != ' ') return {std::nullopt, line};
    }
    const Colour colour{FieldValue(line.substr(1, 3)), FieldValue(line.substr(4, 3)), FieldValue(line.substr(7, 3))};
    return {colour, line.substr(kPrefixLength)};
}

std::optional<RegionStart> ReadRegionStart(std::string_view text) {
    constexpr std::string_view kStart = "#region ";
    if (!text.starts_with(kStart)) return std::nullopt;
    text.remove_prefix(kStart.size());
    std::size_t digits = 0;
    while (digits < text.size() && IsDigit(text[digits])) ++digits;
    if (digits == 0 || digits > 6 || !text.substr(digits).starts_with(", ")) return std::nullopt;
    int level = 0;
    std::from_chars(text.data(), text.data() + digits, level);
    return RegionStart{level, text.substr(digits + 2)};
}

RegionName NameRegion(int level, std::string_view title) {
    RegionName name;
    if (level == 0 && title.starts_with('=') && title.ends_with('=')) {
        std::string_view inner = title;
        while (!inner.empty() && (inner.front() == '=' || IsBlank(inner.front()))) inner.remove_prefix(1);
        while (!inner.empty() && (inner.back() == '=' || IsBlank(inner.back()))) inner.remove_suffix(1);
        name.title = std::string(inner);
        name.kind = RegionKind::kIteration;
        name.iterationBlock = true;
        // "Major Iteration %1!d!": the text before the insert.
        const std::string_view major = report_text::Text(kMsgMajorIteration);
        const std::string_view kMajor = major.substr(0, major.find('%'));
        if (inner == report_text::Text(kMsgInitialConditions)) {
            name.iteration = -1;
        } else if (inner.starts_with(kMajor)) {
            int number = 0;
            const std::string_view digits = inner.substr(kMajor.size());
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (error == std::errc() && end == digits.data() + digits.size()) name.iteration = number;
        }
        return name;
    }
    name.title = std::string(title);
    if (title == report_text::Text(kMsgIterationSummary)) {
        name.kind = RegionKind::kSummary;
    } else if (title == report_text::Text(kMsgErrorList) || title == report_text::Text(kMsgWarningList) ||
               title == report_text::Text(kMsgInformationList)) {
        name.kind = RegionKind::kMessages;
    }
    return name;
}

// " %7d    % #8.4e  % #8.4e  % #8.4e%#14.7g  %10.3g   %s       %12.5g" (a
// long row) or the same up to the ratio (a short row).  The numbers are
// read one after the other, so wide ones that touch still part; the name
// is what lies between the ratio and the last number.
std::optional<SummaryRow> ReadSummaryRow(std::string_view text, LineNumber line) {
    SummaryRow row;
    row.line = line;
    std::string_view rest = text;
    std::array<std::optional<double>*, 6> numbers = {&row.majorIteration,      &row.variableConvergence,
                                                     &row.residualConvergence, &row.objectiveConvergence,
                                                     &row.objectiveValue,      &row.nonLinearityRatio};
    for (std::optional<double>* number : numbers) {
        *number = TakeNumber(rest);
        if (!*number) break;
    }
    if (!row.majorIteration || std::floor(*row.majorIteration) != *row.majorIteration) return std::nullopt;
    if (TrimBlanks(rest).empty()) return row;
    // The long row's tail: three blanks, the name, seven blanks, the value in 12.
    constexpr std::size_t kValueWidth = 12, kBeforeName = 3, kAfterName = 7;
    if (rest.size() >= kBeforeName + kAfterName + kValueWidth) {
        std::string_view valueText = rest.substr(rest.size() - kValueWidth);
        const std::optional<double> total = TakeNumber(valueText);
        std::string_view name = rest.substr(kBeforeName, rest.size() - kValueWidth - kBeforeName - kAfterName);
        const bool blanksAround = TrimBlanks(rest.substr(0, kBeforeName)).empty() &&
                                  TrimBlanks(rest.substr(kBeforeName + name.size(), kAfterName)).empty();
        if (total && TrimBlanks(valueText).empty() && blanksAround) {
            row.totalInfeasibility = total;
            row.mostInfeasibleEquation = std::string(name);
            return row;
        }
    }
    row.mostInfeasibleEquation = std::string(TrimBlanks(rest));
    return row;
}

namespace {

// The header's fields in the order the writer puts them (the case number
// may be left out). Only the date's text may lack its line break, so that
// the status follows on the date's line after its colour prefix.
constexpr std::string_view kHeaderKeys[] = {"Model Name", "Case Number", "Case Description", "Execution Date",
                                            "Solution Status"};
constexpr std::size_t kDateField = 3, kStatusField = 4;

std::optional<std::size_t> HeaderPosition(std::string_view key) {
    for (std::size_t position = 0; position < std::size(kHeaderKeys); ++position)
        if (kHeaderKeys[position] == key) return position;
    return std::nullopt;
}

// " KEY : VALUE" read: the key (blanks trimmed) and the value (after one
// blank).
std::pair<std::string_view, std::string_view> SplitField(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {};
    std::string_view value = text.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return {TrimBlanks(text.substr(0, colon)), value};
}

}  // namespace

void ReadHeaderFields(std::string_view text, std::vector<std::pair<std::string, std::string>>& fields) {
    const auto [key, whole] = SplitField(text);
    const std::optional<std::size_t> position = HeaderPosition(key);
    const std::optional<std::size_t> last =
        fields.empty() ? std::nullopt : HeaderPosition(fields.back().first);
    if (!position || (last && *position <= *last)) return;
    std::string_view value = whole;
    std::string_view next;
    if (*position == kDateField) {
        // The first colour prefix in the date that starts the status field.
        for (std::size_t at = value.find('?'); at != std::string_view::npos; at = value.find('?', at + 1)) {
            const Prefixed prefixed = SplitPrefix(value.substr(at));
            if (prefixed.colour && SplitField(prefixed.text).first == kHeaderKeys[kStatusField]) {
                next = prefixed.text;
                value = value.substr(0, at);
                break;
            }
        }
    }
    fields.emplace_back(std::string(key), std::string(value));
    if (!next.empty()) ReadHeaderFields(next, fields);
}

bool IsTableHeader(std::string_view text) {
    return (text.starts_with("Variable Name ") || text.starts_with("Equation Name ")) &&
           text.find("---") != std::string_view::npos;
}

}  // namespace markup

// Table layouts: the header that names them and the columns after the
// name.  The name is left-aligned in 22 characters and a longer one shifts
// the rest of the row, so the columns are counted from the row's end: the
// part after the name has a fixed width, plus the form word ("linear" or
// "non-linear") where a row ends in one.
namespace {

struct Column {
    std::string name;
    std::size_t begin, end;  // within the part after the name
};

struct TableLayout {
    TableKind kind;
    const char* id;
    NameKind names;
    std::string_view header;       // the header line's text, without its trailing blanks
    std::size_t fixedWidth;        // the part after the name, the form word not counted
    bool endsWithForm;
    std::vector<Column> columns;
};

constexpr std::size_t kMostColumns = 16;

// A fixed table's layout as the report's layout table declares it: the
// columns where its row format puts them.
TableLayout FixedLayout(TableKind kind, const report_layout::Table& table) {
    report_layout::Span spans[kMostColumns];
    const std::size_t count = report_layout::ColumnSpans(table.row, spans, kMostColumns);
    TableLayout layout{kind, table.id,
                       table.names == report_layout::Names::kVariable ? NameKind::kVariable : NameKind::kEquation,
                       TrimTrailingBlanks(report_text::Text(table.header)), 0, false, {}};
    for (std::size_t i = 0; i < count && i < table.columnCount; ++i)
        layout.columns.push_back({table.columns[i], spans[i].begin, spans[i].end});
    if (count > 0) {
        layout.fixedWidth = spans[count - 1].end;
        layout.endsWithForm = spans[count - 1].open;
    }
    return layout;
}

static_assert(std::size(report_layout::kFixedTables) == static_cast<std::size_t>(TableKind::kDiagnosisEquations),
              "the fixed tables come first among the table kinds, in the layout table's order");

const std::vector<TableLayout>& Layouts() {
    static const std::vector<TableLayout> layouts = [] {
        std::vector<TableLayout> all;
        for (const report_layout::Table* table : report_layout::kFixedTables)
            all.push_back(FixedLayout(static_cast<TableKind>(all.size()), *table));
        all.push_back({TableKind::kDiagnosisEquations, "diagnosisEquations", NameKind::kEquation, "Equation Name ---",
                       0, false, {}});
        all.push_back({TableKind::kDiagnosisVariables, "diagnosisVariables", NameKind::kVariable, "Variable Name ---",
                       0, false, {}});
        all.push_back({TableKind::kOther, "other", NameKind::kVariable, "", 0, false, {}});
        return all;
    }();
    return layouts;
}

const TableLayout& LayoutOf(TableKind kind) { return Layouts()[static_cast<std::size_t>(kind)]; }

// The part of a row after its name; empty when the row is too short.
std::string_view FieldsPart(const TableLayout& layout, std::string_view text) {
    std::size_t width = layout.fixedWidth;
    if (layout.endsWithForm) {
        const std::string_view nonLinear = report_text::Text(kMsgNonLinear), linear = report_text::Text(kMsgLinear);
        if (text.ends_with(nonLinear)) {
            width += nonLinear.size();
        } else if (text.ends_with(linear)) {
            width += linear.size();
        } else {
            return {};
        }
    }
    if (width == 0 || text.size() < width) return {};
    return text.substr(text.size() - width);
}

// Rows of tables without fixed columns (the diagnosis): the name runs to
// the first two blanks.
std::string_view LeadingName(std::string_view text) {
    const std::size_t gap = text.find("  ");
    return TrimTrailingBlanks(text.substr(0, gap));
}

}  // namespace

TableKind TableKindOfHeader(std::string_view headerText) {
    const std::string_view header = TrimTrailingBlanks(headerText);
    for (const TableLayout& layout : Layouts()) {
        if (layout.fixedWidth > 0 && header == layout.header) return layout.kind;
    }
    for (const MessageId id : report_layout::kDiagnosisEquationHeaders) {
        if (header == report_text::Text(id)) return TableKind::kDiagnosisEquations;
    }
    if (header == report_text::Text(report_layout::kDiagnosisVariableHeader)) return TableKind::kDiagnosisVariables;
    return TableKind::kOther;
}

NameKind NameKindOf(TableKind kind) { return LayoutOf(kind).names; }
bool HasFixedColumns(TableKind kind) { return LayoutOf(kind).fixedWidth > 0; }
const char* TableKindName(TableKind kind) { return LayoutOf(kind).id; }

const std::vector<std::string>& ColumnsOf(TableKind kind) {
    static const std::vector<std::vector<std::string>> columns = [] {
        std::vector<std::vector<std::string>> all;
        for (const TableLayout& layout : Layouts()) {
            all.emplace_back();
            for (const Column& column : layout.columns) all.back().push_back(column.name);
        }
        return all;
    }();
    return columns[static_cast<std::size_t>(kind)];
}

namespace {

std::string_view NameOfRow(const TableLayout& layout, std::string_view text) {
    if (layout.fixedWidth == 0) return LeadingName(text);
    const std::string_view fields = FieldsPart(layout, text);
    if (fields.empty()) return TrimBlanks(text);
    return TrimTrailingBlanks(text.substr(0, text.size() - fields.size()));
}

TableRow ReadRow(const TableLayout& layout, std::string_view text) {
    TableRow row;
    row.name = NameOfRow(layout, text);
    const std::string_view fields = FieldsPart(layout, text);
    for (const Column& column : layout.columns) {
        std::string_view field;
        if (!fields.empty() && column.begin < fields.size()) {
            // The last column runs to the row's end (the form word).
            const bool last = &column == &layout.columns.back();
            field = TrimBlanks(fields.substr(column.begin, last ? std::string_view::npos : column.end - column.begin));
        }
        row.fields.push_back(field);
    }
    return row;
}

}  // namespace

std::string_view TableRowName(TableKind kind, std::string_view text) { return NameOfRow(LayoutOf(kind), text); }
TableRow ReadTableRow(TableKind kind, std::string_view text) { return ReadRow(LayoutOf(kind), text); }

std::optional<double> FieldNumber(std::string_view field) {
    std::string_view rest = field;
    const std::optional<double> value = TakeNumber(rest);
    if (!value || !rest.empty() || field.empty() || IsBlank(field.front())) return std::nullopt;
    return value;
}

TableRow ReadTableRow(const report_layout::Table& layout, std::string_view text) {
    return ReadRow(FixedLayout(TableKind::kOther, layout), text);
}

std::string IterationLabel(const IterationBlock& block) {
    return block.number ? std::to_string(*block.number) : block.title;
}

const std::vector<std::string>& SummaryColumns() {
    static const std::vector<std::string> columns = {
        "Major Iteration",          "Variable Convergence Function", "Residual Convergence Function",
        "Objective Convergence Function", "Objective Function Value", "Non Linearity Ratio",
        "Most L-Infeasible Equation",     "Total L-Infeasible Value"};
    return columns;
}

namespace {

// The variable's and the equation's history, filled by `addRows`, which is
// handed the history a table's rows belong to.
template <typename AddRows>
std::vector<History> CollectHistories(AddRows addRows) {
    History variable{NameKind::kVariable, TableKind::kVariableDetails, {}};
    History equation{NameKind::kEquation, TableKind::kEquationDetails, {}};
    addRows([&](const Table& table) {
        if (table.block < 0) return static_cast<History*>(nullptr);
        return table.kind == TableKind::kVariableDetails   ? &variable
               : table.kind == TableKind::kEquationDetails ? &equation
                                                            : nullptr;
    });
    std::vector<History> histories;
    for (History* history : {&variable, &equation}) {
        if (!history->rows.empty()) histories.push_back(std::move(*history));
    }
    return histories;
}

}  // namespace

std::vector<History> FindHistories(const Report& report, std::string_view name) {
    return CollectHistories([&](auto historyOf) {
        for (const Table& table : report.Tables()) {
            History* history = historyOf(table);
            if (history == nullptr) continue;
            for (LineNumber line = table.header + 1; line < table.end; ++line) {
                if (!report.IsTableRow(table, line)) continue;
                const std::string_view text = report.RawLine(line);
                if (TableRowName(table.kind, text) != name) continue;
                history->rows.push_back({table.block, line, ReadTableRow(table.kind, text)});
                break;  // a name has one row per table
            }
        }
    });
}

std::vector<History> HistoriesAt(const Report& report, std::string_view name, const std::vector<LineNumber>& lines) {
    return CollectHistories([&](auto historyOf) {
        for (const LineNumber line : lines) {
            const Table* table = report.TableOfLine(line);
            History* history = table != nullptr && report.IsTableRow(*table, line) ? historyOf(*table) : nullptr;
            if (history == nullptr) continue;
            const std::string_view text = report.RawLine(line);
            if (TableRowName(table->kind, text) == name)
                history->rows.push_back({table->block, line, ReadTableRow(table->kind, text)});
        }
    });
}

}  // namespace tarnview
