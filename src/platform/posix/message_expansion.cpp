// Message texts with inserts, expanded as the Windows message formatter
// expands texts given as strings.
//
// Inserts are %1 to %99, each optionally followed by a printf conversion
// between exclamation marks (%1!s! when none is given).  The arguments are
// taken from the va_list in the order 1, 2, ..., N, where N is the highest
// insert number in the text, each read with the type its conversion asks for;
// numbers the text does not use are skipped as pointer-sized values.  An
// insert may appear several times and in any order.  Inserted text is never
// scanned for inserts again.

#include "format/printf_conversion.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace platform {
namespace {

using printf_format::Conversion;
using printf_format::LengthModifier;

constexpr int kMaxInsert = 99;
// Width and precision of a conversion have at most this many digits, which
// keeps a single insert's output to a sane size.
constexpr int kMaxFieldDigits = 4;
constexpr std::size_t kSpecSize = 48;

enum class ArgKind { kUnused, kInt, kLongLong, kDouble, kString, kPointer };

// One piece of the parsed text: a literal run (insert == 0) or an insert.
struct Piece {
    std::string text;  // the literal text, or the printf conversion of the insert
    int insert = 0;
    ArgKind kind = ArgKind::kUnused;
};

union ArgValue {
    long long integer;
    double real;
    const void* pointer;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsOneOf(char c, const char* set) { return std::strchr(set, c) != nullptr; }

// The argument an integer conversion reads and the length it is printed
// with: long is 32 bits, as the Windows C runtime reads it.
ArgKind IntegerArgument(LengthModifier length, const char** lengthText) {
    switch (length) {
        case LengthModifier::kLongLong: *lengthText = "ll"; return ArgKind::kLongLong;
        case LengthModifier::kShort: *lengthText = "h"; return ArgKind::kInt;
        case LengthModifier::kChar: *lengthText = "hh"; return ArgKind::kInt;
        default: return ArgKind::kInt;
    }
}

// The argument a conversion reads; kUnused for a conversion an insert may
// not have (wide text, a length that does not fit the conversion).
ArgKind ArgumentOf(const Conversion& conversion, const char** lengthText) {
    *lengthText = "";
    const LengthModifier length = conversion.length;
    const bool noneOrShort = length == LengthModifier::kNone || length == LengthModifier::kShort;
    const char c = conversion.specifier;
    if (IsOneOf(c, "diuxXo")) return IntegerArgument(length, lengthText);
    if (c == 'c') return noneOrShort ? ArgKind::kInt : ArgKind::kUnused;
    if (c == 's') return noneOrShort ? ArgKind::kString : ArgKind::kUnused;
    if (IsOneOf(c, "fFeEgGaA"))
        return length == LengthModifier::kNone || length == LengthModifier::kLong ? ArgKind::kDouble
                                                                                 : ArgKind::kUnused;
    if (c == 'p') return length == LengthModifier::kNone ? ArgKind::kPointer : ArgKind::kUnused;
    return ArgKind::kUnused;
}

// Turns the conversion between the exclamation marks into a printf format
// and the type of argument it consumes.  Conversions that would need further
// arguments (*), wide text, or write through the argument (n) are refused.
bool ReadInsertConversion(const std::string& spec, Piece& piece) {
    Conversion conversion;
    const char* end = printf_format::ParseConversion(spec.c_str(), conversion);
    if (end != spec.c_str() + spec.size()) return false;  // exactly one conversion
    if (conversion.widthDigits > kMaxFieldDigits || conversion.precisionDigits > kMaxFieldDigits)
        return false;
    const char* lengthText = "";
    piece.kind = ArgumentOf(conversion, &lengthText);
    if (piece.kind == ArgKind::kUnused) return false;
    char format[kSpecSize];
    piece.text.assign(format, printf_format::WriteConversion(conversion, lengthText, format, sizeof format));
    return true;
}

void AppendLiteral(std::vector<Piece>& pieces, const char* text, std::size_t length) {
    if (pieces.empty() || pieces.back().insert != 0) pieces.emplace_back();
    pieces.back().text.append(text, length);
}

// Reads the insert at `p` (its number's first digit); returns the character
// after it, or null when it is malformed.
const char* ReadInsert(const char* p, std::vector<Piece>& pieces) {
    Piece piece;
    piece.insert = *p++ - '0';
    if (IsDigit(*p)) piece.insert = piece.insert * 10 + (*p++ - '0');
    std::string spec = "s";
    if (*p == '!') {
        const char* close = std::strchr(p + 1, '!');
        if (close == nullptr) return nullptr;
        spec.assign(p + 1, close);
        p = close + 1;
    }
    if (!ReadInsertConversion(spec, piece)) return nullptr;
    pieces.push_back(std::move(piece));
    return p;
}

// The text an escape "%c" stands for.
const char* EscapeText(char c) {
    switch (c) {
        case 'n': return "\r\n";
        case 'r': return "\r";
        case 't': return "\t";
        case 'b': return " ";
        default: return nullptr;  // the character itself
    }
}

// Splits the message text into literal runs and inserts, resolving the
// escapes.  Returns false on a malformed insert.
bool ParseMessage(const char* source, std::vector<Piece>& pieces) {
    const char* p = source;
    while (*p != '\0') {
        if (*p != '%') {
            const char* run = p;
            while (*p != '\0' && *p != '%') ++p;
            AppendLiteral(pieces, run, static_cast<std::size_t>(p - run));
            continue;
        }
        const char c = *++p;
        if (c >= '1' && c <= '9') {
            p = ReadInsert(p, pieces);
            if (p == nullptr) return false;
            continue;
        }
        if (c == '\0') return false;  // a lone percent sign at the end
        if (c == '0') return true;    // end of the message, no line break
        const char* escape = EscapeText(c);
        if (escape != nullptr)
            AppendLiteral(pieces, escape, std::strlen(escape));
        else  // %%, %space, %., %! and any other character: the character itself
            AppendLiteral(pieces, &c, 1);
        ++p;
    }
    return true;
}

// A parsed message with the values of its inserts.
struct Expansion {
    std::vector<Piece> pieces;
    ArgValue values[kMaxInsert + 1] = {};
};

// Parses the message and reads its arguments; false on a malformed message
// or missing arguments.
bool Prepare(const char* source, va_list* arguments, Expansion& expansion) {
    std::vector<Piece>& pieces = expansion.pieces;
    if (!ParseMessage(source, pieces)) return false;

    // The type of each argument, from the conversions that use it.
    ArgKind kinds[kMaxInsert + 1] = {};
    int highest = 0;
    for (const Piece& piece : pieces) {
        if (piece.insert == 0) continue;
        ArgKind& kind = kinds[piece.insert];
        if (kind != ArgKind::kUnused && kind != piece.kind) return false;  // one argument, two types
        kind = piece.kind;
        if (piece.insert > highest) highest = piece.insert;
    }
    if (highest > 0 && arguments == nullptr) return false;

    ArgValue* values = expansion.values;
    for (int i = 1; i <= highest; ++i) {
        switch (kinds[i]) {
            case ArgKind::kInt: values[i].integer = va_arg(*arguments, int); break;
            case ArgKind::kLongLong: values[i].integer = va_arg(*arguments, long long); break;
            case ArgKind::kDouble: values[i].real = va_arg(*arguments, double); break;
            case ArgKind::kString:
            case ArgKind::kPointer:
            case ArgKind::kUnused: values[i].pointer = va_arg(*arguments, const void*); break;
        }
    }
    return true;
}

// Formats one insert as snprintf does into `buffer` of `size` characters
// (null and 0 to measure it); its length, or -1 when it cannot be formatted.
int FormatInsert(const Piece& piece, const ArgValue& value, char* buffer, std::size_t size) {
    const char* format = piece.text.c_str();
    switch (piece.kind) {
        case ArgKind::kInt: return std::snprintf(buffer, size, format, static_cast<int>(value.integer));
        case ArgKind::kLongLong: return std::snprintf(buffer, size, format, value.integer);
        case ArgKind::kDouble: return std::snprintf(buffer, size, format, value.real);
        case ArgKind::kString: {
            const char* text = static_cast<const char*>(value.pointer);
            return std::snprintf(buffer, size, format, text != nullptr ? text : "(null)");
        }
        case ArgKind::kPointer: return std::snprintf(buffer, size, format, value.pointer);
        case ArgKind::kUnused: break;
    }
    return -1;
}

// The length of the expanded message, measured without writing it; -1 when
// an insert cannot be formatted.
long long ExpandedLength(const Expansion& expansion) {
    long long length = 0;
    for (const Piece& piece : expansion.pieces) {
        if (piece.insert == 0) {
            length += static_cast<long long>(piece.text.size());
            continue;
        }
        const int insert = FormatInsert(piece, expansion.values[piece.insert], nullptr, 0);
        if (insert < 0) return -1;
        length += insert;
    }
    return length;
}

// Writes the expanded message, measured by ExpandedLength, and its
// terminator into `buffer`, which holds at least that length + 1.  The
// message goes straight to its buffer: a long insert is written once.
void WriteExpansion(const Expansion& expansion, char* buffer, std::size_t size) {
    char* at = buffer;
    *at = '\0';
    for (const Piece& piece : expansion.pieces) {
        const std::size_t room = size - static_cast<std::size_t>(at - buffer);
        if (piece.insert == 0) {
            std::memcpy(at, piece.text.data(), piece.text.size());
            at += piece.text.size();
            *at = '\0';
            continue;
        }
        at += FormatInsert(piece, expansion.values[piece.insert], at, room);
    }
}

}  // namespace

char* ExpandMessage(const char* text, va_list* inserts, std::size_t* length) {
    if (length != nullptr) *length = 0;
    if (text == nullptr || length == nullptr) return nullptr;
    Expansion expansion;
    long long measured = 0;
    try {
        if (!Prepare(text, inserts, expansion)) return nullptr;
        measured = ExpandedLength(expansion);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (measured <= 0 || measured >= 0xFFFFFFFFLL) return nullptr;
    const std::size_t size = static_cast<std::size_t>(measured) + 1;
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) return nullptr;
    WriteExpansion(expansion, block, size);
    *length = static_cast<std::size_t>(measured);
    return block;
}

void ReleaseMessage(char* block) { std::free(block); }

}  // namespace platform
