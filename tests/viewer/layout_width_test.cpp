// The reader finds a table's columns from the report's layout table: with a
// column made wider in a scratch copy of the table, rows written with the
// copy's format are read back field for field, on every example's tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "report_fixture.h"
#include "report_layout.h"
#include "report_reader.h"

namespace {

using tarnview::Report;

// One conversion of a row format and where it ends.
struct Conversion {
    std::string spec;  // "%12.5g"
    std::size_t end;   // the index after it in the format
};

Conversion ConversionAt(const std::string& row, std::size_t at) {
    std::size_t end = at + 1;
    while (end < row.size() && std::string_view("-+ #0123456789.").find(row[end]) != std::string_view::npos) ++end;
    return {row.substr(at, end + 1 - at), end + 1};
}

std::string Printed(const std::string& spec, const std::string& field) {
    char text[128];
    char* end = nullptr;
    const double number = std::strtod(field.c_str(), &end);
    if (spec.back() != 's' && !field.empty() && *end == '\0') {
        std::snprintf(text, sizeof text, spec.c_str(), number);
        if (std::string_view(text).ends_with(field)) return text;
    }
    // A text, or a blank or word ("+inf") in a number's column: as the
    // variant rows write it, in the column's width.
    std::string textSpec(spec, 0, spec.find_first_of(".gs", 1));
    textSpec.push_back('s');
    std::snprintf(text, sizeof text, textSpec.c_str(), field.c_str());
    return text;
}

// A row written with `row` (a layout table's format) from a name and fields.
std::string WriteRow(const std::string& row, std::string_view name, const std::vector<std::string>& fields) {
    std::string line;
    std::size_t next = 0;
    for (std::size_t at = 0; at < row.size();) {
        if (row[at] != '%') {
            line += row[at++];
            continue;
        }
        const Conversion conversion = ConversionAt(row, at);
        if (line.empty() && next == 0 && at == 0) {
            line += Printed(conversion.spec, std::string(name));
        } else {
            line += Printed(conversion.spec, next < fields.size() ? fields[next] : "");
            ++next;
        }
        at = conversion.end;
    }
    return line;
}

// `row` with conversion number `column` (0 the name) made five wider; as
// it is when that conversion has no width.
std::string Widened(const std::string& row, std::size_t column) {
    std::size_t at = row.find('%');
    for (std::size_t i = 0; i < column; ++i) at = row.find('%', at + 1);
    const Conversion conversion = ConversionAt(row, at);
    std::size_t digits = at + 1;
    while (std::string_view("-+ #0").find(row[digits]) != std::string_view::npos) ++digits;
    const int width = std::atoi(row.c_str() + digits);
    std::size_t widthEnd = digits;
    while (row[widthEnd] >= '0' && row[widthEnd] <= '9') ++widthEnd;
    if (widthEnd == digits) return row;  // no width: the form word
    std::string widened(row, 0, digits);
    widened.append(std::to_string(width + 5));
    widened.append(row, widthEnd);
    return widened;
}

class ScratchLayout : public testing::TestWithParam<std::string> {};

TEST_P(ScratchLayout, AWiderColumnIsReadFromItsNewPlace) {
    const std::unique_ptr<Report> report =
        Report::Open(std::string(TARN_SOURCE_DIR) + "/tests/report/golden/" + GetParam() + ".log");
    ASSERT_NE(report, nullptr);
    std::size_t rowsRead = 0;
    for (const tarnview::Table& table : report->Tables()) {
        if (!tarnview::HasFixedColumns(table.kind)) continue;
        const report_layout::Table& layout = *report_layout::kFixedTables[static_cast<std::size_t>(table.kind)];
        for (tarnview::LineNumber line = table.header + 1; line < table.end; ++line) {
            if (!report->IsTableRow(table, line)) continue;
            const tarnview::TableRow original = tarnview::ReadTableRow(table.kind, report->RawLine(line));
            const std::vector<std::string> fields(original.fields.begin(), original.fields.end());
            for (std::size_t column = 1; column <= layout.columnCount; ++column) {
                const std::string scratchRow = Widened(layout.row, column);
                if (scratchRow == layout.row) continue;  // a column without a width
                report_layout::Table scratch = layout;
                scratch.row = scratchRow.c_str();
                const std::string written = WriteRow(scratchRow, original.name, fields);
                const tarnview::TableRow read = tarnview::ReadTableRow(scratch, written);
                EXPECT_EQ(read.name, original.name) << written;
                ASSERT_EQ(read.fields.size(), fields.size());
                for (std::size_t i = 0; i < fields.size(); ++i)
                    EXPECT_EQ(read.fields[i], fields[i]) << layout.id << " column " << column << ": " << written;
            }
            ++rowsRead;
        }
    }
    EXPECT_GT(rowsRead, 10u);
}

INSTANTIATE_TEST_SUITE_P(Examples, ScratchLayout,
                         testing::Values("blending", "refinery_infeasible", "refinery_unbounded"));

}  // namespace
