// A message of the table named together with the inserts a call gives it.
// The kinds of a message's inserts come from the table itself (generated
// from messages.rc), and a call whose inserts are not those kinds does not
// compile.
#pragma once

#include <type_traits>

#include "message_ids.h"
#include "message_inserts.h"

namespace message_table {

// The kind letter of one insert: 's' a text, 'd' an int, '?' anything else
// (which no message takes).
template <typename Insert>
consteval char KindOf() {
    if constexpr (std::is_same_v<Insert, int>) return 'd';
    if constexpr (std::is_same_v<Insert, const char*> || std::is_same_v<Insert, char*>) return 's';
    return '?';
}

consteval bool SameKinds(const char* wanted, const char* given) {
    if (wanted == nullptr) return false;
    while (*wanted != '\0' && *wanted == *given) ++wanted, ++given;
    return *wanted == *given;
}

// Never defined: a call of it in a constant evaluation stops the compile,
// and the compiler names it in its error.
void the_inserts_given_are_not_those_the_message_takes();

}  // namespace message_table

// Message `id`, taking exactly `Inserts`.  Made only from a constant id, at
// compile time.
template <typename... Inserts>
class MessageOf {
public:
    consteval MessageOf(MessageId id) : m_id(id) {
        const char given[] = {message_table::KindOf<Inserts>()..., '\0'};
        if (!message_table::SameKinds(message_table::InsertKinds(id), given))
            message_table::the_inserts_given_are_not_those_the_message_takes();
    }
    constexpr unsigned Id() const { return m_id; }

private:
    unsigned m_id;
};
