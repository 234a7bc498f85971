// Every class of byte sequence a UTF-8 check must judge, each with the
// verdict of a reference that decodes a character by its bit pattern and
// encodes the code point again: every byte alone; every lead byte with
// every second byte and the bytes that would complete it (overlong forms,
// surrogates, code points above U+10FFFF, stray continuation bytes); and
// characters of each length cut short at every byte, at the text's end and
// before more text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace utf8_sweep {

struct Case {
    std::string bytes;
    bool valid;
};

inline std::string Encode(char32_t point) {
    std::string out;
    const auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
    if (point < 0x80) {
        put(point);
    } else if (point < 0x800) {
        put(0xC0 | (point >> 6));
        put(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        put(0xE0 | (point >> 12));
        put(0x80 | ((point >> 6) & 0x3F));
        put(0x80 | (point & 0x3F));
    } else {
        put(0xF0 | (point >> 18));
        put(0x80 | ((point >> 12) & 0x3F));
        put(0x80 | ((point >> 6) & 0x3F));
        put(0x80 | (point & 0x3F));
    }
    return out;
}

// The length a lead byte announces by its high bits; 0 for a continuation
// byte or one of five or more leading ones.
inline std::size_t AnnouncedLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead >> 5) == 0x6) return 2;
    if ((lead >> 4) == 0xE) return 3;
    if ((lead >> 3) == 0x1E) return 4;
    return 0;
}

inline bool ReferenceValid(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = AnnouncedLength(static_cast<unsigned char>(text[at]));
        if (length == 0 || at + length > text.size()) return false;
        char32_t point = static_cast<unsigned char>(text[at]) & (length == 1 ? 0x7Fu : 0xFFu >> (length + 1));
        for (std::size_t i = 1; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(text[at + i]);
            if ((byte >> 6) != 0x2) return false;
            point = (point << 6) | (byte & 0x3F);
        }
        if (point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        if (Encode(point) != text.substr(at, length)) return false;  // overlong
        at += length;
    }
    return true;
}

inline std::vector<Case> Cases() {
    std::vector<std::string> texts;
    for (int lead = 0; lead < 256; ++lead) texts.push_back(std::string(1, static_cast<char>(lead)));
    const char* const tails[] = {"", "\x80", "\x80\x80", "\xBF\xBF", "\x7F", "\xC0\x80"};
    for (int lead = 0x80; lead < 256; ++lead) {
        for (int second = 0; second < 256; ++second) {
            for (const char* tail : tails)
                texts.push_back(std::string{static_cast<char>(lead), static_cast<char>(second)} + tail);
        }
    }
    // Characters at the edges of each length and of the surrogates, whole
    // and cut short at every byte, alone, after a character and before one.
    const char32_t points[] = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFD, 0xFFFF, 0x10000, 0x10FFFF};
    for (const char32_t point : points) {
        const std::string whole = Encode(point);
        for (std::size_t cut = 1; cut <= whole.size(); ++cut) {
            const std::string part = whole.substr(0, cut);
            for (const std::string& before : {std::string(), std::string("a"), Encode(0xE9)}) {
                texts.push_back(before + part);
                texts.push_back(before + part + "a");
                texts.push_back(before + part + Encode(0x10000));
            }
        }
    }
    std::vector<Case> cases;
    cases.reserve(texts.size());
    for (std::string& text : texts) {
        const bool valid = ReferenceValid(text);
        cases.push_back({std::move(text), valid});
    }
    return cases;
}

// The bytes as \xHH, for a failure's message.
inline std::string Shown(std::string_view bytes) {
    std::string shown;
    for (const char c : bytes) {
        shown += "\\x";
        shown += "0123456789ABCDEF"[(static_cast<unsigned char>(c) >> 4) & 0xF];
        shown += "0123456789ABCDEF"[static_cast<unsigned char>(c) & 0xF];
    }
    return shown;
}

// The cases `judge` judges otherwise than the reference (the first ten,
// shown as \xHH): empty when it judges every one alike.
template <typename Judge>
std::vector<std::string> Misjudged(Judge judge) {
    std::vector<std::string> misjudged;
    for (const Case& c : Cases()) {
        if (judge(c.bytes) != c.valid && misjudged.size() < 10) misjudged.push_back(Shown(c.bytes));
    }
    return misjudged;
}

}  // namespace utf8_sweep
