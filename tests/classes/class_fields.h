// Access to the protected members of the iteration-data and exception
// classes, for tests that have to see or change every member.
//
// Each helper derives from a class only to name its protected members; it is
// never instantiated.  The pointers it hands out are pointers to members of
// the base class and apply to any object of it.
#pragma once

#include <string>

#include "libs/iteration_data.h"
#include "libs/veldxmps.h"

struct IterationDataFields : IterationData {
    static auto NLVarShadowValues() { return &IterationDataFields::m_nlVarShadowValues; }
    static auto NLEqnShadowValues() { return &IterationDataFields::m_nlEqnShadowValues; }
    static auto FeasRowName() { return &IterationDataFields::m_feasRowName; }
};

struct ExceptionFields : VELD_Exception {
    static auto Code() { return &ExceptionFields::m_code; }
    static auto Name() { return &ExceptionFields::m_name; }
    static auto Reason() { return &ExceptionFields::m_reason; }
    static auto Routine() { return &ExceptionFields::m_routine; }
    static auto Detail() { return &ExceptionFields::m_detail; }
    static auto Severity() { return &ExceptionFields::m_severity; }
};

struct BadAllocationFields : VELD_ExcpBadAllocation {
    static auto Object() { return &BadAllocationFields::m_object; }
    static auto Bytes() { return &BadAllocationFields::m_bytes; }
};

struct FileErrorFields : VELD_ExcpFileError {
    static auto FileName() { return &FileErrorFields::m_fileName; }
    static auto Problem() { return &FileErrorFields::m_problem; }
    static auto Line() { return &FileErrorFields::m_line; }
};
