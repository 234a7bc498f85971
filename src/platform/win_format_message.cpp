// FormatMessageA for message texts given as strings, and LocalFree for the
// buffers it allocates.
//
// Inserts are %1 to %99, each optionally followed by a printf conversion
// between exclamation marks (%1!s! when none is given).  The arguments are
// taken from the va_list in the order 1, 2, ..., N, where N is the highest
// insert number in the text, each read with the type its conversion asks for;
// numbers the text does not use are skipped as pointer-sized values.  An
// insert may appear several times and in any order.  Inserted text is never
// scanned for inserts again.

#include "platform/win_api.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int kMaxInsert = 99;
// Width and precision of a conversion have at most this many digits, which
// keeps a single insert's output to a sane size.
constexpr int kMaxFieldDigits = 4;

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

// Turns the conversion between the exclamation marks into a printf format
// and the type of argument it consumes.  Conversions that would need further
// arguments (*), wide text, or write through the argument (n) are refused.
bool ParseConversion(const std::string& spec, std::string* format, ArgKind* kind) {
    std::size_t i = 0;
    const std::size_t n = spec.size();
    std::string out = "%";
    while (i < n && std::strchr("-+ #0", spec[i]) != nullptr) out += spec[i++];
    int digits = 0;
    while (i < n && IsDigit(spec[i])) {
        out += spec[i++];
        if (++digits > kMaxFieldDigits) return false;
    }
    if (i < n && spec[i] == '.') {
        out += spec[i++];
        digits = 0;
        while (i < n && IsDigit(spec[i])) {
            out += spec[i++];
            if (++digits > kMaxFieldDigits) return false;
        }
    }
    // Length modifiers as the Windows C runtime reads them: long is 32 bits.
    enum { kNoLength, kShort, kChar, kLong, kLong64, kInt32 } length = kNoLength;
    if (spec.compare(i, 2, "hh") == 0) {
        length = kChar;
        i += 2;
    } else if (spec.compare(i, 2, "ll") == 0) {
        length = kLong64;
        i += 2;
    } else if (spec.compare(i, 3, "I64") == 0) {
        length = kLong64;
        i += 3;
    } else if (spec.compare(i, 3, "I32") == 0) {
        length = kInt32;
        i += 3;
    } else if (i < n && spec[i] == 'h') {
        length = kShort;
        i += 1;
    } else if (i < n && spec[i] == 'l') {
        length = kLong;
        i += 1;
    }
    if (i + 1 != n) return false;  // exactly one conversion character left
    const char conversion = spec[i];
    if (std::strchr("diuxXo", conversion) != nullptr) {
        if (length == kLong64) {
            out += "ll";
            *kind = ArgKind::kLongLong;
        } else {
            if (length == kShort) out += "h";
            if (length == kChar) out += "hh";
            *kind = ArgKind::kInt;
        }
    } else if (conversion == 'c') {
        if (length != kNoLength && length != kShort) return false;
        *kind = ArgKind::kInt;
    } else if (conversion == 's') {
        if (length != kNoLength && length != kShort) return false;
        *kind = ArgKind::kString;
    } else if (std::strchr("fFeEgGaA", conversion) != nullptr) {
        if (length != kNoLength && length != kLong) return false;
        *kind = ArgKind::kDouble;
    } else if (conversion == 'p') {
        if (length != kNoLength) return false;
        *kind = ArgKind::kPointer;
    } else {
        return false;
    }
    out += conversion;
    *format = out;
    return true;
}

void AppendLiteral(std::vector<Piece>& pieces, const char* text, std::size_t length) {
    if (pieces.empty() || pieces.back().insert != 0) pieces.emplace_back();
    pieces.back().text.append(text, length);
}

// Splits the message text into literal runs and inserts, resolving the
// escapes.  Returns false on a malformed insert.
bool ParseMessage(const char* source, bool ignore_inserts, std::vector<Piece>& pieces) {
    const char* p = source;
    while (*p != '\0') {
        if (*p != '%') {
            const char* run = p;
            while (*p != '\0' && *p != '%') ++p;
            AppendLiteral(pieces, run, static_cast<std::size_t>(p - run));
            continue;
        }
        const char* start = p++;
        const char c = *p;
        if (c >= '1' && c <= '9') {
            int number = c - '0';
            ++p;
            if (IsDigit(*p)) number = number * 10 + (*p++ - '0');
            std::string spec = "s";
            const char* close = nullptr;
            if (*p == '!') {
                close = std::strchr(p + 1, '!');
                if (close == nullptr) {
                    if (!ignore_inserts) return false;
                } else {
                    spec.assign(p + 1, close);
                }
            }
            if (ignore_inserts) {
                const char* end = close != nullptr ? close + 1 : p;
                AppendLiteral(pieces, start, static_cast<std::size_t>(end - start));
                p = end;
                continue;
            }
            Piece piece;
            piece.insert = number;
            if (!ParseConversion(spec, &piece.text, &piece.kind)) return false;
            pieces.push_back(piece);
            if (close != nullptr) p = close + 1;
            continue;
        }
        switch (c) {
            case '\0':  // a lone percent sign at the end
                if (!ignore_inserts) return false;
                AppendLiteral(pieces, "%", 1);
                break;
            case '0':  // end of the message, no line break
                return true;
            case 'n':
                AppendLiteral(pieces, "\r\n", 2);
                ++p;
                break;
            case 'r':
                AppendLiteral(pieces, "\r", 1);
                ++p;
                break;
            case 't':
                AppendLiteral(pieces, "\t", 1);
                ++p;
                break;
            case 'b':
                AppendLiteral(pieces, " ", 1);
                ++p;
                break;
            default:  // %%, %space, %., %! and any other character: the character itself
                AppendLiteral(pieces, &c, 1);
                ++p;
                break;
        }
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
bool Prepare(const char* source, bool ignore_inserts, va_list* arguments, Expansion& expansion) {
    std::vector<Piece>& pieces = expansion.pieces;
    if (!ParseMessage(source, ignore_inserts, pieces)) return false;

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

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD /*dwMessageId*/, DWORD /*dwLanguageId*/,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    const bool allocate = (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    char** allocated = allocate ? reinterpret_cast<char**>(lpBuffer) : nullptr;
    if (lpBuffer == nullptr) return 0;
    if (allocate) {
        *allocated = nullptr;
    } else if (nSize > 0) {
        lpBuffer[0] = '\0';
    }

    // Only messages given as strings, without line wrapping: line breaks in
    // the text are copied as they are.
    const DWORD supported = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_STRING;
    if ((dwFlags & ~supported) != 0 || !(dwFlags & FORMAT_MESSAGE_FROM_STRING) || lpSource == nullptr) return 0;

    Expansion expansion;
    long long length = 0;
    try {
        if (!Prepare(static_cast<const char*>(lpSource), (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0,
                     Arguments, expansion))
            return 0;
        length = ExpandedLength(expansion);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (length <= 0 || length >= 0xFFFFFFFFLL) return 0;
    const std::size_t size = static_cast<std::size_t>(length) + 1;

    if (allocate) {
        char* buffer = static_cast<char*>(std::malloc(size > nSize ? size : nSize));
        if (buffer == nullptr) return 0;
        WriteExpansion(expansion, buffer, size);
        *allocated = buffer;
        return static_cast<DWORD>(length);
    }
    if (size > nSize) return 0;  // does not fit with its terminator
    WriteExpansion(expansion, lpBuffer, size);
    return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}
