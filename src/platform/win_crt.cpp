// The environment lookup and the C runtime's checked functions that the
// report uses, with the Windows results and error codes.

#include "platform/win_api.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    if (lpName == nullptr || *lpName == '\0') return 0;
    const char* value = std::getenv(lpName);
    if (value == nullptr) return 0;
    const std::size_t length = std::strlen(value);
    if (length >= 0xFFFFFFFFu) return 0;
    if (lpBuffer != nullptr && length < nSize) {
        std::memcpy(lpBuffer, value, length + 1);
        return static_cast<DWORD>(length);
    }
    // Too small: the size needed, terminator included.  The buffer is left
    // holding an empty string rather than whatever was in it.
    if (lpBuffer != nullptr && nSize > 0) lpBuffer[0] = '\0';
    return static_cast<DWORD>(length + 1);
}

namespace {

struct Component {
    char* buffer;
    std::size_t size;
    const char* text;
    std::size_t length;
};

}  // namespace

errno_t _splitpath_s(const char* path, char* drive, size_t driveNumberOfElements, char* dir,
                     size_t dirNumberOfElements, char* fname, size_t nameNumberOfElements, char* ext,
                     size_t extNumberOfElements) {
    Component parts[4] = {{drive, driveNumberOfElements, nullptr, 0},
                          {dir, dirNumberOfElements, nullptr, 0},
                          {fname, nameNumberOfElements, nullptr, 0},
                          {ext, extNumberOfElements, nullptr, 0}};
    auto clear_all = [&parts]() {
        for (Component& part : parts)
            if (part.buffer != nullptr && part.size > 0) part.buffer[0] = '\0';
    };
    // A component is either wanted (buffer and size) or not (null and 0).
    bool consistent = true;
    for (const Component& part : parts)
        if ((part.buffer == nullptr) != (part.size == 0)) consistent = false;
    if (path == nullptr || !consistent) {
        clear_all();
        return EINVAL;
    }

    const char* p = path;
    // Drive: a letter and a colon at the very start.
    parts[0].text = p;
    if (std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        parts[0].length = 2;
        p += 2;
    }
    // Directory: up to and including the last separator.
    const char* last_separator = nullptr;
    for (const char* q = p; *q != '\0'; ++q)
        if (*q == '/' || *q == '\\') last_separator = q;
    parts[1].text = p;
    if (last_separator != nullptr) {
        parts[1].length = static_cast<std::size_t>(last_separator + 1 - p);
        p = last_separator + 1;
    }
    // File name and extension: split at the last period of the rest.
    const char* last_period = std::strrchr(p, '.');
    const char* end = p + std::strlen(p);
    if (last_period == nullptr) last_period = end;
    parts[2].text = p;
    parts[2].length = static_cast<std::size_t>(last_period - p);
    parts[3].text = last_period;
    parts[3].length = static_cast<std::size_t>(end - last_period);

    for (const Component& part : parts) {
        if (part.buffer != nullptr && part.length >= part.size) {
            clear_all();
            return ERANGE;
        }
    }
    for (Component& part : parts) {
        if (part.buffer == nullptr) continue;
        std::memcpy(part.buffer, part.text, part.length);
        part.buffer[part.length] = '\0';
    }
    return 0;
}

errno_t fopen_s(FILE** pFile, const char* filename, const char* mode) {
    if (pFile == nullptr) return EINVAL;
    *pFile = nullptr;
    if (filename == nullptr || mode == nullptr) return EINVAL;
    errno = 0;
    FILE* file = std::fopen(filename, mode);
    if (file == nullptr) return errno != 0 ? errno : EINVAL;
    // A directory opens for reading here but not on Windows; it is no file.
    struct stat status;
    if (fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return EISDIR;
    }
    *pFile = file;
    return 0;
}
