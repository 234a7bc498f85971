// The environment, paths and files on POSIX systems.

#include "platform/platform.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

std::optional<std::string> EnvironmentValue(const char* name) {
    if (name == nullptr || *name == '\0') return std::nullopt;
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

// A drive is a letter and a colon at the very start, as a path written for
// Windows has it; the directory runs up to and including the last separator,
// a slash or a backslash.
std::string DirectoryOf(const char* path) {
    if (path == nullptr) return std::string();
    const char* rest = path;
    if (std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':') rest += 2;
    const char* lastSeparator = nullptr;
    for (const char* at = rest; *at != '\0'; ++at)
        if (*at == '/' || *at == '\\') lastSeparator = at;
    const char* end = lastSeparator != nullptr ? lastSeparator + 1 : rest;
    return std::string(path, static_cast<std::size_t>(end - path));
}

ReadFile OpenForReading(const char* path, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    reason = EINVAL;
    if (path == nullptr) return nullptr;
    errno = 0;
    ReadFile file(std::fopen(path, "rb"));
    if (!file) {
        reason = errno != 0 ? errno : EINVAL;
        return nullptr;
    }
    // A directory opens for reading here but not on Windows; it is no file.
    struct stat status;
    if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) {
        reason = EISDIR;
        return nullptr;
    }
    reason = 0;
    return file;
}

}  // namespace platform
