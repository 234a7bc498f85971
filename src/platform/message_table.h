// The report's message table as linked into the library on systems without
// string resources.  The table is generated at build time from
// resources/messages.rc, the one source of the texts; LoadMessageText reads it.
#pragma once

namespace platform {

struct MessageText {
    const char* text;
    unsigned length;  // characters, without terminator
};

// The message with string ID id, or nullptr when the table has none.
const MessageText* FindMessage(unsigned id);

}  // namespace platform
