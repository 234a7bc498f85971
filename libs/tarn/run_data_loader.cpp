// Reading a run-data file: its size, its bytes, the byte order mark, NUL
// bytes, and the positions and messages of syntax errors.  The walk along
// the format is in run_data_walker.cpp.
#include "run_data_loader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "run_data_numbers.h"
#include "run_data_walker.h"

namespace tarn {
namespace {

LoadError Error(std::string place, std::string problem) {
    return LoadError{std::string(), std::move(place), std::move(problem)};
}

// Line and column (from 1, in bytes) of the byte after the bytes counted.
class LineCounter {
public:
    void Count(const char* bytes, size_t size) {
        const char* end = bytes + size;
        for (const char* at = bytes; (at = static_cast<const char*>(std::memchr(at, '\n', end - at)));
             ++at) {
            ++m_line;
            m_lineStart = m_counted + static_cast<size_t>(at - bytes) + 1;
        }
        m_counted += size;
    }
    std::string Position() const {
        return "line " + std::to_string(m_line) + ", column " +
               std::to_string(m_counted - m_lineStart + 1);
    }

private:
    size_t m_line = 1, m_lineStart = 0, m_counted = 0;
};

// Text parsed in place ends with NULs: one ends the text for the reader,
// and three more cover the reader's check of a UTF-8 sequence cut off by
// the end of the text, which takes all the sequence's bytes before it
// looks at them.
constexpr size_t kEndBytes = 4;

std::unique_ptr<char[]> TextBuffer(size_t size) {
    std::unique_ptr<char[]> buffer(new char[size + kEndBytes]);
    std::memset(buffer.get() + size, '\0', kEndBytes);
    return buffer;
}

// The position of offset in the original bytes of the text, which parsing
// in place has rewritten.
using PositionOf = std::function<std::string(size_t offset)>;

std::string PositionInText(const char* text, size_t offset) {
    LineCounter counter;
    counter.Count(text, offset);
    return counter.Position();
}

// The same, reading the file again.
std::string PositionInFile(const char* path, size_t offset) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(size_t{1} << 16);
    LineCounter counter;
    size_t counted = 0;
    while (counted < offset && in) {
        in.read(chunk.data(), static_cast<std::streamsize>(std::min(chunk.size(), offset - counted)));
        const size_t got = static_cast<size_t>(in.gcount());
        counter.Count(chunk.data(), got);
        counted += got;
    }
    if (counted < offset) return "byte " + std::to_string(offset + 1);
    return counter.Position();
}

const char* SyntaxProblem(rapidjson::ParseErrorCode code) {
    switch (code) {
        case rapidjson::kParseErrorDocumentEmpty: return "the file holds no JSON document";
        case rapidjson::kParseErrorDocumentRootNotSingular:
            return "unexpected text after the end of the JSON document";
        case rapidjson::kParseErrorValueInvalid: return "invalid JSON value";
        case rapidjson::kParseErrorObjectMissName: return "a key in double quotes expected";
        case rapidjson::kParseErrorObjectMissColon: return "':' expected after the key";
        case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket: return "',' or '}' expected";
        case rapidjson::kParseErrorArrayMissCommaOrSquareBracket: return "',' or ']' expected";
        case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
            return "invalid \\u escape in a text";
        case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
            return "invalid surrogate pair in a text";
        case rapidjson::kParseErrorStringEscapeInvalid: return "invalid escape in a text";
        case rapidjson::kParseErrorStringMissQuotationMark:
            return "a text is not closed, or holds a control character";
        case rapidjson::kParseErrorStringInvalidEncoding: return "the text is not valid UTF-8";
        case rapidjson::kParseErrorNumberTooBig: return "the number is out of range";
        case rapidjson::kParseErrorNumberMissFraction:
            return "digits expected after the decimal point";
        case rapidjson::kParseErrorNumberMissExponent: return "digits expected in the exponent";
        default: return "syntax error";
    }
}

// The number at the start of text (bytes the reader has not rewritten).
std::string_view NumberAt(const char* text, size_t size) {
    size_t end = 0;
    while (end < size && text[end] != '\0' && std::strchr("0123456789+-.eE", text[end]) != nullptr)
        ++end;
    return std::string_view(text, end);
}

// NaN and infinity as literals (NaN, -Infinity, inf, ...), which JSON does
// not have, where the reader found no value at offset: the message says
// what to write instead.  No error when the text there is something else.
LoadError NonFiniteLiteralError(const char* text, size_t size, size_t offset,
                                const PositionOf& position) {
    // The reader has taken a minus sign as a number's.
    const size_t begin = offset > 0 && text[offset - 1] == '-' ? offset - 1 : offset;
    const size_t word = text[offset] == '+' ? offset + 1 : offset;
    size_t end = word;
    std::string name;
    for (; end < size && std::isalpha(static_cast<unsigned char>(text[end])); ++end)
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(text[end])));
    const char* instead = name == "nan" ? "nan"
                          : name != "inf" && name != "infinity" ? nullptr
                          : text[begin] == '-' ? "-inf"
                                               : "inf";
    if (instead == nullptr) return LoadError();
    return Error(position(begin),
                 std::string(text + begin, end - begin) + " is not a JSON value: write the text \"" +
                     instead +
                     "\" instead (the texts \"inf\", \"-inf\" and \"nan\" stand for the "
                     "non-finite numbers)");
}

// The error for text the reader refused at offset (from the start of text,
// which is size bytes long and parsed in place).
LoadError SyntaxError(const WalkResult& walk, const char* text, size_t size, size_t offset,
                      const PositionOf& position) {
    if (walk.syntaxError == rapidjson::kParseErrorDocumentEmpty)
        return Error("", "the file holds no JSON document");
    if (offset >= size)
        return Error(position(size), "the file ends before the JSON document is complete");
    // A number too large for the reader: the message the walker gives for
    // a number too large for a double.
    if (walk.syntaxError == rapidjson::kParseErrorNumberTooBig && !walk.numberPath.empty())
        return Error(walk.numberPath,
                     "the number " + ShownNumber(NumberAt(text + offset, size - offset)) +
                         " is out of range");
    if (walk.syntaxError == rapidjson::kParseErrorValueInvalid) {
        LoadError literal = NonFiniteLiteralError(text, size, offset, position);
        if (literal.Failed()) return literal;
    }
    return Error(position(offset), SyntaxProblem(walk.syntaxError));
}

// text holds size bytes in a TextBuffer.  The error names no file yet.
LoadError ParseInPlace(char* text, size_t size, const PositionOf& position, LoadedRun& run) {
    if (size == 0) return Error("", "the file is empty");
    // The reader takes a NUL byte for the end of the input; JSON allows none.
    if (const void* nul = std::memchr(text, '\0', size)) {
        const size_t offset = static_cast<size_t>(static_cast<const char*>(nul) - text);
        return Error(PositionInText(text, offset),
                     "the file contains a NUL byte (it is not a JSON text)");
    }
    // A byte order mark is allowed and ignored.
    const size_t start = size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    const WalkResult walk = WalkRunData(text + start, run);
    if (!walk.problem.empty()) return Error(walk.place, walk.problem);
    if (walk.syntaxError == rapidjson::kParseErrorNone) return LoadError();
    const size_t offset = std::min(start + walk.offset, size);
    return SyntaxError(walk, text, size, offset, position);
}

// The whole file in buffer (a TextBuffer); an error, naming no file yet,
// when it cannot be had.
LoadError ReadFile(const char* path, std::unique_ptr<char[]>& buffer, size_t& size) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        LoadError error = Error("", "cannot open the file");
        error.openError = errno;
        return error;
    }
    // A directory opens on some systems but cannot be read.
    in.peek();
    if (in.bad()) return Error("", "cannot read the file");
    in.clear();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return Error("", "cannot read the file");
    if (static_cast<std::uint64_t>(end) > kMaxRunDataFileBytes)
        return Error("", rules::FileTooLarge(static_cast<std::uint64_t>(end)));
    size = static_cast<size_t>(end);
    in.seekg(0, std::ios::beg);
    // Not initialised first: every byte is read into it.
    buffer = TextBuffer(size);
    in.read(buffer.get(), static_cast<std::streamsize>(size));
    if (static_cast<size_t>(in.gcount()) != size) return Error("", "cannot read the file");
    return LoadError();
}

// The error, now naming the file.
LoadError InFile(LoadError error, std::string fileName) {
    if (error.Failed()) error.file = std::move(fileName);
    return error;
}

}  // namespace

LoadError ParseRunData(const char* text, size_t size, const std::string& fileName,
                       LoadedRun& run) {
    const std::unique_ptr<char[]> buffer = TextBuffer(size);
    std::memcpy(buffer.get(), text, size);
    const auto position = [text](size_t offset) { return PositionInText(text, offset); };
    return InFile(ParseInPlace(buffer.get(), size, position, run), fileName);
}

LoadError LoadRunData(const char* path, LoadedRun& run) {
    if (path == nullptr) return InFile(Error("", "no file name given"), "(no file name)");
    const std::string fileName = veldxmps::OneLine(path);
    if (*path == '\0') return InFile(Error("", "no file name given"), fileName);
    std::unique_ptr<char[]> buffer;
    size_t size = 0;
    if (LoadError error = ReadFile(path, buffer, size); error.Failed())
        return InFile(std::move(error), fileName);
    const auto position = [path](size_t offset) { return PositionInFile(path, offset); };
    return InFile(ParseInPlace(buffer.get(), size, position, run), fileName);
}

}  // namespace tarn
