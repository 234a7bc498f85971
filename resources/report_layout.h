// The layout of the report's tables: each table's region title, column
// header, row format and column names, declared here once.  The section
// writers format their rows with these formats, the viewer's reader finds
// the columns of a row from the same formats, and the tests use them rather
// than copies.  The texts (titles, headers) are in messages.rc; this file
// names them by id.  It needs nothing of the report library.
#pragma once

#include <cstddef>

#include "message_ids.h"

namespace report_layout {

// Row formats.  A row is the name, left-aligned in 22 characters (a longer
// name shifts the rest of the row), then one conversion per column; the
// blanks written before a conversion belong to its column.  A last
// conversion without a width is the form word ("linear", "non-linear").
inline constexpr char kVariableStepLimitedRow[] =
    "%-22s%12.5g %1s %12.5g   %12.5g %1s %12.5g   %12.5g    %10s     %-10s";
// The other variable rows keep the columns of the step-limited one.
inline constexpr char kVariableBoundedRow[] = "%-22s%12.5g   %12.5g   %12.5g%12s      %12.5g    %10s     %-10s";
inline constexpr char kVariableFreeRow[] = "%-22s        %s   %12.5g           %s%12s      %12.5g    %10s     %-10s";
inline constexpr char kVariableUpperInfiniteRow[] =
    "%-22s%12.5g   %12.5g           %s%12s      %12.5g    %10s     %-10s";
inline constexpr char kVariableLowerInfiniteRow[] =
    "%-22s        %s   %12.5g   %12.5g%12s      %12.5g    %10s     %-10s";
inline constexpr char kEquationRow[] = "%-22s%12.5g   %12.5g   %12.5g   %12.5g       %s";
inline constexpr char kTwoValueRow[] = "%-22s%12.5g    %12.5g     %s";
inline constexpr char kSlackRow[] = "%-22s%12.5g";
inline constexpr char kChangeRow[] = "%-22s%12.5g    %12.5g   %12.5g";
inline constexpr char kActiveBoundRow[] = "%-22s%12.5g      %10s   %12.5g";

enum class Names { kVariable, kEquation };

struct Table {
    const char* id;          // the table's name in the viewer's data
    MessageId title;         // the title of its region
    MessageId header;        // its column header
    Names names;             // what its rows name
    const char* row;         // the row format its columns follow
    const char* const* columns;  // one name per conversion after the name
    std::size_t columnCount;
};

inline constexpr const char* kVariableDetailsColumns[] = {
    "Lower", "Lower Mark", "Value", "Upper", "Upper Mark", "Step", "ShadowPrice", "Status", "Type"};
inline constexpr const char* kEquationDetailsColumns[] = {"Residual", "ShadowPrice", "InfSlack", "Scale", "Form"};
inline constexpr const char* kResidualsColumns[] = {"Value", "ShadowPrice", "Form"};
inline constexpr const char* kShadowPricesColumns[] = {"ShadowPrice", "Value", "Form"};
inline constexpr const char* kSlacksColumns[] = {"Infeasibility"};
inline constexpr const char* kChangeColumns[] = {"Relative Delta", "New Value", "Old Value"};
inline constexpr const char* kActiveBoundsColumns[] = {"Value", "ActiveBound", "ShadowPrice"};

template <std::size_t N>
constexpr Table MakeTable(const char* id, MessageId title, MessageId header, Names names, const char* row,
                          const char* const (&columns)[N]) {
    return {id, title, header, names, row, columns, N};
}

inline constexpr Table kVariableDetails = MakeTable("variableDetails", kMsgVariableDetails,
    kMsgVariableDetailsHeader, Names::kVariable, kVariableStepLimitedRow, kVariableDetailsColumns);
inline constexpr Table kEquationDetails = MakeTable("equationDetails", kMsgEquationDetails,
    kMsgEquationDetailsHeader, Names::kEquation, kEquationRow, kEquationDetailsColumns);
inline constexpr Table kLargestResiduals = MakeTable("largestResiduals", kMsgLargestResiduals,
    kMsgResidualsHeader, Names::kEquation, kTwoValueRow, kResidualsColumns);
inline constexpr Table kLargestShadowPrices = MakeTable("largestShadowPrices", kMsgLargestShadowPrices,
    kMsgShadowPricesHeader, Names::kEquation, kTwoValueRow, kShadowPricesColumns);
inline constexpr Table kLargestSlacks = MakeTable("largestSlacks", kMsgLargestFeasibilitySlacks,
    kMsgFeasibilitySlacksHeader, Names::kEquation, kSlackRow, kSlacksColumns);
inline constexpr Table kLargestVariableChange = MakeTable("largestVariableChange", kMsgLargestVariableChange,
    kMsgVariableChangeHeader, Names::kVariable, kChangeRow, kChangeColumns);
inline constexpr Table kActiveBounds = MakeTable("activeBounds", kMsgActiveBounds, kMsgActiveBoundsHeader,
    Names::kVariable, kActiveBoundRow, kActiveBoundsColumns);

// Every table with fixed columns, in the order the viewer numbers them.
inline constexpr const Table* kFixedTables[] = {&kVariableDetails,     &kEquationDetails, &kLargestResiduals,
                                                &kLargestShadowPrices, &kLargestSlacks,   &kLargestVariableChange,
                                                &kActiveBounds};

// The column headers of the infeasibility diagnosis's entries, whose rows
// have no fixed columns.
inline constexpr MessageId kDiagnosisEquationHeaders[] = {kMsgEqnEntryHeaderUnbounded, kMsgEqnEntryHeaderInfeasible};
inline constexpr MessageId kDiagnosisVariableHeader = kMsgVarEntryHeader;

// The name column's width in every row format.
inline constexpr std::size_t kNameWidth = 22;

// Where a column lies in the part of a row after the name; a column
// without a width (the form word) has `open` set and runs to the row's end.
struct Span {
    std::size_t begin = 0, end = 0;
    bool open = false;
};

// The spans of the columns of `row` (at most `capacity`); their number.
// Each conversion after the name is a column: the literal text before it,
// then its width.
constexpr std::size_t ColumnSpans(const char* row, Span* spans, std::size_t capacity) {
    std::size_t count = 0, at = 0;
    const char* p = row;
    bool name = true;  // the first conversion is the name
    while (*p != '\0') {
        if (*p != '%') {
            ++at, ++p;
            continue;
        }
        ++p;
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
        std::size_t width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<std::size_t>(*p++ - '0');
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        if (*p != '\0') ++p;  // the conversion letter
        if (name) {
            name = false;
            at = 0;
            continue;
        }
        if (count == capacity) break;
        const std::size_t begin = count == 0 ? 0 : spans[count - 1].end;
        spans[count++] = Span{begin, at + width, width == 0};
        at += width;
    }
    return count;
}

}  // namespace report_layout
