#include "command_line.h"

#include <algorithm>
#include <charconv>

namespace command_line {

namespace {

CLI::Validator Check(std::function<bool(const std::string&)> accepts, const std::string& problem) {
    // An empty description keeps the check out of the option's type name.
    return CLI::Validator(
        [accepts, problem](std::string& value) { return accepts(value) ? std::string() : problem + " '" + value + "'"; },
        "");
}

// CLI11 words its errors "NAME: PROBLEM" and "NAME is required".
std::string Before(const std::string& text, const std::string& separator) {
    const std::size_t at = text.find(separator);
    return at == std::string::npos ? std::string() : text.substr(0, at);
}

std::string After(const std::string& text, const std::string& separator) {
    const std::size_t at = text.find(separator);
    return at == std::string::npos ? text : text.substr(at + separator.size());
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

bool HasCommands(const CLI::App& app);

std::string ExtraArgumentProblem(const std::string& argument, const CLI::App& app) {
    if (argument.size() > 1 && argument[0] == '-') return "unknown option " + Quoted(argument);
    if (&GivenCommand(app) == &app && HasCommands(app)) return "unknown command " + Quoted(argument);
    return "unexpected argument " + Quoted(argument);
}

// The option as the user wrote it ("-j" rather than "--jobs"): the last
// argument that names it.
std::string WrittenName(const CLI::Option& option, const std::string& name, int argc, char** argv) {
    for (int i = argc - 1; i > 0; --i) {
        if (option.check_name(argv[i])) return argv[i];
    }
    return name;
}

std::string MissingValueProblem(const CLI::ParseError& error, const CLI::App& command, int argc, char** argv) {
    const std::string name = Before(error.what(), ": ");
    const CLI::Option* option = command.get_option_no_throw(name);
    if (option == nullptr) return error.what();
    return "option " + Quoted(WrittenName(*option, name, argc, argv)) + " needs " + option->get_type_name();
}

bool HasCommands(const CLI::App& app) { return !app.get_subcommands({}).empty(); }

std::string MissingProblem(const CLI::ParseError& error, const CLI::App& app) {
    const CLI::App& command = GivenCommand(app);
    const std::string name = Before(error.what(), " is required");
    if (command.get_option_no_throw(name) != nullptr) return "no " + name + " given";
    return &command == &app && HasCommands(app) ? "no command given" : error.what();
}

}  // namespace

void Prepare(CLI::App& app) {
    app.set_help_flag("-h,--help");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::Validator WholeNumber(long long lowest, long long highest, const std::string& problem) {
    return Check(
        [lowest, highest](const std::string& value) {
            long long number = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            return error == std::errc() && end == value.data() + value.size() && number >= lowest && number <= highest;
        },
        problem);
}

CLI::Validator OneOf(const std::vector<std::string>& words, const std::string& problem) {
    return Check([words](const std::string& value) { return std::ranges::find(words, value) != words.end(); },
                 problem);
}

const CLI::App& GivenCommand(const CLI::App& app) {
    const std::vector<CLI::App*> given = app.get_subcommands();
    return given.empty() ? app : *given.front();
}

std::string UsageProblem(const CLI::ParseError& error, const CLI::App& app, int argc, char** argv) {
    const std::vector<std::string> extra = app.remaining(true);
    if (!extra.empty()) return ExtraArgumentProblem(extra.front(), app);
    const CLI::App& command = GivenCommand(app);
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) return After(error.what(), ": ");
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        return MissingValueProblem(error, command, argc, argv);
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) return MissingProblem(error, app);
    return error.what();
}

}  // namespace command_line
