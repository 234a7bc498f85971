// FormatMessageA with messages given as strings.

#include "platform/win_api.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

namespace {

struct Result {
    DWORD length;
    std::string text;  // the buffer's text, up to the terminator
};

// Formats into a caller's buffer of `size` characters.
Result FormatInto(DWORD flags, DWORD size, const char* source, ...) {
    char buffer[4096];
    std::memset(buffer, 'x', sizeof buffer);
    va_list args;
    va_start(args, source);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | flags, source, 0, 0, buffer, size, &args);
    va_end(args);
    buffer[sizeof buffer - 1] = '\0';
    return {length, size > 0 ? std::string(buffer) : std::string()};
}

// Formats as the report does (200-character buffer); "<failed>" when the call fails.
std::string Format(const char* source, ...) {
    char buffer[200];
    va_list args;
    va_start(args, source);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING, source, 0, 0, buffer, sizeof buffer, &args);
    va_end(args);
    if (length == 0) return "<failed>";
    EXPECT_EQ(length, std::strlen(buffer));
    return buffer;
}

TEST(FormatMessage, InsertsWithConversions) {
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

TEST(FormatMessage, ArgumentsAreTakenInInsertOrderWithTheirTypes) {
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
    char buffer[50];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "%1", 0, 0, buffer, 50, nullptr), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "plain", 0, 0, buffer, 50, nullptr), 5u);
    EXPECT_STREQ(buffer, "plain");
}

TEST(FormatMessage, EscapesAndLineBreaks) {
    EXPECT_EQ(Format("a%nb%rc%td"), "a\r\nb\rc\td");
    EXPECT_EQ(Format("100%% %.%!% x"), "100% .! x");
    EXPECT_EQ(Format("cut%0 here"), "cut");
    EXPECT_EQ(Format("%q"), "q");  // any other character stands for itself
    EXPECT_EQ(Format("line\nnext\r\n"), "line\nnext\r\n");  // copied as they are
    EXPECT_EQ(Format("trailing blanks   "), "trailing blanks   ");
    EXPECT_EQ(Format("ends in %"), "<failed>");

    // Inserts are copied unchanged when ignored; escapes still apply.
    Result r = FormatInto(FORMAT_MESSAGE_IGNORE_INSERTS, 100, "%1!03d! and %2%n%%");
    EXPECT_EQ(r.text, "%1!03d! and %2\r\n%");
    EXPECT_EQ(r.length, r.text.size());
}

TEST(FormatMessage, MalformedInsertsFail) {
    for (const char* source : {"%1!d", "%1!!", "%1!n!", "%1!*d!", "%1!ls!", "%1!S!", "%1!q!", "%1!99999d!",
                               "%1!d d!"}) {
        Result r = FormatInto(0, 100, source, 1, 2, 3);
        EXPECT_EQ(r.length, 0u) << source;
        EXPECT_EQ(r.text, "") << source;
    }
}

TEST(FormatMessage, OutputBuffers) {
    // Caller's buffer: the text and its terminator must fit.
    Result fits = FormatInto(0, 7, "%1!s!", "abcdef");
    EXPECT_EQ(fits.length, 6u);
    EXPECT_EQ(fits.text, "abcdef");
    Result too_small = FormatInto(0, 6, "%1!s!", "abcdef");
    EXPECT_EQ(too_small.length, 0u);
    EXPECT_EQ(too_small.text, "");

    // Allocated buffer, big enough for a long insert.
    const std::string long_text(1000, 'n');
    char* allocated = reinterpret_cast<char*>(0x1);
    const char* source = "<%1!s!>";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, 0, 0,
                                  reinterpret_cast<LPSTR>(&allocated), 0, nullptr);
    EXPECT_EQ(length, 0u);  // no arguments
    EXPECT_EQ(allocated, nullptr);
    auto format_allocated = [&](const char* text, ...) {
        va_list args;
        va_start(args, text);
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, text, 0, 0,
                                 reinterpret_cast<LPSTR>(&allocated), 0, &args);
        va_end(args);
        return n;
    };
    length = format_allocated(source, long_text.c_str());
    ASSERT_NE(allocated, nullptr);
    EXPECT_EQ(length, 1002u);
    EXPECT_EQ(std::string(allocated), "<" + long_text + ">");
    EXPECT_EQ(LocalFree(allocated), nullptr);

    // An empty result counts as failure and allocates nothing.
    allocated = reinterpret_cast<char*>(0x1);
    EXPECT_EQ(format_allocated("%0never"), 0u);
    EXPECT_EQ(allocated, nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(FormatMessage, RefusesWhatItDoesNotOffer) {
    char buffer[50] = "unchanged";
    va_list* no_args = nullptr;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, 50, no_args), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE, "x", 0, 0, buffer, 50,
                             no_args), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY, "x", 0, 0, buffer, 50,
                             no_args), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | 80, "x", 0, 0, buffer, 50, no_args), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, nullptr, 0, 0, buffer, 50, no_args), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 0, 0, nullptr, 50, no_args), 0u);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 0, 0, buffer, 0, no_args), 0u);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
