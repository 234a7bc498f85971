// --iteration N|initial, the one way every command picks an iteration block.
#include <string>

#include "commands.h"
#include "report_reader.h"
#include "shown_text.h"


CLI::Option* AddIterationOption(CLI::App& command, std::optional<int>& iteration) {
    const auto read = [&iteration](const std::string& text) {
        iteration = ReadIterationNumber(text);
        if (!iteration)
            throw CLI::ValidationError("--iteration takes a number from -1 or 'initial', not '" + text + "'");
    };
    return command.add_option_function<std::string>("--iteration", read)->type_name("a number or 'initial'");
}
