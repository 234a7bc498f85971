// --iteration N|initial, the one way every command picks an iteration block.
#include <charconv>
#include <string>

#include "commands.h"
#include "report_reader.h"

std::optional<int> ReadIterationNumber(std::string_view text) {
    if (text == "initial") return tarnview::kInitialIteration;
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        number < tarnview::kInitialIteration)
        return std::nullopt;
    return number;
}

CLI::Option* AddIterationOption(CLI::App& command, std::optional<int>& iteration) {
    const auto read = [&iteration](const std::string& text) {
        iteration = ReadIterationNumber(text);
        if (!iteration)
            throw CLI::ValidationError("--iteration takes a number from -1 or 'initial', not '" + text + "'");
    };
    return command.add_option_function<std::string>("--iteration", read)->type_name("a number or 'initial'");
}
