// Walking a run-data text along the format.
//
// The text is parsed in place with RapidJSON's SAX reader, numbers delivered
// as their text.  The walker follows the format's description (see
// run_data_format.cpp) value by value, checks each one's kind and hands it
// to its store action; no document tree is built.  The reader recurses once per
// level of nesting, but only after the walker has accepted the level, and
// the format is shallow; after the first problem, the look at the top level
// stops the reader a bounded number of levels deep.
#include "run_data_walker.h"

#include <rapidjson/reader.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "run_data_builder.h"
#include "run_data_format.h"
#include "run_data_numbers.h"
#include "throwing_allocator.h"

namespace tarn {
namespace {

constexpr std::int64_t kMaxArrayEntries = INT_MAX - 1;
using rules::kLoneSurrogate;
using rules::kNulInText;

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Text: return "a text";
        case Kind::Number: return "a number";
        case Kind::Integer: return "an integer";
        case Kind::Bool: return "true or false";
        case Kind::BoolOrInteger: return "true, false or an integer";
        case Kind::TextOrNumber: return "a text or a number";
        case Kind::Object: return "an object";
        case Kind::Array: return "an array";
    }
    return "a value";
}

// A lone low surrogate escape (\udc00 to \udfff) reaches the walker as the
// bytes ED B0..BF xx, which are not UTF-8.  Raw bytes of that form are
// refused by the reader's encoding check and a lone high surrogate by its
// escape check, so only such an escape can put them into a text.
bool HasLoneSurrogate(std::string_view text) {
    for (size_t i = text.find('\xED'); i != std::string_view::npos; i = text.find('\xED', i + 1)) {
        if (i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0) return true;
    }
    return false;
}

bool HasNul(std::string_view text) {
    return std::memchr(text.data(), '\0', text.size()) != nullptr;
}

// The document along the format, up to its first problem.  Each event
// returns false at a problem, which Problem() then tells, at the path
// ProblemPath().
class FormatWalker {
public:
    explicit FormatWalker(RunBuilder& builder) : m_builder(builder) { m_stack.reserve(8); }

    bool Null() { return BeginValue() && Mismatch("null"); }
    bool Bool(bool value);
    bool Number(std::string_view text);
    bool String(std::string_view text);
    bool Key(std::string_view key);
    bool StartObject();
    bool EndObject() { return CheckRequired() && Close(); }
    bool StartArray();
    bool EndArray() { return CheckLength() && Close(); }
    bool Unexpected() { return Fail(ValuePath(), "unexpected value"); }

    const std::string& Problem() const { return m_problem; }
    const std::string& ProblemPath() const { return m_problemPath; }
    // The path of the value the reader was about to deliver when it stopped.
    std::string PendingValuePath();

private:
    struct Frame {
        Frame(const Container& shape, bool array) : container(&shape), isArray(array) {}
        const Container* container;
        bool isArray;
        std::uint64_t seen = 0;         // object: members given, by position
        const Field* field = nullptr;   // object: the member at hand
        std::int64_t count = 0;         // array: elements so far
        std::string_view key;           // options: the name at hand
    };

    bool BeginValue();
    const Field* Expected() const;
    bool Open(const Container& container, bool isArray);
    bool Close();
    bool CheckRequired();
    bool CheckLength();
    bool OptionKey(Frame& top, std::string_view key);
    bool StoreNumber(const Field& field, std::string_view text);
    bool StoreInteger(const Field& field, std::string_view text);
    bool Store(const Field& field, Value value);
    bool Mismatch(const std::string& found);
    bool Fail(const std::string& path, const std::string& problem);
    bool FailFromBuilder(const std::string& pathAtHand);

    std::string Path(size_t depth) const;
    std::string ValuePath() const { return Path(m_stack.size()); }
    std::string ContainerPath() const { return Path(m_stack.empty() ? 0 : m_stack.size() - 1); }

    RunBuilder& m_builder;
    std::vector<Frame> m_stack;
    std::string m_problemPath, m_problem;
};

bool FormatWalker::Bool(bool value) {
    if (!BeginValue()) return false;
    const Field* field = Expected();
    if (field == nullptr || (field->kind != Kind::Bool && field->kind != Kind::BoolOrInteger))
        return Mismatch(value ? "true" : "false");
    return Store(*field, Value::Of({}, 0, value ? 1 : 0, value));
}

bool FormatWalker::Number(std::string_view text) {
    if (!BeginValue()) return false;
    const Field* field = Expected();
    if (field == nullptr) return Mismatch(ShownNumber(text));
    switch (field->kind) {
        case Kind::Number:
        case Kind::TextOrNumber: return StoreNumber(*field, text);
        case Kind::Integer:
        case Kind::BoolOrInteger: return StoreInteger(*field, text);
        default: return Mismatch(ShownNumber(text));
    }
}

bool FormatWalker::String(std::string_view text) {
    if (!BeginValue()) return false;
    const Field* field = Expected();
    if (field == nullptr) return Mismatch("the text " + QuoteText(text));
    if (HasNul(text)) return Fail(ValuePath(), kNulInText);
    if (HasLoneSurrogate(text)) return Fail(ValuePath(), kLoneSurrogate);
    if (field->kind == Kind::Text || field->kind == Kind::TextOrNumber)
        return Store(*field, Value::Of(text));
    if (field->kind != Kind::Number) return Mismatch("the text " + QuoteText(text));
    double value = 0;
    if (!ParseNonFiniteText(text, value))
        return Fail(ValuePath(), "a number expected, found the text " + QuoteText(text) +
                                     " (the texts \"inf\", \"+inf\", \"-inf\" and \"nan\" stand "
                                     "for the non-finite numbers)");
    return Store(*field, Value::Of(text, value));
}

bool FormatWalker::Key(std::string_view key) {
    Frame& top = m_stack.back();
    top.field = nullptr;
    top.key = {};
    if (HasLoneSurrogate(key)) return Fail(ContainerPath(), kLoneSurrogate);
    if (top.container->shape == Shape::Options) return OptionKey(top, key);
    const auto& fields = top.container->fields;
    const auto found = std::find_if(fields.begin(), fields.end(),
                                    [key](const Field& field) { return field.name == key; });
    if (found == fields.end()) return Fail(ContainerPath(), "unknown key " + QuoteText(key));
    top.field = &*found;
    const std::uint64_t bit = std::uint64_t{1} << (found - fields.begin());
    if (top.seen & bit) return Fail(ValuePath(), rules::kKeyTwice);
    top.seen |= bit;
    return true;
}

// A name given twice is found when its value is stored.
bool FormatWalker::OptionKey(Frame& top, std::string_view key) {
    top.key = key;
    top.field = &top.container->fields[0];
    if (key.empty()) return Fail(ValuePath(), rules::kEmptyOptionName);
    if (HasNul(key)) return Fail(ValuePath(), rules::kNulInOptionName);
    return true;
}

bool FormatWalker::StartObject() {
    if (m_stack.empty()) return Open(RunDataFormat(), false);
    if (!BeginValue()) return false;
    const Field* field = Expected();
    if (field == nullptr || field->kind != Kind::Object) return Mismatch("an object");
    return Open(*field->content, false);
}

bool FormatWalker::StartArray() {
    if (m_stack.empty()) return Mismatch("an array");
    if (!BeginValue()) return false;
    const Field* field = Expected();
    if (field == nullptr || field->kind != Kind::Array) return Mismatch("an array");
    return Open(*field->content, true);
}

// Arrays count their elements as each begins, so that paths name the
// element at hand.
bool FormatWalker::BeginValue() {
    if (m_stack.empty() || !m_stack.back().isArray) return true;
    Frame& array = m_stack.back();
    if (array.count >= kMaxArrayEntries) return Fail(ContainerPath(), "too many entries");
    ++array.count;
    return true;
}

// The member or element at hand; null when none may come.
const Field* FormatWalker::Expected() const {
    if (m_stack.empty()) return nullptr;
    const Frame& top = m_stack.back();
    if (!top.isArray) return top.field;
    const auto& fields = top.container->fields;
    if (top.container->shape != Shape::Tuple) return &fields[0];
    return &fields[std::min(static_cast<size_t>(top.count - 1), fields.size() - 1)];
}

bool FormatWalker::Open(const Container& container, bool isArray) {
    if (container.open != nullptr) container.open(m_builder);
    m_stack.emplace_back(container, isArray);
    return true;
}

bool FormatWalker::Close() {
    const Container& container = *m_stack.back().container;
    if (container.close != nullptr) {
        container.close(m_builder);
        if (m_builder.HasProblem()) return FailFromBuilder(ContainerPath());
    }
    m_stack.pop_back();
    return true;
}

bool FormatWalker::CheckRequired() {
    const Frame& top = m_stack.back();
    const auto& fields = top.container->fields;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].required && !(top.seen & (std::uint64_t{1} << i)))
            return Fail(ContainerPath(), "the required key \"" + std::string(fields[i].name) +
                                             "\" is missing");
    }
    return true;
}

bool FormatWalker::CheckLength() {
    const Frame& top = m_stack.back();
    const Container& container = *top.container;
    if (container.shape != Shape::Tuple || top.count == static_cast<std::int64_t>(container.fields.size()))
        return true;
    return Fail(ContainerPath(), std::to_string(top.count) + " " +
                                     std::string(container.tupleElements) + ", " +
                                     std::to_string(container.fields.size()) + " expected");
}

bool FormatWalker::StoreNumber(const Field& field, std::string_view text) {
    double value = 0;
    if (!ParseDouble(text, value))
        return Fail(ValuePath(), "the number " + ShownNumber(text) + " is out of range");
    return Store(field, Value::Of(text, value));
}

bool FormatWalker::StoreInteger(const Field& field, std::string_view text) {
    std::int64_t value = 0;
    switch (ParseInteger(text, field.min, field.max, value)) {
        case IntegerText::Valid: return Store(field, Value::Of(text, 0, value));
        case IntegerText::NotAnInteger:
            return Fail(ValuePath(), "an integer expected, found " + ShownNumber(text));
        case IntegerText::OutOfRange: break;
    }
    return Fail(ValuePath(), rules::IntegerOutOfRange(ShownNumber(text), {field.min, field.max}));
}

// Elements past a tuple's length are checked but not kept: the length is
// the problem, reported at the tuple's end.
bool FormatWalker::Store(const Field& field, Value value) {
    const Frame& top = m_stack.back();
    if (top.isArray && top.count > static_cast<std::int64_t>(top.container->fields.size()) &&
        top.container->shape == Shape::Tuple)
        return true;
    value.optionName = top.key;
    field.store(m_builder, value);
    return !m_builder.HasProblem() || FailFromBuilder(ValuePath());
}

// found: the value, or for an object or an array what it is.
bool FormatWalker::Mismatch(const std::string& found) {
    if (m_stack.empty()) return Fail("", "the top level must be an object, not " + found);
    const Field* field = Expected();
    if (field == nullptr) return Fail(ValuePath(), "unexpected " + found);
    return Fail(ValuePath(), std::string(KindName(field->kind)) + " expected, found " + found);
}

bool FormatWalker::Fail(const std::string& path, const std::string& problem) {
    m_problemPath = path;
    m_problem = problem;
    return false;
}

// The builder names the path itself where the problem is not at hand.
bool FormatWalker::FailFromBuilder(const std::string& pathAtHand) {
    return Fail(m_builder.ProblemPath().empty() ? pathAtHand : m_builder.ProblemPath(),
                m_builder.Problem());
}

std::string FormatWalker::Path(size_t depth) const {
    std::string path;
    for (size_t i = 0; i < depth && i < m_stack.size(); ++i) {
        const Frame& frame = m_stack[i];
        const bool options = frame.container->shape == Shape::Options;
        if (frame.isArray || (options && !rules::IsPlainWord(frame.key))) {
            path += '[';
            path += frame.isArray ? std::to_string(frame.count > 0 ? frame.count - 1 : 0)
                                  : QuoteText(frame.key);
            path += ']';
        } else {
            if (!path.empty()) path += '.';
            path += options ? frame.key : frame.field != nullptr ? frame.field->name : "";
        }
    }
    return path;
}

std::string FormatWalker::PendingValuePath() {
    if (m_stack.empty() || !m_stack.back().isArray) return ValuePath();
    ++m_stack.back().count;
    std::string path = ValuePath();
    --m_stack.back().count;
    return path;
}

// After the first problem, the rest of the top level is looked at for the
// format and the version only.  Nesting is followed to a bounded depth.
class TopLevelLook {
public:
    explicit TopLevelLook(FormatAndVersion& topLevel) : m_topLevel(topLevel) {}

    bool Key(std::string_view key, int depth) {
        if (depth == 1)
            m_member = key == "format" ? Member::Format : key == "version" ? Member::Version : Member::Other;
        return More(depth);
    }
    bool Text(std::string_view text, int depth) {
        if (m_member == Member::Format) m_topLevel.SeeFormat(text);
        return Other(depth);
    }
    bool Number(std::string_view text, int depth) {
        if (m_member == Member::Version) m_topLevel.SeeVersionText(text);
        return Other(depth);
    }
    bool Other(int depth) {
        m_member = Member::Other;
        return More(depth);
    }
    bool More(int depth) const { return !m_topLevel.Settled() && depth <= kMaxDepth; }

private:
    static constexpr int kMaxDepth = 64;
    enum class Member { Other, Format, Version };
    FormatAndVersion& m_topLevel;
    Member m_member = Member::Other;
};

// The reader's events: to the walker until its first problem, then to the
// look at the top level.
class Events {
public:
    Events(FormatWalker& walker, TopLevelLook& look) : m_walker(walker), m_look(look) {}

    bool Looking() const { return m_looking; }

    bool Null() { return m_looking ? m_look.Other(m_depth) : Walked(m_walker.Null()); }
    bool Bool(bool b) { return m_looking ? m_look.Other(m_depth) : Walked(m_walker.Bool(b)); }
    // Numbers arrive as text (kParseNumbersAsStringsFlag); these never come.
    bool Int(int) { return Unexpected(); }
    bool Uint(unsigned) { return Unexpected(); }
    bool Int64(std::int64_t) { return Unexpected(); }
    bool Uint64(std::uint64_t) { return Unexpected(); }
    bool Double(double) { return Unexpected(); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view number(text, length);
        return m_looking ? m_look.Number(number, m_depth) : Walked(m_walker.Number(number));
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view string(text, length);
        return m_looking ? m_look.Text(string, m_depth) : Walked(m_walker.String(string));
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        const std::string_view key(text, length);
        return m_looking ? m_look.Key(key, m_depth) : Walked(m_walker.Key(key));
    }
    bool StartObject() { return Opened(m_looking || m_walker.StartObject()); }
    bool EndObject(rapidjson::SizeType) { return Closed(m_looking || m_walker.EndObject()); }
    bool StartArray() { return Opened(m_looking || m_walker.StartArray()); }
    bool EndArray(rapidjson::SizeType) { return Closed(m_looking || m_walker.EndArray()); }

private:
    bool Unexpected() { return m_looking ? m_look.Other(m_depth) : Walked(m_walker.Unexpected()); }
    bool Opened(bool walked) {
        ++m_depth;
        return m_looking ? m_look.Other(m_depth) : Walked(walked);
    }
    bool Closed(bool walked) {
        --m_depth;
        return m_looking ? m_look.More(m_depth) : Walked(walked);
    }
    bool Walked(bool walked) {
        if (walked) return true;
        m_looking = true;
        return m_look.Other(m_depth);
    }

    FormatWalker& m_walker;
    TopLevelLook& m_look;
    bool m_looking = false;
    int m_depth = 0;  // of the container at hand; the top level is 1
};

}  // namespace

WalkResult WalkRunData(char* text, LoadedRun& run) {
    RunBuilder builder(run);
    FormatWalker walker(builder);
    TopLevelLook look(builder.TopLevel());
    Events events(walker, look);
    rapidjson::InsituStringStream stream(text);
    ThrowingReader reader;
    constexpr unsigned kFlags = rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag |
                                rapidjson::kParseValidateEncodingFlag;
    const rapidjson::ParseResult parsed = reader.Parse<kFlags>(stream, events);

    WalkResult result;
    if (events.Looking()) {
        const FormatAndVersion& topLevel = builder.TopLevel();
        if (!topLevel.FormatProblem().empty()) {
            result.place = "format";
            result.problem = topLevel.FormatProblem();
        } else if (!topLevel.VersionProblem().empty()) {
            result.place = "version";
            result.problem = topLevel.VersionProblem();
        } else {
            result.place = walker.ProblemPath();
            result.problem = walker.Problem();
        }
    } else if (parsed.IsError()) {
        result.syntaxError = parsed.Code();
        result.offset = parsed.Offset();
        if (parsed.Code() == rapidjson::kParseErrorNumberTooBig) result.numberPath = walker.PendingValuePath();
    } else if (!builder.Finish()) {
        result.place = builder.ProblemPath();
        result.problem = builder.Problem();
    }
    return result;
}

}  // namespace tarn
