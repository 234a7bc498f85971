// The report's markup: colour prefixes ("?RRRGGGBBB}") at the start of a
// line and collapsible regions ("#region LEVEL, TITLE" ... "#endregion").
// Formats that begin with "\n" start a new block and so leave one empty line
// before them.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

namespace markup {

// A text of the run as the report shows it: each line break as "\n" and
// each carriage return as "\r" (backslash and letter), so that no text
// from the run can end a report line or start one, and every other control
// character (C0, DEL, and C1 as its two UTF-8 bytes) as "\xHH" with two
// upper-case hex digits, so that none reaches a terminal that shows the
// report.  A tab stays a tab.
std::string OneLine(std::string_view text);

// Writes `text` as OneLine shows it, straight to the stream: a long text is
// never copied.
void WriteOneLine(std::ostream& out, std::string_view text);

// Writes `format`, whose one conversion is a "%s", with `text` in its place
// as WriteOneLine writes it: the line that FormatLine would make of a text
// already shown on one line, without copying a long text into a line.
void WriteWithText(std::ostream& out, std::string_view format, std::string_view text);

// Region start lines.
inline constexpr char kModelRegionStart[] = "\n?000000225}#region 1, ";
inline constexpr char kHeaderRegion[] = "\n?000000255}#region 4, %s";
inline constexpr char kInformationRegion[] = "\n?000096000}#region 1, %s";
inline constexpr char kGreenRegion[] = "\n?000128000}#region 4, %s";
inline constexpr char kBlockRegion[] =
    "\n?000128000}#region 0, ============================================== %s "
    "==============================================\n";
inline constexpr char kRedRegion[] = "\n?255000000}#region 4, %s";
inline constexpr char kOrangeRegion[] = "\n?255128000}#region 4, %s";
inline constexpr char kDiagnosisRegion[] = "\n?225000000}#region 1, %s";
inline constexpr char kRegionEnd[] = "\n#endregion";

// Header lines of the model region.
inline constexpr char kHeaderLineNewBlock[] = "\n?000000255} %s";
inline constexpr char kStatusSuccessful[] = "?000000255} %s";
inline constexpr char kStatusOther[] = "?255000000} %s";

// Green column headers and rule lines.
inline constexpr char kGreenLine[] = "?000128000}%s";
inline constexpr char kGreenHeader[] = "\n?000128000}%s";

// Message list entry prefixes (each ends in a blank).
inline constexpr char kErrorPrefix[] = "?255000000}*** %s: ";
inline constexpr char kWarningPrefix[] = "?255128  0}**  %s: ";
inline constexpr char kInformationPrefix[] = "?000128000}*   %s: ";

// Red lines of the infeasibility diagnosis.
inline constexpr char kRedHeader[] = "\n?255000000}%s";
inline constexpr char kAdviceFirst[] = "\n?255000000} *** %s";
inline constexpr char kAdviceNext[] = "\n?255000000}     %s";

}  // namespace markup
