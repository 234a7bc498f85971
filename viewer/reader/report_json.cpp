// The report model written with RapidJSON's Writer.
#include "report_json.h"

#include <rapidjson/writer.h>

#include <charconv>
#include <cmath>

#include "markup.h"

namespace tarnview {

namespace {

// Appends to a string; "<" can occur only inside strings, where it becomes
// \u003c.
class EscapingStream {
public:
    using Ch = char;
    explicit EscapingStream(std::string& out) : m_out(out) {}
    void Put(char c) {
        if (c == '<') {
            m_out.append("\\u003c");
        } else {
            m_out.push_back(c);
        }
    }
    void Flush() {}

private:
    std::string& m_out;
};

using JsonWriter = rapidjson::Writer<EscapingStream>;

// The length of the UTF-8 sequence at the start of `text`, 0 when it is not
// a valid one (overlong forms, surrogates and values above U+10FFFF
// included).
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

// The text itself when it is UTF-8, otherwise a copy in `repaired` with
// each byte that starts no valid sequence replaced by U+FFFD.
std::string_view AsUtf8(std::string_view text, std::string& repaired) {
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = Utf8SequenceLength(text.substr(at));
        if (length == 0) break;
        at += length;
    }
    if (at == text.size()) return text;
    repaired.assign(text.substr(0, at));
    while (at < text.size()) {
        const std::size_t length = Utf8SequenceLength(text.substr(at));
        if (length == 0) {
            repaired.append("\xEF\xBF\xBD");
            ++at;
        } else {
            repaired.append(text.substr(at, length));
            at += length;
        }
    }
    return repaired;
}

void WriteText(JsonWriter& writer, std::string_view text) {
    std::string repaired;
    const std::string_view valid = AsUtf8(text, repaired);
    writer.String(valid.data(), static_cast<rapidjson::SizeType>(valid.size()));
}

void WriteNumber(JsonWriter& writer, double value) {
    if (std::isnan(value)) {
        writer.String("nan");
    } else if (std::isinf(value)) {
        writer.String(value > 0 ? "inf" : "-inf");
    } else if (value == std::floor(value) && std::fabs(value) < 9e15) {
        writer.Int64(static_cast<std::int64_t>(value));
    } else {
        writer.Double(value);
    }
}

void WriteOptionalNumber(JsonWriter& writer, const std::optional<double>& value) {
    if (value) {
        WriteNumber(writer, *value);
    } else {
        writer.Null();
    }
}

// A table field: a number when the whole field is one, else its text;
// null when blank.
void WriteField(JsonWriter& writer, std::string_view field) {
    if (field.empty()) {
        writer.Null();
        return;
    }
    std::string_view digits = field.starts_with('+') ? field.substr(1) : field;
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc() && end == digits.data() + digits.size()) {
        WriteNumber(writer, value);
    } else {
        WriteText(writer, field);
    }
}

void WriteColour(JsonWriter& writer, const std::optional<Colour>& colour) {
    if (!colour) {
        writer.Null();
        return;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x", colour->red, colour->green, colour->blue);
    writer.String(hex, 6);
}

void WriteKey(JsonWriter& writer, const char* key) { writer.Key(key); }

const char* RegionKindName(RegionKind kind) {
    switch (kind) {
        case RegionKind::kSummary: return "summary";
        case RegionKind::kIteration: return "iteration";
        case RegionKind::kMessages: return "messages";
        case RegionKind::kTable: return "table";
        case RegionKind::kSection: break;
    }
    return "section";
}

void WriteRegion(JsonWriter& writer, const Region& region) {
    writer.StartObject();
    WriteKey(writer, "title");
    WriteText(writer, region.title);
    WriteKey(writer, "level");
    writer.Int(region.level);
    WriteKey(writer, "colour");
    WriteColour(writer, region.colour);
    WriteKey(writer, "line");
    writer.Uint64(region.line);
    WriteKey(writer, "end");
    writer.Uint64(region.end);
    WriteKey(writer, "parent");
    writer.Int(region.parent);
    WriteKey(writer, "depth");
    writer.Int(region.depth);
    WriteKey(writer, "children");
    writer.StartArray();
    for (int child : region.children) writer.Int(child);
    writer.EndArray();
    WriteKey(writer, "kind");
    writer.String(RegionKindName(region.kind));
    WriteKey(writer, "lineCount");
    writer.Uint64(region.InnerLineCount());
    writer.EndObject();
}

void WriteIteration(JsonWriter& writer, const IterationBlock& block) {
    if (block.number == -1) {
        writer.String("Initial Conditions");
    } else if (block.number) {
        writer.Int(*block.number);
    } else {
        WriteText(writer, block.title);
    }
}

void WriteSummary(JsonWriter& writer, const Report& report) {
    writer.StartObject();
    WriteKey(writer, "columns");
    writer.StartArray();
    for (const std::string& column : SummaryColumns()) WriteText(writer, column);
    writer.EndArray();
    WriteKey(writer, "rows");
    writer.StartArray();
    for (const SummaryRow& row : report.Summary()) {
        writer.StartArray();
        for (const auto* number : {&row.majorIteration, &row.variableConvergence, &row.residualConvergence,
                                   &row.objectiveConvergence, &row.objectiveValue, &row.nonLinearityRatio}) {
            WriteOptionalNumber(writer, *number);
        }
        if (row.mostInfeasibleEquation) {
            WriteText(writer, *row.mostInfeasibleEquation);
        } else {
            writer.Null();
        }
        WriteOptionalNumber(writer, row.totalInfeasibility);
        writer.EndArray();
    }
    writer.EndArray();
    writer.EndObject();
}

void WriteOutline(JsonWriter& writer, const Report& report) {
    writer.StartObject();
    WriteKey(writer, "file");
    WriteText(writer, report.FileName());
    WriteKey(writer, "bytes");
    writer.Uint64(report.Bytes());
    WriteKey(writer, "lineCount");
    writer.Uint64(report.LineCount());
    WriteKey(writer, "endedEarly");
    writer.Bool(report.EndedEarly());
    WriteKey(writer, "strayEnds");
    writer.StartArray();
    for (LineNumber line : report.StrayEnds()) writer.Uint64(line);
    writer.EndArray();
    WriteKey(writer, "header");
    writer.StartObject();
    for (const auto& [key, value] : report.Header()) {
        WriteText(writer, key);
        WriteText(writer, value);
    }
    writer.EndObject();
    WriteKey(writer, "regions");
    writer.StartArray();
    for (const Region& region : report.Regions()) WriteRegion(writer, region);
    writer.EndArray();
    WriteKey(writer, "iterations");
    writer.StartArray();
    for (const IterationBlock& block : report.IterationBlocks()) {
        writer.StartObject();
        WriteKey(writer, "region");
        writer.Int(block.region);
        WriteKey(writer, "iteration");
        WriteIteration(writer, block);
        writer.EndObject();
    }
    writer.EndArray();
    WriteKey(writer, "summary");
    WriteSummary(writer, report);
    writer.EndObject();
}

void WriteLines(JsonWriter& writer, const Report& report, LineNumber from, LineNumber count) {
    writer.StartArray();
    const LineNumber end = from + std::min(count, report.LineCount() - std::min(from, report.LineCount()));
    std::string copy;
    for (LineNumber number = from; number < end; ++number) {
        const Line line = report.LineAt(number, copy);
        writer.StartArray();
        std::string_view text = line.text;
        switch (line.kind) {
            case LineKind::kText: writer.String("t", 1); break;
            case LineKind::kRegionStart:
                writer.String("r", 1);
                text = markup::ReadRegionStart(line.text).value_or(markup::RegionStart{}).title;
                break;
            case LineKind::kRegionEnd: writer.String("e", 1); break;
            case LineKind::kStrayEnd: writer.String("x", 1); break;
        }
        WriteColour(writer, line.colour);
        WriteText(writer, text);
        writer.EndArray();
    }
    writer.EndArray();
}

// The JSON text that write makes with a writer of its own.
template <typename Write>
std::string JsonOf(Write write) {
    std::string out;
    EscapingStream stream(out);
    JsonWriter writer(stream);
    write(writer);
    return out;
}

}  // namespace

std::string OutlineJson(const Report& report) {
    return JsonOf([&](JsonWriter& writer) { WriteOutline(writer, report); });
}

void AppendLinesJson(const Report& report, LineNumber from, LineNumber count, std::string& out) {
    EscapingStream stream(out);
    JsonWriter writer(stream);
    WriteLines(writer, report, from, count);
}

std::string LinesJson(const Report& report, LineNumber from, LineNumber count) {
    std::string out;
    AppendLinesJson(report, from, count, out);
    return out;
}

std::string PageDataJson(const Report& report) {
    std::string out;
    out.reserve(report.Bytes() + report.LineCount() * 16 + 4096);
    out.append("{\"report\":");
    out.append(OutlineJson(report));
    out.append(",\"lines\":");
    AppendLinesJson(report, 0, report.LineCount(), out);
    out.push_back('}');
    return out;
}

std::string SummaryJson(const Report& report) {
    return JsonOf([&](JsonWriter& writer) { WriteSummary(writer, report); });
}

std::string HistoryJson(const Report& report, const History& history, std::string_view name) {
    std::string out;
    EscapingStream stream(out);
    JsonWriter writer(stream);
    writer.StartObject();
    WriteKey(writer, "name");
    WriteText(writer, name);
    WriteKey(writer, "kind");
    writer.String(history.kind == NameKind::kVariable ? "variable" : "equation");
    const std::vector<std::string>& columns = ColumnsOf(history.table);
    WriteKey(writer, "columns");
    writer.StartArray();
    for (const std::string& column : columns) WriteText(writer, column);
    writer.EndArray();
    WriteKey(writer, "rows");
    writer.StartArray();
    for (const HistoryRow& row : history.rows) {
        writer.StartObject();
        WriteKey(writer, "iteration");
        WriteIteration(writer, report.IterationBlocks()[row.block]);
        WriteKey(writer, "line");
        writer.Uint64(row.line);
        WriteKey(writer, "values");
        writer.StartObject();
        for (std::size_t i = 0; i < columns.size() && i < row.row.fields.size(); ++i) {
            WriteText(writer, columns[i]);
            WriteField(writer, row.row.fields[i]);
        }
        writer.EndObject();
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out;
    EscapingStream stream(out);
    JsonWriter writer(stream);
    WriteText(writer, text);
    return out;
}

}  // namespace tarnview
