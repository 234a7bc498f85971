#include "platform/file_kind.h"

#include <sys/stat.h>

#include <cerrno>

FileKind KindOfFile(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return errno == ENAMETOOLONG ? FileKind::kTooLong : FileKind::kMissing;
    if (S_ISREG(status.st_mode)) return FileKind::kRegular;
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) return FileKind::kDevice;
    if (S_ISDIR(status.st_mode)) return FileKind::kDirectory;
    if (S_ISFIFO(status.st_mode)) return FileKind::kFifo;
    if (S_ISSOCK(status.st_mode)) return FileKind::kSocket;
    return FileKind::kOther;
}
