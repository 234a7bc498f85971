// The run frame: find the data file, have the solver library load it, work
// out the run's model, open the report file, write the sections in their
// fixed order and release everything.  Every failure is a RunFailure (or an
// exception of the libraries), told in one place: RunReport.
#include "run/create_report.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <initializer_list>
#include <locale>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "control_text.h"

#include "model/run_failure.h"
#include "model/run_model.h"
#include "output/markup.h"
#include "platform/file_kind.h"
#include "platform/platform.h"
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

// "Error: " and the pieces as one line on standard error, each shown as the
// report shows a text on one line (a path as given may hold any control
// character).  Made without allocating, so that it can be said when memory
// has run out.
void PrintError(std::initializer_list<std::string_view> pieces) {
    std::fputs("Error: ", stderr);
    for (const std::string_view piece : pieces) {
        control_text::ForEachShownPiece(piece, [](std::string_view shown) {
            std::fwrite(shown.data(), 1, shown.size(), stderr);
        });
    }
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

// One line on standard error, as it is.
void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputs("\n", stderr);
    std::fflush(stderr);
}

// Tells what a failed run says: its message on standard output, its problem
// (or why the data file was refused) on standard error.
void Tell(platform::ModuleHandle module, const RunFailure& failure) {
    if (failure.MessageId() != 0) PrintMessage(module, failure.MessageId(), failure.Insert());
    if (failure.Refusal().Failed()) PrintLine(failure.Refusal().Line());
    if (*failure.what() != '\0') PrintError({failure.what()});
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

std::string NotARegularFile(const std::string& path, const char* what) {
    return path + " is " + what + ", not a regular file.";
}

struct RunPaths {
    explicit RunPaths(const char* basePath)
        : base(basePath), data(std::string(basePath) + ".vdr"), log(std::string(basePath) + ".log") {}
    const char* base;
    std::string data;
    std::string log;
};

// A data file that could not be opened: message 101 when it is not there
// (or its name cannot be one, as one with a quote on Windows), otherwise
// the system's reason (a file without read permission exists).
RunFailure UnopenedDataFile(const RunPaths& paths, int error) {
    if (error == ENOENT || error == ENOTDIR || error == EINVAL || error == 0)
        return RunFailure(std::string(), kMsgFileNotFound, paths.data);
    return RunFailure(paths.data + " cannot be read: " + std::strerror(error) + ".");
}

// Checks, without opening it, that the data file is one the report can
// read: a named pipe would block the run, and a directory is no file.  The
// file is opened once, by the solver library as it loads it; one that is
// not to be seen is opened here only to learn why (message 101 when it is
// not there).
void CheckDataFile(const RunPaths& paths) {
    const FileKind kind = KindOfFile(paths.data.c_str());
    if (kind == FileKind::kTooLong)
        throw RunFailure("the path " + paths.data + " is too long for the file system.");
    if (const char* what = RefusedKind(kind)) throw RunFailure(NotARegularFile(paths.data, what));
    if (kind != FileKind::kMissing) return;
    int openError = 0;
    if (!platform::OpenForReading(paths.data.c_str(), &openError)) throw UnopenedDataFile(paths, openError);
}

// The same for the report file, checked before the data file is loaded and
// again just before the report is opened; a device such as /dev/null is
// written as a file.
void CheckReportFile(const RunPaths& paths) {
    if (const char* what = RefusedKind(KindOfFile(paths.log.c_str())))
        throw RunFailure(NotARegularFile(paths.log, what), kMsgReportNotWritten, paths.log);
}

// A data file the solver library refused, with the library's reason (one
// it could not open is told as the run tells it).  When memory ran out
// before the library could keep a reason, memory is what failed.
RunFailure Refused(const RunPaths& paths, const CTARNSolutionReporting& reporting) {
    const tarn::LoadError& refusal = reporting.LoadProblem();
    if (!refusal.Failed()) throw std::bad_alloc();
    if (refusal.openError != 0) return UnopenedDataFile(paths, refusal.openError);
    return RunFailure(refusal);
}

// Loads the data file into a new reporting object; a file the library
// refuses fails the run with the library's reason.
std::unique_ptr<CTARNSolutionReporting> Load(const RunPaths& paths) {
    CheckReportFile(paths);
    std::setlocale(LC_NUMERIC, "C");
    auto reporting = std::make_unique<CTARNSolutionReporting>();
    reporting->GetModelManager();
    IVELDMgr* manager = reporting->GetModelManager();
    if (manager != nullptr) manager->SetWorkingDirectory(WorkingDirectoryOf(paths.base).c_str());
    if (reporting->ReadReportFile(paths.data.c_str()) != 0) throw Refused(paths, *reporting);
    return reporting;
}

void WriteSections(const RunModel& model, ReportWriter& writer) {
    WriteHeaderSection(model, writer);
    {
        Region information = writer.OpenRegion(
            markup::kInformationRegion, writer.Text(kMsgIterationInformation).c_str());
        WriteIterationSummary(model, writer);
        WriteIterationDetails(model, writer);
    }
    if (model.infeasibilityState != 0) WriteInfeasibilityDiagnosis(model, writer);
}

// The report file: opened for the run, closed when it ends; a report that
// cannot be written whole fails the run.
class ReportFile {
public:
    explicit ReportFile(const std::string& path) : m_path(path), m_buffer(kStreamBufferSize) {
        m_stream.rdbuf()->pubsetbuf(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_stream.open(path, std::ios::out | std::ios::trunc);
        if (!m_stream.is_open()) throw NotWritten();
        m_stream.imbue(
            std::locale(std::locale::classic(), std::locale::classic(), std::locale::numeric));
    }
    std::ostream& Stream() { return m_stream; }
    void Close() {
        m_stream.close();
        if (m_stream.fail()) throw NotWritten();
    }

private:
    RunFailure NotWritten() const { return RunFailure(std::string(), kMsgReportNotWritten, m_path); }
    const std::string& m_path;
    std::vector<char> m_buffer;
    std::ofstream m_stream;
};

void Run(platform::ModuleHandle module, const char* basePath) {
    if (*basePath == '\0') throw RunFailure("the base path is empty.");
    const RunPaths paths(basePath);
    CheckDataFile(paths);
    const std::unique_ptr<CTARNSolutionReporting> reporting = Load(paths);
    const RunModel model = BuildRunModel(*reporting, paths.data);
    CheckReportFile(paths);  // it may have changed while loading

    ReportFile report(paths.log);
    ReportWriter writer(report.Stream(), module);
    try {
        WriteSections(model, writer);
    } catch (const RunFailure&) {
        report.Close();  // what was written stays; a report not written says so instead
        throw;
    }
    report.Close();
}

}  // namespace

std::string WorkingDirectoryOf(const char* basePath) { return platform::DirectoryOf(basePath); }

int RunReport(const char* basePath) noexcept {
    if (basePath == nullptr) {
        PrintError({"no base path was given (a null pointer)."});
        return kFailed;
    }
    platform::ModuleHandle module = nullptr;
    if (!FindReportModule(module)) {
        PrintError({"the report library could not find its own module (for its messages)."});
        return kFailed;
    }
    try {
        try {
            Run(module, basePath);
            return kWritten;
        } catch (const RunFailure& failure) {
            Tell(module, failure);
        }
    } catch (const std::bad_alloc&) {
        PrintError({"the report for ", basePath, " failed: not enough memory."});
    } catch (const std::exception& failure) {
        PrintError({"the report for ", basePath, " failed: ", failure.what()});
    } catch (...) {
        PrintError({"the report for ", basePath, " failed."});
    }
    return kFailed;
}
