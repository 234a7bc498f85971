// libFuzzer target: a whole report run on arbitrary bytes as the run-data
// file.  The report must end with 0 or -1, never crash or hang, and leave no
// report file when the library refused the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "run/create_report.h"

namespace {

// One directory for the life of the process, removed at exit (the text is
// never destroyed, so the exit handler can still use it).
const std::string& WorkDirectory() {
    static const std::string& path = *new std::string([] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                              "/tarn-fuzz.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return pattern;
    }());
    return path;
}

void RemoveFiles() {
    const std::string base = WorkDirectory() + "/run";
    std::remove((base + ".vdr").c_str());
    std::remove((base + ".log").c_str());
    rmdir(WorkDirectory().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = std::atexit(RemoveFiles) == 0;
    (void)registered;
    const std::string base = WorkDirectory() + "/run";
    const std::string dataPath = base + ".vdr", logPath = base + ".log";
    std::remove(logPath.c_str());
    FILE* file = std::fopen(dataPath.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    if (std::fclose(file) != 0) std::abort();

    const int rc = RunReport(base.c_str());
    if (rc != 0 && rc != -1) std::abort();
    if (rc == 0 && access(logPath.c_str(), F_OK) != 0) std::abort();
    return 0;
}
