// The message table as the library loads it: every text of the resource
// script, exact to the blank.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <string>

namespace {

// The texts as the resource script writes them, read here on their own:
// an entry line is the ID, a comma and the text in double quotes, with ""
// for a double quote inside.
std::map<unsigned, std::string> ReadResourceScript() {
    std::ifstream script(TARN_SOURCE_DIR "/resources/messages.rc");
    const std::regex entry(R"re(^\s*([0-9]+)\s*,?\s*"(.*)"\s*$)re");
    std::map<unsigned, std::string> texts;
    std::string line;
    std::smatch match;
    while (std::getline(script, line)) {
        if (!std::regex_match(line, match, entry)) continue;
        std::string text = match[2];
        for (std::size_t at = text.find("\"\""); at != std::string::npos; at = text.find("\"\"", at + 1))
            text.erase(at, 1);
        texts[static_cast<unsigned>(std::stoul(match[1]))] = text;
    }
    return texts;
}

const std::map<unsigned, std::string>& ExpectedTexts() {
    static const std::map<unsigned, std::string> texts = ReadResourceScript();
    return texts;
}

using platform::LoadMessageText;
using platform::ModuleHandle;

ModuleHandle OwnModule() {
    static const int anchor = 0;
    return platform::ModuleOf(&anchor);
}

TEST(MessageTable, EveryTextExactAndNothingElse) {
    ModuleHandle module = OwnModule();
    ASSERT_NE(module, nullptr);
    char buffer[1000];
    for (unsigned id = 0; id <= 1000; ++id) {
        std::memset(buffer, 'x', sizeof buffer);
        int length = LoadMessageText(module, id, buffer, static_cast<int>(sizeof buffer));
        auto expected = ExpectedTexts().find(id);
        if (expected == ExpectedTexts().end()) {
            EXPECT_EQ(length, 0) << "unexpected message " << id << ": " << buffer;
            EXPECT_EQ(buffer[0], '\0') << id;
            continue;
        }
        EXPECT_EQ(std::string(buffer), expected->second) << "message " << id;
        EXPECT_EQ(length, static_cast<int>(expected->second.size())) << "message " << id;
    }
    ASSERT_GT(ExpectedTexts().size(), 60u);  // the script was found and read
    // Every text fits the report's 200-character message buffer.
    for (const auto& [id, text] : ExpectedTexts()) EXPECT_LT(text.size(), 200u) << id;
    EXPECT_EQ(ExpectedTexts().count(153), 0u);
    EXPECT_EQ(ExpectedTexts().count(143), 1u);
    EXPECT_EQ(ExpectedTexts().count(168), 1u);
}

TEST(MessageTable, LoadTruncatesAndRejectsBadArguments) {
    ModuleHandle module = OwnModule();
    char buffer[8];
    // 107 "Model and Options Display": seven characters and the terminator.
    EXPECT_EQ(LoadMessageText(module, 107, buffer, 8), 7);
    EXPECT_STREQ(buffer, "Model a");
    EXPECT_EQ(LoadMessageText(module, 107, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadMessageText(module, 107, buffer, 0), 0);
    EXPECT_EQ(LoadMessageText(module, 107, buffer, -5), 0);
    EXPECT_EQ(LoadMessageText(module, 107, nullptr, 8), 0);
    EXPECT_EQ(LoadMessageText(nullptr, 107, buffer, 8), 0);
    EXPECT_STREQ(buffer, "");

    // The table belongs to this binary only: another module has no strings.
    ModuleHandle other = platform::ModuleOf(reinterpret_cast<const void*>(&std::fclose));
    ASSERT_NE(other, nullptr);
    ASSERT_NE(other, module);
    EXPECT_EQ(LoadMessageText(other, 107, buffer, 8), 0);
}

}  // namespace
