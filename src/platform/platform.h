// What the report asks of the system it runs on: its own module and the
// message table in it, the environment, paths and files.  The report calls
// these and nothing of the system directly; posix/ implements them on Linux
// and win32/ on Windows.
#pragma once

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// A loaded library or program, as the system identifies it; null for none.
using ModuleHandle = const void*;

// The module that holds `address` (an object or function inside it); null
// when there is none.
ModuleHandle ModuleOf(const void* address);

// Copies message `id` of `module`'s message table into `buffer` of `size`
// characters, cut to size - 1 and terminated.  Returns the characters
// copied; 0 when the module holds no such message.
int LoadMessageText(ModuleHandle module, unsigned id, char* buffer, int size);

// Expands the inserts of a message text: "%1" to "%99", each optionally with
// a printf conversion between exclamation marks ("%1!03d!"; "%1!s!" when none
// is given), read from `inserts` in the order of their numbers; and the
// escapes "%n", "%r", "%t", "%b", "%0" and "%" before any other character.
// Returns the expansion, with its length in *length, in a block to be
// released with ReleaseMessage; null when the text is malformed, expands to
// nothing, or memory runs out.
char* ExpandMessage(const char* text, va_list* inserts, std::size_t* length);
void ReleaseMessage(char* block);

// The value of environment variable `name`, whatever its length; nothing
// when it is not set (an empty value may also read as not set).
std::optional<std::string> EnvironmentValue(const char* name);

// The drive and the directory of `path`, joined, the directory keeping its
// trailing separator: "runs/" for "runs/case42", "" for a bare name.
std::string DirectoryOf(const char* path);

struct ClosesFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ReadFile = std::unique_ptr<std::FILE, ClosesFile>;

// Opens an existing file for reading, in binary mode; null when it cannot be
// opened or is a directory, with the reason as a C errno value in *error
// (ENOENT when there is no such file; 0 when it opened).
ReadFile OpenForReading(const char* path, int* error = nullptr);

}  // namespace platform
