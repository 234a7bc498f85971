// Message texts with inserts, expanded as the report expands them.

#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

// Expands as the report does; "<failed>" when the expansion fails.
std::string Format(const char* source, ...) {
    va_list args;
    va_start(args, source);
    std::size_t length = 12345;
    char* block = platform::ExpandMessage(source, &args, &length);
    va_end(args);
    if (block == nullptr) {
        EXPECT_EQ(length, 0u);
        return "<failed>";
    }
    EXPECT_EQ(length, std::strlen(block));
    std::string text(block);
    platform::ReleaseMessage(block);
    return text;
}

TEST(ExpandMessage, InsertsWithConversions) {
    EXPECT_EQ(Format("Case Number     : %1!03d!", 7), "Case Number     : 007");
    EXPECT_EQ(Format("Case Number     : %1!03d!", 1234), "Case Number     : 1234");
    EXPECT_EQ(Format("%1!03d!", -5), "-05");
    EXPECT_EQ(Format("Model Name      : %1!s!", "PLANT"), "Model Name      : PLANT");
    EXPECT_EQ(Format("[%1]", "default is text"), "[default is text]");
    EXPECT_EQ(Format("%1!-6s!|%1!6s!|", "ab"), "ab    |    ab|");
    EXPECT_EQ(Format("%1!x! %1!X! %1!o! %1!u!", 255), "ff FF 377 255");
    EXPECT_EQ(Format("%1!c!%1!c!", 'A'), "AA");
    EXPECT_EQ(Format("%1!I64d! %2!lld!", 1LL << 40, -(1LL << 33)), "1099511627776 -8589934592");
    EXPECT_EQ(Format("%1!ld!", 12), "12");  // long is 32 bits, passed as int
    EXPECT_EQ(Format("%1!s!", static_cast<const char*>(nullptr)), "(null)");
    // Two-digit insert numbers; a third digit is text.
    EXPECT_EQ(Format("%10%100", "1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"), "tenten0");
}

TEST(ExpandMessage, ArgumentsAreTakenInInsertOrderWithTheirTypes) {
    // Out of order, repeated, and of three types: the arguments are read as
    // 1 (text), 2 (int), 3 (double) whatever order the text uses them in.
    EXPECT_EQ(Format("%3!5.2f!|%1!s!|%2!d!|%1!s!", "x", 42, 3.14159), " 3.14|x|42|x");
    EXPECT_EQ(Format("%2!d! of %1!s!", "eqs", 5), "5 of eqs");
    // An insert the text does not use is skipped.
    EXPECT_EQ(Format("%1!s! %3!s!", "a", "unused", "c"), "a c");
    // Inserted text is not scanned again.
    EXPECT_EQ(Format("<%1!s!> <%2!s!>", "%1!d! %n %0", "b"), "<%1!d! %n %0> <b>");
    // One argument cannot be read as two types.
    EXPECT_EQ(Format("%1!d! %1!s!", 1), "<failed>");
    // Inserts but no arguments.
    std::size_t length = 0;
    EXPECT_EQ(platform::ExpandMessage("%1", nullptr, &length), nullptr);
    char* plain = platform::ExpandMessage("plain", nullptr, &length);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(length, 5u);
    EXPECT_STREQ(plain, "plain");
    platform::ReleaseMessage(plain);
}

TEST(ExpandMessage, EscapesAndLineBreaks) {
    EXPECT_EQ(Format("a%nb%rc%td"), "a\r\nb\rc\td");
    EXPECT_EQ(Format("100%% %.%!% x"), "100% .! x");
    EXPECT_EQ(Format("cut%0 here"), "cut");
    EXPECT_EQ(Format("%q"), "q");  // any other character stands for itself
    EXPECT_EQ(Format("line\nnext\r\n"), "line\nnext\r\n");  // copied as they are
    EXPECT_EQ(Format("trailing blanks   "), "trailing blanks   ");
    EXPECT_EQ(Format("ends in %"), "<failed>");
}

TEST(ExpandMessage, MalformedInsertsFail) {
    for (const char* source : {"%1!d", "%1!!", "%1!n!", "%1!*d!", "%1!ls!", "%1!S!", "%1!q!", "%1!99999d!",
                               "%1!d d!"}) {
        EXPECT_EQ(Format(source, 1, 2, 3), "<failed>") << source;
    }
}

TEST(ExpandMessage, LongInsertsAndEmptyResults) {
    // The block is as long as the expansion, however long an insert is.
    const std::string long_text(1000, 'n');
    EXPECT_EQ(Format("<%1!s!>", long_text.c_str()), "<" + long_text + ">");

    // An empty result counts as failure and allocates nothing.
    EXPECT_EQ(Format("%0never"), "<failed>");
    std::size_t length = 7;
    EXPECT_EQ(platform::ExpandMessage(nullptr, nullptr, &length), nullptr);
    EXPECT_EQ(length, 0u);
    platform::ReleaseMessage(nullptr);
}

}  // namespace
