// The UTF-8 rule of the libraries and the writer, swept over every class of
// byte sequence; and the run-data loader's JSON reader, which judges the
// texts of a run-data file, judging each the same.
#include "utf8.h"

#include <gtest/gtest.h>
#include <rapidjson/reader.h>

#include "../utf8_sweep.h"

namespace {

// Whether the JSON reader, set up as the loader sets it up, takes the bytes
// as a JSON text.
bool ReaderTakes(const std::string& bytes) {
    const std::string json = "\"" + bytes + "\"";
    rapidjson::StringStream stream(json.c_str());
    rapidjson::BaseReaderHandler<> handler;
    rapidjson::Reader reader;
    return !reader.Parse<rapidjson::kParseValidateEncodingFlag>(stream, handler).IsError();
}

// Bytes that end a JSON text or need an escape in it are another matter.
bool PlainInJson(const std::string& bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\') return false;
    }
    return true;
}

TEST(Utf8, EveryByteClassJudgedAsTheReferenceJudgesIt) {
    EXPECT_EQ(utf8_sweep::Misjudged([](const std::string& bytes) { return utf8::IsValid(bytes); }),
              std::vector<std::string>{});
    for (const utf8_sweep::Case& c : utf8_sweep::Cases()) {
        if (c.valid && !c.bytes.empty()) {
            EXPECT_GT(utf8::SequenceLength(c.bytes), 0u);
        }
    }
}

TEST(Utf8, TheLoadersReaderJudgesAlike) {
    int wrong = 0;
    for (const utf8_sweep::Case& c : utf8_sweep::Cases()) {
        if (!PlainInJson(c.bytes)) continue;
        if (ReaderTakes(c.bytes) != utf8::IsValid(c.bytes) && ++wrong <= 10) {
            ADD_FAILURE() << utf8_sweep::Shown(c.bytes) << " taken by the reader: " << ReaderTakes(c.bytes);
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
