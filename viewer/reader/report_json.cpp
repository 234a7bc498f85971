// The report model written with RapidJSON's Writer.
#include "report_json.h"

#include <rapidjson/writer.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "markup.h"
#include "report_compare.h"
#include "report_diff.h"
#include "report_search.h"
#include "utf8.h"

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

// The text itself when it is UTF-8, otherwise a copy in `repaired` with
// each byte that starts no valid sequence replaced by U+FFFD.
std::string_view AsUtf8(std::string_view text, std::string& repaired) {
    if (IsUtf8(text)) return text;
    repaired.clear();
    for (std::size_t at = 0; at < text.size();) {
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
    if (const std::optional<double> value = FieldNumber(field)) {
        WriteNumber(writer, *value);
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

// The block's label: its number (-1 for the initial conditions), or its
// title when it has none.
void WriteIteration(JsonWriter& writer, const IterationBlock& block) {
    if (block.number) {
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

const char* NameKindText(NameKind kind) { return kind == NameKind::kVariable ? "variable" : "equation"; }

// The UTF-16 code units of a text as WriteText writes it (a byte that
// starts no UTF-8 sequence becomes U+FFFD), which is what the page's
// string offsets count.
std::size_t Utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceLength(text.substr(at));
        units += length == 4 ? 2 : 1;
        at += std::max<std::size_t>(length, 1);
    }
    return units;
}

const char* SpanKindText(const LineSpan& span) {
    if (span.kind == SpanKind::kIteration) return "iteration";
    return span.variable && span.equation ? "both" : span.variable ? "variable" : "equation";
}

// [[begin, end, "variable"|"equation"|"both"], [begin, end, "iteration", k], ...]
void WriteSpans(JsonWriter& writer, std::string_view text, const std::vector<LineSpan>& spans) {
    writer.StartArray();
    std::size_t byte = 0, unit = 0;
    const auto unitAt = [&](std::size_t offset) {
        unit += Utf16Length(text.substr(byte, offset - byte));
        byte = offset;
        return static_cast<std::uint64_t>(unit);
    };
    for (const LineSpan& span : spans) {
        writer.StartArray();
        writer.Uint64(unitAt(span.begin));
        writer.Uint64(unitAt(span.end));
        writer.String(SpanKindText(span));
        if (span.kind == SpanKind::kIteration) writer.Int(span.iteration);
        writer.EndArray();
    }
    writer.EndArray();
}

// [kind, colour, shown text] and, for a named table row, its name and what
// it names; then, when the line refers to names or iterations, their spans
// (with null name and kind on a line that is no row).
void WriteLine(JsonWriter& writer, const ShownLine& line, const std::vector<LineSpan>& spans = {}) {
    writer.StartArray();
    switch (line.kind) {
        case LineKind::kText: writer.String("t", 1); break;
        case LineKind::kRegionStart: writer.String("r", 1); break;
        case LineKind::kRegionEnd: writer.String("e", 1); break;
        case LineKind::kStrayEnd: writer.String("x", 1); break;
    }
    WriteColour(writer, line.colour);
    WriteText(writer, line.text);
    if (line.row) {
        WriteText(writer, line.row->name);
        writer.String(NameKindText(line.row->kind));
    } else if (!spans.empty()) {
        writer.Null();
        writer.Null();
    }
    if (!spans.empty()) WriteSpans(writer, line.text, spans);
    writer.EndArray();
}

void WriteLines(JsonWriter& writer, const Report& report, LineNumber from, LineNumber count) {
    writer.StartArray();
    const LineNumber end = from + std::min(count, report.LineCount() - std::min(from, report.LineCount()));
    std::string copy;
    for (LineNumber number = from; number < end; ++number) {
        const ShownLine shown = report.ReadLine(number, copy);
        WriteLine(writer, shown, SpansOfLine(report, number, shown));
    }
    writer.EndArray();
}

// {NAME: [line, ...], ...}: every line where each name occurs.
void WriteNameOccurrences(JsonWriter& writer, const Report& report) {
    std::unordered_map<const Name*, std::vector<LineNumber>> occurrences;
    const std::atomic<bool> goOn{false};
    ForEachNameOccurrence(report, 0, report.LineCount(), goOn,
                          [&](const Name& name, LineNumber line) { occurrences[&name].push_back(line); });
    writer.StartObject();
    for (const Name& name : report.Names().All()) {
        const auto found = occurrences.find(&name);
        if (found == occurrences.end()) continue;
        WriteText(writer, name.text);
        writer.StartArray();
        for (const LineNumber line : found->second) writer.Uint64(line);
        writer.EndArray();
    }
    writer.EndObject();
}

void WriteHistory(JsonWriter& writer, const Report& report, const History& history, std::string_view name,
                  LineNumber firstLine) {
    writer.StartObject();
    WriteKey(writer, "name");
    WriteText(writer, name);
    WriteKey(writer, "kind");
    writer.String(NameKindText(history.kind));
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
        writer.Uint64(row.line + firstLine);
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
    out.reserve(report.Bytes() + report.LineCount() * 24 + 4096);
    EscapingStream stream(out);
    JsonWriter writer(stream);
    writer.StartObject();
    WriteKey(writer, "report");
    WriteOutline(writer, report);
    WriteKey(writer, "lines");
    WriteLines(writer, report, 0, report.LineCount());
    WriteKey(writer, "names");
    WriteNameOccurrences(writer, report);
    writer.EndObject();
    return out;
}

std::string SummaryJson(const Report& report) {
    return JsonOf([&](JsonWriter& writer) { WriteSummary(writer, report); });
}

std::string HistoryJson(const Report& report, const History& history, std::string_view name,
                        LineNumber firstLine) {
    return JsonOf([&](JsonWriter& writer) { WriteHistory(writer, report, history, name, firstLine); });
}

std::string_view CutAtCharacter(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    const auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
    // Back over the continuation bytes of a character that the limit cuts
    // (three at most): other bytes are no UTF-8 and cut where the limit falls.
    std::size_t start = limit;
    while (start > 0 && limit - start < 3 && continues(start)) --start;
    const auto lead = static_cast<unsigned char>(text[start]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    const bool cutsACharacter = !continues(start) && start < limit && start + length > limit;
    return text.substr(0, cutsACharacter ? start : limit);
}

std::string JsonString(std::string_view text) {
    std::string out;
    EscapingStream stream(out);
    JsonWriter writer(stream);
    WriteText(writer, text);
    return out;
}

}  // namespace tarnview

namespace tarnview {

namespace {

// A difference of two values read from the report carries no more digits
// than they do: rounded to 12 significant digits.
double Rounded(double value) {
    if (!std::isfinite(value)) return value;
    char text[40];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 12);
    double rounded = value;
    std::from_chars(text, written.ptr, rounded);
    return rounded;
}

}  // namespace

struct JsonText::State {
    std::string out;
    EscapingStream stream{out};
    JsonWriter writer{stream};
};

JsonText::JsonText() : m_state(std::make_unique<State>()) {}
JsonText::~JsonText() = default;

JsonText& JsonText::StartObject() { m_state->writer.StartObject(); return *this; }
JsonText& JsonText::EndObject() { m_state->writer.EndObject(); return *this; }
JsonText& JsonText::StartArray() { m_state->writer.StartArray(); return *this; }
JsonText& JsonText::EndArray() { m_state->writer.EndArray(); return *this; }
JsonText& JsonText::Key(std::string_view key) { WriteText(m_state->writer, key); return *this; }
JsonText& JsonText::Text(std::string_view text) { WriteText(m_state->writer, text); return *this; }
JsonText& JsonText::Number(double value) { WriteNumber(m_state->writer, value); return *this; }
JsonText& JsonText::Count(std::uint64_t value) { m_state->writer.Uint64(value); return *this; }
JsonText& JsonText::Integer(std::int64_t value) { m_state->writer.Int64(value); return *this; }
JsonText& JsonText::Bool(bool value) { m_state->writer.Bool(value); return *this; }
JsonText& JsonText::Null() { m_state->writer.Null(); return *this; }

JsonText& JsonText::Outline(const Report& report) { WriteOutline(m_state->writer, report); return *this; }
JsonText& JsonText::Lines(const Report& report, LineNumber from, LineNumber count) {
    WriteLines(m_state->writer, report, from, count);
    return *this;
}
JsonText& JsonText::Line(const ShownLine& line, std::string_view text) {
    ShownLine part = line;
    part.text = text;
    WriteLine(m_state->writer, part);
    return *this;
}

JsonText& JsonText::Summary(const Report& report) { WriteSummary(m_state->writer, report); return *this; }
JsonText& JsonText::HistoryEntry(const Report& report, const History& history, std::string_view name,
                                  LineNumber firstLine) {
    WriteHistory(m_state->writer, report, history, name, firstLine);
    return *this;
}

JsonText& JsonText::NameOccurrences(const Report& report) {
    WriteNameOccurrences(m_state->writer, report);
    return *this;
}

JsonText& JsonText::Hits(const Report& report, const std::vector<LineNumber>& lines, std::size_t textLimit) {
    StartArray();
    std::string copy;
    for (const LineNumber line : lines) {
        StartObject();
        Key("line").Count(line);
        Key("region").Integer(report.RegionOfLine(line));
        Key("text").Text(CutAtCharacter(report.ReadLine(line, copy).text, textLimit));
        EndObject();
    }
    return EndArray();
}

JsonText& JsonText::Facts(const RunFacts& facts) {
    StartObject();
    FactsFields(facts);
    return EndObject();
}

JsonText& JsonText::FactsLine(const RunFactsLine& line) {
    StartObject();
    FactsFields(line.facts);
    Key("options").StartArray();
    for (const OptionValue& option : line.options) {
        StartObject().Key("display").Text(option.display).Key("option").Text(option.key).Key("value");
        if (option.value) Text(*option.value); else Null();
        EndObject();
    }
    EndArray();
    return EndObject();
}

namespace {

void WriteState(JsonText& json, const std::string& state) { json.Text(state); }
void WriteState(JsonText& json, const std::optional<std::string>& state) {
    if (state) json.Text(*state); else json.Null();
}

template <typename Change>
void WriteTextChanges(JsonText& json, const char* key, const std::vector<Change>& changes) {
    json.Key(key).StartArray();
    for (const Change& change : changes) {
        json.StartObject().Key("name").Text(change.name);
        json.Key("before");
        WriteState(json, change.before);
        json.Key("after");
        WriteState(json, change.after);
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

JsonText& JsonText::Diff(const IterationDiff& diff, std::size_t limit) {
    StartObject();
    Key("from").Integer(diff.from);
    Key("to").Integer(diff.to);
    Key("valueCount").Count(diff.values.size());
    Key("values").StartArray();
    for (std::size_t i = 0; i < diff.values.size() && i < limit; ++i) DifferenceEntry(diff.values[i]);
    EndArray();
    WriteTextChanges(*this, "bounds", diff.bounds);
    Key("infeasibility").StartArray();
    for (const InfeasibilityChange& change : diff.infeasibility) {
        StartObject().Key("name").Text(change.name);
        Key("before").Number(change.before).Key("after").Number(change.after).Key("became").Bool(change.Became());
        EndObject();
    }
    EndArray();
    WriteTextChanges(*this, "statuses", diff.statuses);
    Key("missing").StartArray();
    for (const std::string& missing : diff.missing) Text(missing);
    EndArray();
    return EndObject();
}

void JsonText::FactsFields(const RunFacts& facts) {
    Key("file").Text(facts.file);
    Key("model").Text(facts.model);
    Key("status").Text(facts.status);
    Key("majorIterations").Count(facts.majorIterations);
    Key("lastIteration");
    if (facts.lastIteration) Integer(*facts.lastIteration); else Null();
    Key("finalObjective");
    if (facts.finalObjective) Number(*facts.finalObjective); else Null();
    Key("finalInfeasibility");
    if (facts.finalInfeasibility) Number(*facts.finalInfeasibility); else Null();
    Key("endedEarly").Bool(facts.endedEarly);
}

JsonText& JsonText::DifferenceEntry(const Difference& difference) {
    StartObject();
    Key("name").Text(difference.name);
    Key("kind").Text(NameKindText(difference.kind));
    Key("column").Text(difference.column);
    Key("a").Number(difference.a);
    Key("b").Number(difference.b);
    Key("difference").Number(Rounded(difference.Change()));
    Key("relative").Number(Rounded(difference.RelativeSize()));
    return EndObject();
}

JsonText& JsonText::OptionEntry(const OptionDifference& option) {
    StartObject();
    Key("display").Text(option.display);
    Key("option").Text(option.key);
    Key("a");
    if (option.a) Text(*option.a); else Null();
    Key("b");
    if (option.b) Text(*option.b); else Null();
    return EndObject();
}

std::string JsonText::Take() { return std::move(m_state->out); }

}  // namespace tarnview
