// Report text made safe to show on a terminal, as every command and the
// terminal view show it.
#pragma once

#include <string>
#include <string_view>

// Text of a report as every command shows it, so that none reaches a
// terminal as a control sequence: a C0 control but the tab as ^@ to ^_, DEL
// as ^?, a C1 control (U+0080 to U+009F, two bytes in UTF-8, or a lone byte
// 0x80 to 0x9F that starts no UTF-8 character) as \xHH for each byte.
std::string Visible(std::string_view text);

// A JSON text whose strings keep DEL and the C1 controls as \u escapes
// (the writer already escapes C0): the same data, safe on a terminal.
std::string VisibleJson(std::string_view json);
