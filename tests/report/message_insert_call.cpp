// One call of a message with a text insert, built twice: with a text, which
// must compile, and with a number (MESSAGE_INSERT=3.0), which must not.
#include <sstream>

#include "output/report_writer.h"

std::size_t WriteModelName() {
    std::ostringstream out;
    ReportWriter writer(out, nullptr);
    return writer.Message(kMsgModelName, MESSAGE_INSERT).size();
}
