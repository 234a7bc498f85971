// Copy operations of the model library's exception family.
//
// Every text is copied deep and every integer as it is.  The std::exception
// part keeps no text in this C++ library (what() is VELD_Exception's own and
// reads the reason text), so copying it copies nothing more.
//
// Copy constructors build their members in declaration order; when a text
// cannot be copied (out of memory) the members already built are destroyed
// and the failure goes on.  Copy assignments copy every text aside first and
// swap them in only when all copies exist, so a failure leaves the target
// as it was.  Assigning an object to itself changes nothing.
#include <exception>
#include <string>

#include "libs/veldxmps.h"

VELD_Exception::VELD_Exception(const VELD_Exception& other)
    : std::exception(other),
      m_code(other.m_code),
      m_name(other.m_name),
      m_reason(other.m_reason),
      m_routine(other.m_routine),
      m_detail(other.m_detail),
      m_severity(other.m_severity) {}

VELD_Exception& VELD_Exception::operator=(const VELD_Exception& other) {
    if (this == &other) return *this;

    std::string name(other.m_name), reason(other.m_reason);
    std::string routine(other.m_routine), detail(other.m_detail);

    std::exception::operator=(other);
    m_code = other.m_code;
    m_name.swap(name);
    m_reason.swap(reason);
    m_routine.swap(routine);
    m_detail.swap(detail);
    m_severity = other.m_severity;
    return *this;
}

VELD_ExcpBadAllocation::VELD_ExcpBadAllocation(const VELD_ExcpBadAllocation& other)
    : VELD_Exception(other), m_object(other.m_object), m_bytes(other.m_bytes) {}

// The own text is copied aside before the base part is assigned, so that
// either both parts change or neither does.
VELD_ExcpBadAllocation& VELD_ExcpBadAllocation::operator=(const VELD_ExcpBadAllocation& other) {
    if (this == &other) return *this;

    std::string object(other.m_object);

    VELD_Exception::operator=(other);
    m_object.swap(object);
    m_bytes = other.m_bytes;
    return *this;
}

VELD_ExcpFileError::VELD_ExcpFileError(const VELD_ExcpFileError& other)
    : VELD_Exception(other), m_fileName(other.m_fileName), m_problem(other.m_problem),
      m_line(other.m_line) {}

VELD_ExcpFileError& VELD_ExcpFileError::operator=(const VELD_ExcpFileError& other) {
    if (this == &other) return *this;

    std::string fileName(other.m_fileName), problem(other.m_problem);

    VELD_Exception::operator=(other);
    m_fileName.swap(fileName);
    m_problem.swap(problem);
    m_line = other.m_line;
    return *this;
}
