// The run frame: find the data file, have the solver library load it, open
// the report file, write the sections in their fixed order and release
// everything.
#include "run/create_report.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <locale>
#include <memory>
#include <vector>

#include "output/markup.h"
#include "run/run_context.h"
#include "sections/sections.h"

namespace {

constexpr int kFailed = -1;
constexpr int kWritten = 0;
constexpr std::size_t kDriveSize = 3;
constexpr std::size_t kStreamBufferSize = 1 << 16;

struct ClosesFile {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Message `id` with one text insert, then "\n", on standard output.
void PrintMessage(HMODULE module, unsigned id, const char* insert) {
    TextBuffer message;
    LoadMessage(module, id, &message, insert);
    std::fwrite(message.c_str(), 1, message.size(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
}

// The model option MININFTR, read through the model manager.
void ReadBreakersFlag(RunContext& run) {
    run.breakersOn = true;
    IVELDOptionSet* options = nullptr;
    run.modelManager->GetModelOptions(&options);
    if (options != nullptr) run.breakersOn = !BreakersOffValue(options->GetOptionValue("MININFTR"));
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
    if (!FindReportModule(run.module)) return kFailed;
    run.messages.SetModule(run.module);
    run.basePath = basePath;
    run.dataFilePath = std::string(basePath) + ".vdr";

    FILE* dataFile = nullptr;
    if (fopen_s(&dataFile, run.dataFilePath.c_str(), "rb") != 0 || dataFile == nullptr) {
        PrintMessage(run.module, kMsgFileNotFound, run.dataFilePath.c_str());
        return kFailed;
    }
    std::unique_ptr<FILE, ClosesFile> openDataFile(dataFile);
    std::setlocale(LC_NUMERIC, "C");
    const bool loaded = LoadRun(run);
    openDataFile.reset();
    if (!loaded || !FetchRunObjects(run)) return kFailed;

    ReadBreakersFlag(run);

    run.logPath = std::string(basePath) + ".log";
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
    return complete ? kWritten : kFailed;
}

}  // namespace

std::string WorkingDirectoryOf(const char* basePath) {
    // Component buffers as long as the path itself, so no part is ever cut.
    const std::size_t size = std::strlen(basePath) + 1;
    std::vector<char> drive(kDriveSize + size), directory(size), name(size), extension(size);
    if (_splitpath_s(basePath, drive.data(), drive.size(), directory.data(), directory.size(),
                     name.data(), name.size(), extension.data(), extension.size()) != 0)
        return std::string();
    return std::string(drive.data()) + directory.data();
}

bool BreakersOffValue(const char* mininftr) {
    return mininftr != nullptr && std::strncmp(mininftr, "NONE", 4) == 0;
}

int RunReport(const char* basePath) noexcept {
    if (basePath == nullptr) return kFailed;
    try {
        return Run(basePath);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "Error: the report for %s failed: %s\n", basePath, failure.what());
    } catch (...) {
        std::fprintf(stderr, "Error: the report for %s failed.\n", basePath);
    }
    return kFailed;
}
