// Texts of a run that hold line breaks and markup: each goes into the
// example run in turn, and the report must keep the region lines of the
// same run with a plain text there, show the text on one line, and never
// let a piece of it start a report line.  Names, which start lines of the
// detail tables, are refused instead, with their path.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "report_fixture.h"

namespace {

using rapidjson::Document;
using rapidjson::Value;

// Breaks lines three ways and carries a region end, a red region start and
// a green colour prefix.
const std::string kHostile =
    "X\n#endregion\n?255000000}#region 1, FAKE1\r?000128000}FAKE2\tT\r\nFAKE3";
// How the report shows it.
const std::string kShown =
    "X\\n#endregion\\n?255000000}#region 1, FAKE1\\r?000128000}FAKE2\tT\\r\\nFAKE3";
// The date allows no line break; markup alone.
const std::string kHostileDate = "?255000000}#region 1, FAKE4";

constexpr int kIteration = 1;  // an iteration with an infeasibility

struct TextSlot {
    const char* where;
    std::function<void(Document&, const std::string&)> put;
    bool shown;  // the report shows this text
};

Value Text(Document& doc, const std::string& text) {
    return Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), doc.GetAllocator());
}

void PutMember(Document& doc, Value& object, const std::string& key, const std::string& text) {
    object.RemoveMember(key.c_str());
    object.AddMember(Text(doc, key), Text(doc, text), doc.GetAllocator());
}

std::function<void(Document&, const std::string&)> Member(const char* object, const char* key) {
    return [=](Document& doc, const std::string& text) { PutMember(doc, doc[object], key, text); };
}

std::function<void(Document&, const std::string&)> Option(const char* part, bool asName) {
    return [=](Document& doc, const std::string& text) {
        Value& options = doc[part]["options"];
        if (asName) options.AddMember(Text(doc, text), Text(doc, "1"), doc.GetAllocator());
        else PutMember(doc, options, "NOTE", text);
    };
}

std::function<void(Document&, const std::string&)> IterationText(const char* key, bool list) {
    return [=](Document& doc, const std::string& text) {
        Value& iteration = doc["iterations"][kIteration];
        iteration.RemoveMember(key);
        Value value = Text(doc, text);
        if (list) {
            Value texts(rapidjson::kArrayType);
            texts.PushBack(value, doc.GetAllocator());
            value = texts;
        }
        iteration.AddMember(Value(key, doc.GetAllocator()), value, doc.GetAllocator());
    };
}

const TextSlot kSlots[] = {
    {"case.description", Member("case", "description"), true},
    {"case.status", Member("case", "status"), true},
    {"iterations[1].errors", IterationText("errors", true), true},
    {"iterations[1].warnings", IterationText("warnings", true), true},
    {"iterations[1].information", IterationText("information", true), true},
    {"iterations[1].most_infeasible", IterationText("most_infeasible", false), true},
    {"solver option value", Option("solver", false), true},
    {"solver option name", Option("solver", true), true},
    {"lp option value", Option("lp", false), true},
    {"lp option name", Option("lp", true), true},
    {"model option value", Option("model", false), false},
};

std::function<void(Document&, const std::string&)> ModelName() {
    return [](Document& doc, const std::string& name) { PutMember(doc, doc["model"], "name", name); };
}

std::function<void(Document&, const std::string&)> ItemName(const char* items, unsigned index) {
    return [=](Document& doc, const std::string& name) {
        PutMember(doc, doc["model"][items][index], "name", name);
    };
}

struct NameSlot {
    const char* path;
    std::function<void(Document&, const std::string&)> put;
};

const NameSlot kNameSlots[] = {
    {"model.name", ModelName()},
    {"model.variables[3].name", ItemName("variables", 3)},
    {"model.equations[2].name", ItemName("equations", 2)},
};

// A line break, a carriage return, and markup at the start.
const std::string kHostileNames[] = {"X\n#endregion", "X\rY", "#endregion",
                                     "?255000000}RED"};

std::string Json(const Document& doc) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    return buffer.GetString();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// "#region" and "#endregion" lines, with or without a colour prefix.
std::vector<std::string> RegionLinesOf(const std::string& report) {
    std::vector<std::string> regions;
    for (const std::string& line : Lines(report)) {
        const std::size_t markup = line.rfind('?', 0) == 0 && line.size() > 11 ? 11 : 0;
        if (line.compare(markup, 7, "#region") == 0 || line.compare(markup, 10, "#endregion") == 0)
            regions.push_back(line);
    }
    return regions;
}

// The pieces of the text after each of its line breaks that carry FAKE.
std::vector<std::string> PiecesAfterBreaks(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = text.find_first_of("\r\n");
    while (start != std::string::npos) {
        const std::size_t end = text.find_first_of("\r\n", start + 1);
        const std::string piece = text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        if (piece.find("FAKE") != std::string::npos) pieces.push_back(piece);
        start = end;
    }
    return pieces;
}

class HostileText : public testing::Test {
protected:
    void SetUp() override {
        const std::string example =
            ReadText((std::filesystem::path(TARN_SOURCE_DIR) / "examples" / "refinery_infeasible.vdr").string());
        ASSERT_FALSE(m_example.Parse(example.c_str()).HasParseError());
        ASSERT_GT(m_example["iterations"].Size(), static_cast<unsigned>(kIteration));
    }

    ReportResult RunWith(const std::function<void(Document&, const std::string&)>& put,
                         const std::string& text) {
        Document doc;
        doc.CopyFrom(m_example, doc.GetAllocator());
        put(doc, text);
        return RunOnData(Json(doc));
    }

    void ExpectContained(const ReportResult& hostile, const ReportResult& plain,
                         const std::string& text) {
        ASSERT_EQ(plain.rc, 0);
        EXPECT_EQ(hostile.rc, 0);
        EXPECT_EQ(RegionLinesOf(hostile.log), RegionLinesOf(plain.log));
        for (const std::string& line : Lines(hostile.log))
            for (const std::string& piece : PiecesAfterBreaks(text))
                EXPECT_NE(line.rfind(piece, 0), 0u) << "a report line starts with text of the run: " << line;
    }

    Document m_example;
};

TEST_F(HostileText, TextsOfTheRunStayInsideTheirLines) {
    for (const TextSlot& slot : kSlots) {
        SCOPED_TRACE(slot.where);
        const ReportResult plain = RunWith(slot.put, "plain text");
        const ReportResult hostile = RunWith(slot.put, kHostile);
        ExpectContained(hostile, plain, kHostile);
        if (slot.shown) {
            EXPECT_NE(hostile.log.find(kShown), std::string::npos) << "the text is not shown whole";
        }
    }
}

TEST_F(HostileText, MarkupInTheDateStaysInsideItsLine) {
    const auto put = Member("case", "date");
    const ReportResult plain = RunWith(put, "Wed Nov 12 14:03:51 2025");
    const ReportResult hostile = RunWith(put, kHostileDate);
    ExpectContained(hostile, plain, kHostileDate);
    EXPECT_NE(hostile.log.find(" Execution Date  : " + kHostileDate), std::string::npos);
}

// Every control character a text may hold but the tab and the line breaks:
// C0 from U+0001, DEL, and C1 (two bytes in UTF-8), each after a letter.
struct Controls {
    std::string raw, shown;
};
std::vector<Controls> ControlCharacters() {
    std::vector<Controls> controls;
    const auto hex = [](unsigned byte) {
        char text[5];
        std::snprintf(text, sizeof text, "\\x%02X", byte);
        return std::string(text);
    };
    for (unsigned c = 1; c < 0x20; ++c)
        if (c != '\t' && c != '\n' && c != '\r') controls.push_back({std::string(1, static_cast<char>(c)), hex(c)});
    controls.push_back({"\x7F", hex(0x7F)});
    for (unsigned c = 0x80; c < 0xA0; ++c)
        controls.push_back({std::string{'\xC2', static_cast<char>(c)}, hex(0xC2) + hex(c)});
    return controls;
}

// Whether the text holds a byte that a terminal would take as a control:
// C0 but the tab and the line break, DEL, or a C1 control in UTF-8.
bool HoldsControl(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) return true;
    }
    return false;
}

TEST_F(HostileText, EveryControlCharacterOfATextIsShownAsItsHexBytes) {
    std::string raw = "[", shown = "[";
    for (const Controls& control : ControlCharacters()) {
        raw += "a" + control.raw;
        shown += "a" + control.shown;
    }
    for (const TextSlot& slot : kSlots) {
        if (!slot.shown) continue;
        SCOPED_TRACE(slot.where);
        const ReportResult report = RunWith(slot.put, raw + "]");
        ASSERT_EQ(report.rc, 0) << report.stderrText;
        EXPECT_NE(report.log.find(shown + "]"), std::string::npos) << "the text is not shown in hex";
        EXPECT_FALSE(HoldsControl(report.log)) << "a control character reached the report";
    }
}

TEST_F(HostileText, EveryControlCharacterOfTheDateIsShownAsItsHexBytes) {
    const auto put = Member("case", "date");
    const std::vector<Controls> controls = ControlCharacters();
    for (std::size_t first = 0; first < controls.size();) {
        std::string raw, shown;  // as many as the date's 30 bytes hold
        for (; first < controls.size() && raw.size() + controls[first].raw.size() <= 30; ++first) {
            raw += controls[first].raw;
            shown += controls[first].shown;
        }
        SCOPED_TRACE(shown);
        const ReportResult report = RunWith(put, raw);
        ASSERT_EQ(report.rc, 0) << report.stderrText;
        EXPECT_NE(report.log.find(" Execution Date  : " + shown + "\n"), std::string::npos);
        EXPECT_FALSE(HoldsControl(report.log));
    }
}

TEST_F(HostileText, NamesWithLineBreaksOrMarkupAreRefusedWithTheirPath) {
    for (const NameSlot& slot : kNameSlots) {
        SCOPED_TRACE(slot.path);
        ASSERT_EQ(RunWith(slot.put, "PLAIN_NAME").rc, 0);
        for (const std::string& name : kHostileNames) {
            SCOPED_TRACE(name);
            const ReportResult refused = RunWith(slot.put, name);
            EXPECT_EQ(refused.rc, -1);
            EXPECT_NE(refused.stderrText.find(std::string(": ") + slot.path + ": "), std::string::npos)
                << refused.stderrText;
            EXPECT_FALSE(refused.logWritten) << "a report was written from a refused file";
        }
    }
}

}  // namespace
