// How the project's programs read their command lines: CLI11 declares and
// parses the options; this sets it up the same way for every program and
// says its verdicts in one line in the project's words.
//
// Each program keeps its own help text (the manual page is made from it):
// CLI11's help flag only asks for it.  An option's type name says what its
// value is ("a number"), for the message of a missing value.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace command_line {

// -h and --help ask for help, an option given twice keeps its last value,
// and neither help nor error text is written by CLI11 itself.
void Prepare(CLI::App& app);

// Checks of an option's value.  A value that fails is the usage error
// "PROBLEM 'VALUE'".
CLI::Validator WholeNumber(long long lowest, long long highest, const std::string& problem);
CLI::Validator OneOf(const std::vector<std::string>& words, const std::string& problem);

// The problem of a failed parse of `app` (given argc and argv), in one
// line: "unknown option '--bogus'", "unknown command 'x'", "unexpected
// argument 'x'", "option '-j' needs a number", "no report given" (an
// operand named "report" missing), or a check's own message.  An argument
// that fits nowhere is named before anything else is found missing.
std::string UsageProblem(const CLI::ParseError& error, const CLI::App& app, int argc, char** argv);

// The subcommand of `app` that was given, or `app` itself when none was.
const CLI::App& GivenCommand(const CLI::App& app);

}  // namespace command_line
