// The environment, paths and files on Windows.

#include "platform/platform.h"

#include <windows.h>

#include <stdlib.h>

#include <cstring>

#include <vector>

namespace platform {
namespace {

constexpr DWORD kFirstValueSize = 256;
constexpr std::size_t kDriveSize = 3;

}  // namespace

std::optional<std::string> EnvironmentValue(const char* name) {
    if (name == nullptr || *name == '\0') return std::nullopt;
    std::vector<char> buffer(kFirstValueSize);
    DWORD length = GetEnvironmentVariableA(name, buffer.data(), kFirstValueSize);
    while (length >= buffer.size()) {  // too small: length is the size needed
        buffer.resize(length + 1);
        length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    if (length == 0) return std::nullopt;
    return std::string(buffer.data(), length);
}

std::string DirectoryOf(const char* path) {
    if (path == nullptr) return std::string();
    // Component buffers as long as the path itself, so no part is ever cut.
    const std::size_t size = std::strlen(path) + 1;
    std::vector<char> drive(kDriveSize + size), directory(size), name(size), extension(size);
    if (_splitpath_s(path, drive.data(), drive.size(), directory.data(), directory.size(),
                     name.data(), name.size(), extension.data(), extension.size()) != 0)
        return std::string();
    return std::string(drive.data()) + directory.data();
}

ReadFile OpenForReading(const char* path, int* error) {
    int ignored = 0;
    int& reason = error != nullptr ? *error : ignored;
    reason = EINVAL;
    if (path == nullptr) return nullptr;
    FILE* file = nullptr;
    reason = fopen_s(&file, path, "rb");
    if (reason != 0 || file == nullptr) {
        if (reason == 0) reason = EINVAL;
        return nullptr;
    }
    return ReadFile(file);
}

}  // namespace platform
