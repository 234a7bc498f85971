// The viewer's UTF-8 rule swept over every class of byte sequence, and what
// the text shown on a terminal keeps of each: no byte of a C1 control
// (0x80 to 0x9F) outside a well-formed character.
#include "utf8.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "../utf8_sweep.h"
#include "visible.h"

namespace {

// A byte from 0x80 to 0x9F that is no part of a well-formed character,
// which a terminal may take for a C1 control.
bool HoldsLoneC1Byte(const std::string& shown) {
    for (std::size_t at = 0; at < shown.size();) {
        const auto byte = static_cast<unsigned char>(shown[at]);
        const std::size_t length = utf8_sweep::AnnouncedLength(byte);
        if (length > 0 && utf8_sweep::ReferenceValid(std::string_view(shown).substr(at, length))) {
            at += length;
            continue;
        }
        if (byte >= 0x80 && byte <= 0x9F) return true;
        ++at;
    }
    return false;
}

TEST(ViewerUtf8, EveryByteClassJudgedAsTheReferenceJudgesIt) {
    EXPECT_EQ(utf8_sweep::Misjudged([](const std::string& bytes) { return tarnview::IsUtf8(bytes); }),
              std::vector<std::string>{});
}

TEST(ViewerUtf8, ShownTextKeepsNoC1ByteOutsideACharacter) {
    int wrong = 0;
    for (const utf8_sweep::Case& c : utf8_sweep::Cases()) {
        const std::string shown = Visible(c.bytes);
        if (HoldsLoneC1Byte(shown) && ++wrong <= 10) {
            ADD_FAILURE() << utf8_sweep::Shown(c.bytes) << " shown as " << utf8_sweep::Shown(shown);
        }
        if (c.valid && c.bytes.find_first_of(std::string("\x00\x7F\xC2", 3)) == std::string::npos &&
            std::all_of(c.bytes.begin(), c.bytes.end(), [](char b) { return static_cast<unsigned char>(b) >= 0x20; })) {
            EXPECT_EQ(shown, c.bytes) << "a character that is no control is shown as it is";
        }
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
