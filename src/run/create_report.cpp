// The run frame: find the data file, have the solver library load it, open
// the report file, write the sections in their fixed order and release
// everything.
#include "run/create_report.h"

#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <locale>
#include <memory>
#include <new>
#include <vector>

#include "output/markup.h"
#include "platform/file_kind.h"
#include "run/run_context.h"
#include "sections/sections.h"

namespace {

constexpr int kFailed = -1;
constexpr int kWritten = 0;
constexpr std::size_t kStreamBufferSize = 1 << 16;

// Message `id` with one text insert, then "\n", on standard output.
void PrintMessage(platform::ModuleHandle module, unsigned id, const char* insert) {
    MessageText message;
    LoadMessage(module, id, &message, insert);
    std::fwrite(message.c_str(), 1, message.size(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// One line on standard error.  Made without allocating, so that it can be
// said when memory has run out.
void PrintError(const char* format, ...) TARN_PRINTF_FORMAT(1, 2);
void PrintError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("Error: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputs("\n", stderr);
    std::fflush(stderr);
    va_end(args);
}

// What a file that is not a regular one is, for the message that refuses
// it; null for the kinds that are read and written as files.
const char* RefusedKind(FileKind kind) {
    switch (kind) {
        case FileKind::kDirectory: return "a directory";
        case FileKind::kFifo: return "a named pipe (FIFO)";
        case FileKind::kSocket: return "a socket";
        case FileKind::kOther: return "a special file";
        default: return nullptr;
    }
}

// Checks, without opening it, that the data file is one the report can
// read: a named pipe would block the run, and a directory is no file.  A
// missing data file is left to the open that follows (message 101).
bool DataFileUsable(const RunContext& run) {
    const FileKind kind = KindOfFile(run.dataFilePath.c_str());
    if (kind == FileKind::kTooLong) {
        PrintError("the path %s is too long for the file system.", run.dataFilePath.c_str());
        return false;
    }
    if (const char* what = RefusedKind(kind)) {
        PrintError("%s is %s, not a regular file.", run.dataFilePath.c_str(), what);
        return false;
    }
    return true;
}

// The same for the report file, checked before the data file is loaded and
// again just before the report is opened; a device such as /dev/null is
// written as a file.
bool ReportFileUsable(const RunContext& run) {
    const char* what = RefusedKind(KindOfFile(run.logPath.c_str()));
    if (what == nullptr) return true;
    PrintMessage(run.module, kMsgReportNotWritten, run.logPath.c_str());
    PrintError("%s is %s, not a regular file.", run.logPath.c_str(), what);
    return false;
}

// The model option MININFTR, read through the model manager.
void ReadBreakersFlag(RunContext& run) {
    run.breakersOn = true;
    IVELDOptionSet* options = nullptr;
    run.modelManager->GetModelOptions(&options);
    if (options != nullptr) run.breakersOn = !BreakersOffValue(options->GetOptionValue("MININFTR"));
}

// A data file that could not be opened: message 101 when it is not there
// (or its name cannot be one, as one with a quote on Windows), otherwise
// the system's reason (a file without read permission exists).
void ReportUnopenedDataFile(const RunContext& run, int error) {
    if (error == ENOENT || error == ENOTDIR || error == EINVAL || error == 0) {
        PrintMessage(run.module, kMsgFileNotFound, run.dataFilePath.c_str());
    } else {
        PrintError("%s cannot be read: %s.", run.dataFilePath.c_str(), std::strerror(error));
    }
}

// Loads the data file; false when the library refuses it.
bool LoadRun(RunContext& run) {
    run.reporting = std::make_unique<CTARNSolutionReporting>();
    run.reporting->GetModelManager();
    run.workingDirectory = WorkingDirectoryOf(run.basePath);
    IVELDMgr* manager = run.reporting->GetModelManager();
    if (manager != nullptr) manager->SetWorkingDirectory(run.workingDirectory.c_str());
    return run.reporting->ReadReportFile(run.dataFilePath.c_str()) == 0;
}

bool FetchRunObjects(RunContext& run) {
    run.modelManager = run.reporting->GetModelManager();
    run.lpOptions = run.reporting->GetLPOptions();
    run.optionTable = run.reporting->GetOptionTable();
    run.iterationList = run.reporting->GetIterationList();
    return run.modelManager != nullptr && run.optionTable != nullptr &&
           run.iterationList != nullptr;
}

// Writes every section; false when the iteration list is empty.
bool WriteSections(RunContext& run) {
    WriteHeaderSection(run);
    if (!WriteIterationSummary(run)) return false;
    WriteIterationDetails(run);
    run.WriteRegionEnd();  // "Iteration Details"
    run.WriteRegionEnd();  // "Iteration Information"
    // Infeasible, unbounded and the other outcomes above optimal; a negative
    // status asks for no LP part.
    if (run.reporting->GetLPStatus() > LPStatus::kOptimal) run.infeasibilityState += kLPPart;
    if (run.infeasibilityState != 0) WriteInfeasibilityDiagnosis(run);
    return true;
}

int Run(const char* basePath) {
    RunContext run;
    if (!FindReportModule(run.module)) {
        PrintError("the report library could not find its own module (for its messages).");
        return kFailed;
    }
    run.messages.SetModule(run.module);
    run.basePath = basePath;
    if (*basePath == '\0') {
        PrintError("the base path is empty.");
        return kFailed;
    }
    run.dataFilePath = std::string(basePath) + ".vdr";
    run.logPath = std::string(basePath) + ".log";
    if (!DataFileUsable(run)) return kFailed;

    int openError = 0;
    platform::ReadFile openDataFile = platform::OpenForReading(run.dataFilePath.c_str(), &openError);
    if (!openDataFile) {
        ReportUnopenedDataFile(run, openError);
        return kFailed;
    }
    if (!ReportFileUsable(run)) return kFailed;
    std::setlocale(LC_NUMERIC, "C");
    const bool loaded = LoadRun(run);
    openDataFile.reset();
    if (!loaded || !FetchRunObjects(run)) return kFailed;

    ReadBreakersFlag(run);
    if (!ReportFileUsable(run)) return kFailed;  // it may have changed while loading

    std::vector<char> streamBuffer(kStreamBufferSize);
    std::ofstream report;
    report.rdbuf()->pubsetbuf(streamBuffer.data(), static_cast<std::streamsize>(streamBuffer.size()));
    report.open(run.logPath, std::ios::out | std::ios::trunc);
    if (!report.is_open()) {
        PrintMessage(run.module, kMsgReportNotWritten, run.logPath.c_str());
        return kFailed;
    }
    report.imbue(std::locale(std::locale::classic(), std::locale::classic(), std::locale::numeric));
    run.out = &report;

    const bool complete = WriteSections(run);
    report.close();
    if (report.fail()) {
        PrintMessage(run.module, kMsgReportNotWritten, run.logPath.c_str());
        return kFailed;
    }
    if (!complete) {
        PrintError("%s: the run data holds no iterations; the report stops after the summary header.",
                   run.dataFilePath.c_str());
        return kFailed;
    }
    return kWritten;
}

}  // namespace

std::string WorkingDirectoryOf(const char* basePath) { return platform::DirectoryOf(basePath); }

bool BreakersOffValue(const char* mininftr) {
    return mininftr != nullptr && std::strncmp(mininftr, "NONE", 4) == 0;
}

int RunReport(const char* basePath) noexcept {
    if (basePath == nullptr) {
        PrintError("no base path was given (a null pointer).");
        return kFailed;
    }
    try {
        return Run(basePath);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Error: the report for %s failed: not enough memory.\n", basePath);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "Error: the report for %s failed: %s\n", basePath, failure.what());
    } catch (...) {
        std::fprintf(stderr, "Error: the report for %s failed.\n", basePath);
    }
    return kFailed;
}
