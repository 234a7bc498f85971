// Report processes on Windows: CreateProcess of this program's own file,
// output in delete-on-close scratch files, WaitForMultipleObjects.
#include "report_process.h"

#include <windows.h>
#include <io.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace host {

const unsigned kMaxChildren = MAXIMUM_WAIT_OBJECTS;

class ChildProcess {
public:
    HANDLE process = nullptr;
    HANDLE out = INVALID_HANDLE_VALUE;
    HANDLE err = INVALID_HANDLE_VALUE;

    ~ChildProcess() {
        if (process != nullptr) CloseHandle(process);
        if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
        if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    }
};

void ChildDeleter::operator()(ChildProcess* child) const { delete child; }

namespace {

std::string SystemError(const std::string& what, DWORD error) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    std::string message = what + ": " + text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    return message;
}

// An inheritable file that is deleted when its last handle closes.
HANDLE OpenScratchFile(std::string& why) {
    char directory[MAX_PATH + 1];
    char path[MAX_PATH + 1];
    if (GetTempPathA(sizeof directory, directory) == 0 ||
        GetTempFileNameA(directory, "trn", 0, path) == 0) {
        why = SystemError("cannot name a scratch file", GetLastError());
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = SystemError(std::string("cannot create a scratch file ") + path, GetLastError());
    }
    return file;
}

// One argument as the C runtime's command-line parser reads it back.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');  // before the closing quote
    return quoted + "\"";
}

// The child wrote through the C runtime in text mode; the host writes its
// text through its own text-mode streams, which add the CR again.
std::string ReadAll(HANDLE file) {
    std::string text;
    char buffer[65536];
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (buffer[i] == '\r' && i + 1 < got && buffer[i + 1] == '\n') continue;
            text += buffer[i];
        }
    }
    return text;
}

}  // namespace

ChildHandle StartChild(const std::vector<std::string>& arguments, StartFailure& failure) {
    std::string& why = failure.why;
    ChildHandle child(new ChildProcess);
    child->out = OpenScratchFile(why);
    if (child->out == INVALID_HANDLE_VALUE) return nullptr;
    child->err = OpenScratchFile(why);
    if (child->err == INVALID_HANDLE_VALUE) return nullptr;

    char self[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) {
        why = SystemError("cannot find this program's file", GetLastError());
        return nullptr;
    }
    std::string commandLine = Quoted(self);
    for (const std::string& argument : arguments) {
        commandLine += ' ';
        commandLine += Quoted(argument);
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = child->out;
    startup.hStdError = child->err;
    PROCESS_INFORMATION started = {};
    // A process group of its own: a Ctrl-C reaches only the host, which
    // ends or waits for its children.
    if (!CreateProcessA(self, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                        &startup, &started)) {
        why = SystemError(std::string("cannot start ") + self, GetLastError());
        return nullptr;
    }
    CloseHandle(started.hThread);
    child->process = started.hProcess;
    return child;
}

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void NoteStop(int signal) {
    stopSignal = signal;
    std::signal(signal, NoteStop);  // the C runtime resets the handler
}

}  // namespace

void CatchStopRequests() {
    for (int signal : {SIGINT, SIGTERM, SIGBREAK}) std::signal(signal, NoteStop);
}

int StopSignal() { return stopSignal; }

std::string SignalName(int signal) {
    const char* name = signal == SIGINT ? " (Interrupt)" : signal == SIGBREAK ? " (Break)" : " (Terminated)";
    return std::to_string(signal) + name;
}

// Waits in short steps, so that a request to stop is seen.
std::size_t WaitForAnyChild(const std::vector<ChildProcess*>& running) {
    std::vector<HANDLE> processes;
    for (ChildProcess* child : running) processes.push_back(child->process);
    for (;;) {
        if (stopSignal != 0) return kStopped;
        DWORD which = WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE, 100);
        if (which == WAIT_TIMEOUT) continue;
        if (which >= WAIT_OBJECT_0 + processes.size()) std::abort();  // a handle the host lost
        return which - WAIT_OBJECT_0;
    }
}

// In short steps too, up to the limit; the descriptor is not used (the
// watch polls here).
std::size_t WaitForChildOrChange(const std::vector<ChildProcess*>& running, int, int milliseconds) {
    std::vector<HANDLE> processes;
    for (ChildProcess* child : running) processes.push_back(child->process);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (stopSignal != 0) return kStopped;
        if (milliseconds >= 0 && GetTickCount64() - start >= static_cast<ULONGLONG>(milliseconds)) return kChanged;
        if (processes.empty()) {
            Sleep(100);
            continue;
        }
        DWORD which = WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), FALSE, 100);
        if (which == WAIT_TIMEOUT) continue;
        if (which >= WAIT_OBJECT_0 + processes.size()) std::abort();  // a handle the host lost
        return which - WAIT_OBJECT_0;
    }
}

void FinishChild(ChildProcess& child) { WaitForSingleObject(child.process, INFINITE); }

void EndChild(ChildProcess& child) {
    TerminateProcess(child.process, 1);
    WaitForSingleObject(child.process, INFINITE);
}

ChildOutcome CollectChild(ChildProcess& child) {
    ChildOutcome outcome;
    outcome.out = ReadAll(child.out);
    outcome.err = ReadAll(child.err);
    DWORD code = 0;
    GetExitCodeProcess(child.process, &code);
    // Exceptions end a process with their NTSTATUS code (0xC0000005 ...).
    if (code >= 0xC0000000u) {
        char text[64];
        snprintf(text, sizeof text, "ended by exception 0x%08lX", static_cast<unsigned long>(code));
        outcome.abnormal = text;
    } else {
        outcome.exitStatus = static_cast<int>(code);
    }
    return outcome;
}

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace host
