// The rules of a run-data file's content beyond each value's kind, and the
// words that tell of a broken one.  The loader checks a file by them and the
// run-data writers check each call by them, so that both refuse the same
// things in the same words.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn::rules {

inline constexpr std::string_view kFormatName = "tarn-vdr";
// The versions read; writers write the oldest that holds what they were
// given.  Version 2 added the equations' algebraic forms.
inline constexpr std::int64_t kOldestVersion = 1;
inline constexpr std::int64_t kVersion = 2;
inline constexpr std::int64_t kFormVersion = 2;

// The largest run-data file the loader takes; a larger one is refused before
// it is read.  The whole file is held in memory while it is parsed, so the
// limit is lower where the address space is 32 bits wide.
inline constexpr std::uint64_t kMaxFileBytes =
    sizeof(void*) >= 8 ? (std::uint64_t{1} << 30) : (std::uint64_t{256} << 20);

inline constexpr size_t kDateMaxBytes = 30;
inline constexpr size_t kMostInfeasibleMaxBytes = 199;
inline constexpr size_t kFormMaxBytes = 65536;

struct IntegerRange {
    std::int64_t min, max;
    constexpr bool Holds(std::int64_t value) const { return value >= min && value <= max; }
};
inline constexpr IntegerRange kInt16{-32768, 32767};
inline constexpr IntegerRange kInt32{INT_MIN, INT_MAX};

inline constexpr const char* kNulInText = "a text may not contain a NUL character (\\u0000)";
inline constexpr const char* kLoneSurrogate =
    "a text may not contain an unpaired surrogate escape (\\udc00 to \\udfff)";
inline constexpr const char* kInvalidUtf8 = "the text is not valid UTF-8";
inline constexpr const char* kEmptyOptionName = "an option name may not be empty";
inline constexpr const char* kNulInOptionName =
    "an option name may not contain a NUL character (\\u0000)";
inline constexpr const char* kKeyTwice = "the key is given twice";
inline constexpr const char* kEmptyVariableName = "a variable name may not be empty";
inline constexpr const char* kEmptyEquationName = "an equation name may not be empty";

// A text from the file, quoted for a message, with control characters
// escaped and cut to a readable length.
std::string QuoteText(std::string_view text);

// Whether a C1 control character (U+0080 to U+009F) starts at text[at].
bool IsC1ControlAt(std::string_view text, size_t at);

// What is wrong with a name of the model, a variable or an equation as an
// identifier (a control character, or '#' or '?' first); empty when nothing.
std::string NameProblem(std::string_view name);

// "the date is 31 bytes long, ...", "the date may not contain a line
// break"; empty when the date is fine.
std::string DateProblem(std::string_view date);

// What is wrong with an equation's algebraic form (too long, or a control
// character, which would break the report's line); empty when nothing.
std::string FormProblem(std::string_view form);

// The most infeasible row's name: empty when it fits.
std::string MostInfeasibleProblem(std::string_view name);

std::string IntegerOutOfRange(std::string_view shown, IntegerRange range);

// "equation 3 does not exist (the model has 2 equations)"; without the count
// while the model's items are not all known.
std::string NoSuchItem(bool equation, std::int64_t number, size_t count, bool countKnown);

// "the name "X" is already the name of model.variables[0]".
std::string NameTaken(std::string_view name, std::string_view list, size_t earlier);

// "equation 1 and variable 2 already have a coefficient in model.matrix[1]".
std::string CoefficientTwice(std::int64_t equation, std::int64_t variable, size_t earlier);

// "1 triples, 2 expected (one per variable)".
std::string TripleCount(size_t given, size_t expected, bool variables);

// "iteration 2 found where iteration 1 was expected (...)".
std::string IterationOutOfOrder(std::int64_t found, size_t expected);

// "the file is N bytes long; run-data files of at most M bytes are read".
std::string FileTooLarge(std::uint64_t bytes);

std::string FormatProblem(std::string_view format);
std::string VersionProblem(std::string_view shown);
// A form in a file of a version before forms.
std::string FormNeedsVersion(std::int64_t version);
// Linearised coefficients in a file of a version before them.
std::string LinearisedNeedsVersion(std::int64_t version);

// "equation 1 and variable 3 have no coefficient in model.matrix".
std::string NoCoefficientToMark(std::int64_t equation, std::int64_t variable);
// "equation 1 and variable 3 are already marked in model.linearised[0]".
std::string MarkedTwice(std::int64_t equation, std::int64_t variable, size_t earlier);

// Option names that can follow a '.' in a path.
bool IsPlainWord(std::string_view key);

// The path of an option: PARENT.NAME for a plain word, else PARENT["NAME"].
std::string OptionPath(std::string_view parent, std::string_view name);

}  // namespace tarn::rules
