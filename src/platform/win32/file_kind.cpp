#include "platform/file_kind.h"

#include <windows.h>

FileKind KindOfFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILENAME_EXCED_RANGE ? FileKind::kTooLong : FileKind::kMissing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::kDirectory;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return FileKind::kDevice;
    return FileKind::kRegular;
}
