// --iteration N|initial, the one way every command picks an iteration block.
#include <charconv>
#include <string>

#include "commands.h"
#include "report_reader.h"

CLI::Option* AddIterationOption(CLI::App& command, std::optional<int>& iteration) {
    const auto read = [&iteration](const std::string& text) {
        int number = tarnview::kInitialIteration;
        if (text != "initial") {
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
            if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
                number < tarnview::kInitialIteration)
                throw CLI::ValidationError("--iteration takes a number from -1 or 'initial', not '" + text + "'");
        }
        iteration = number;
    };
    return command.add_option_function<std::string>("--iteration", read)->type_name("a number or 'initial'");
}
