// The model library's exception family.  The copy operations live in the
// report library; nothing here copies an exception object.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <ostream>
#include <sstream>
#include <string>

#include "libs/veldxmps.h"

namespace {

enum ExceptionCode { kGeneralError = 1, kAllocationError = 2, kFileError = 3 };
enum Severity { kSeverityError = 2 };

// Copies text into a caller's buffer of size bytes, cut to fit, always
// terminated; nothing happens without a usable buffer.
void CopyToBuffer(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return;
    const size_t room = static_cast<size_t>(size) - 1;
    const size_t n = text.size() < room ? text.size() : room;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

std::string FileErrorReason(const std::string& fileName, const std::string& problem, int line) {
    std::string reason = fileName;
    if (line > 0) reason += ", line " + std::to_string(line);
    if (!reason.empty() && !problem.empty()) reason += ": ";
    reason += problem;
    return reason;
}

}  // namespace

VELD_Exception::VELD_Exception(int code, const std::string& name, const std::string& reason,
                               const std::string& routine)
    : m_code(code),
      m_name(name),
      m_reason(reason),
      m_routine(routine),
      m_detail(),
      m_severity(kSeverityError) {}

VELD_Exception::~VELD_Exception() = default;

const char* VELD_Exception::what() const noexcept {
    return m_reason.empty() ? "Unknown exception" : m_reason.c_str();
}

void VELD_Exception::HandleExcp() { Display(std::cerr); }

void VELD_Exception::Display(std::ostream& out) {
    out << (m_name.empty() ? "VELD_Exception" : m_name);
    if (!m_routine.empty()) out << " in " << m_routine;
    out << ": " << what() << '\n';
}

void VELD_Exception::DumpErrorBuf(std::ostream& out, FILE* file) {
    DumpErrorBuf(out);
    DumpErrorBuf(file);
}

void VELD_Exception::DumpErrorBuf(FILE* file) {
    if (file == nullptr) return;
    std::ostringstream text;
    Display(text);
    std::fputs(text.str().c_str(), file);
    std::fflush(file);
}

void VELD_Exception::DumpErrorBuf(std::ostream& out) { Display(out); }

void VELD_Exception::GetExcpName(char* buffer, int size) { CopyToBuffer(m_name, buffer, size); }

void VELD_Exception::GetExcpReason(char* buffer, int size) {
    CopyToBuffer(m_reason, buffer, size);
}

void VELD_Exception::GetExcpRoutine(char* buffer, int size) {
    CopyToBuffer(m_routine, buffer, size);
}

VELD_ExcpBadAllocation::VELD_ExcpBadAllocation(const std::string& routine,
                                               const std::string& what, int bytes)
    : VELD_Exception(kAllocationError, "VELD_ExcpBadAllocation",
                     "cannot allocate " + std::to_string(bytes) + " bytes for " + what, routine),
      m_object(what),
      m_bytes(bytes) {}

VELD_ExcpBadAllocation::~VELD_ExcpBadAllocation() = default;

void VELD_ExcpBadAllocation::Display(std::ostream& out) {
    out << "VELD_ExcpBadAllocation";
    if (!m_routine.empty()) out << " in " << m_routine;
    out << ": cannot allocate " << m_bytes << " bytes for " << m_object << '\n';
}

VELD_ExcpFileError::VELD_ExcpFileError(const std::string& routine, const std::string& fileName,
                                       const std::string& problem, int line)
    : VELD_Exception(kFileError, "VELD_ExcpFileError", FileErrorReason(fileName, problem, line),
                     routine),
      m_fileName(fileName),
      m_problem(problem),
      m_line(line) {}

VELD_ExcpFileError::~VELD_ExcpFileError() = default;

void VELD_ExcpFileError::Display(std::ostream& out) {
    out << "VELD_ExcpFileError";
    if (!m_routine.empty()) out << " in " << m_routine;
    out << ": " << FileErrorReason(m_fileName, m_problem, m_line) << '\n';
}
