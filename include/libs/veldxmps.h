// The model library: the model manager and everything reached from it.
//
// Objects handed out by the library belong to it; callers only borrow them.
// Operations that hand out an object through an out-parameter are given a
// pointer to the caller's pointer; their int result carries nothing the
// report relies on.  Items are numbered from 1.
#pragma once

#include <cstdio>
#include <exception>
#include <iosfwd>
#include <string>

#include "libs/export.h"

// Codes of IVELDVariable::GetType; any other code is continuous too.
namespace VariableType {
inline constexpr short kContinuous = 1;
inline constexpr short kBinary = 2;
inline constexpr short kInteger = 3;
inline constexpr short kSemiContinuous = 4;
}  // namespace VariableType

// Codes of IVELDVariable::GetStatus; any other code is a calculated variable.
namespace VariableStatus {
inline constexpr short kOptimised = 1;
inline constexpr short kConstant = 3;
inline constexpr short kIndependent = 203;
}  // namespace VariableStatus

// Codes of IVELDEquation::GetType.
namespace RowKind {
inline constexpr short kLessOrEqual = 1;
inline constexpr short kGreaterOrEqual = 2;
inline constexpr short kEquality = 3;
inline constexpr short kFree = 4;
inline constexpr short kObjective = 5;
}  // namespace RowKind

class VELD_API IVELDVariable {
public:
    virtual ~IVELDVariable();
    virtual int GetNumber() const = 0;
    virtual const char* GetName() const = 0;
    virtual double GetUpperBound() const = 0;
    virtual double GetLowerBound() const = 0;
    // A VariableType code.
    virtual short GetType() const = 0;
    virtual double GetValue() const = 0;
    // A VariableStatus code.
    virtual short GetStatus() const = 0;
};

class VELD_API IVELDEquation {
public:
    virtual ~IVELDEquation();
    virtual int GetNumber() const = 0;
    virtual const char* GetName() const = 0;
    // A RowKind code.
    virtual short GetType() const = 0;
    virtual double GetValue() const = 0;
    virtual double GetScale() const = 0;
    virtual double GetDiagValue() const = 0;
    virtual int IsNonlinear() const = 0;
};

// GetFirst/GetNext walk the items in model order with a cursor kept in the
// set; GetAt(n) stores item n (from 1), or null, through its out-parameter.
class VELD_API IVELDVariableSet {
public:
    virtual ~IVELDVariableSet();
    virtual int GetCount() const = 0;
    virtual IVELDVariable* Find(const char* name) const = 0;
    virtual int GetAt(int number, IVELDVariable** item) const = 0;
    virtual IVELDVariable* GetFirst() = 0;
    virtual IVELDVariable* GetNext() = 0;
};

class VELD_API IVELDEquationSet {
public:
    virtual ~IVELDEquationSet();
    virtual int GetCount() const = 0;
    virtual IVELDEquation* Find(const char* name) const = 0;
    virtual int GetAt(int number, IVELDEquation** item) const = 0;
    virtual IVELDEquation* GetFirst() = 0;
    virtual IVELDEquation* GetNext() = 0;
};

class VELD_API IVELDMatrixEntry {
public:
    virtual ~IVELDMatrixEntry();
    virtual IVELDEquation* GetEquation() const = 0;
    virtual IVELDVariable* GetVariable() const = 0;
    virtual double GetCoefficient() const = 0;
};

// Row walks go by ascending variable number, column walks by ascending
// equation number; each kind of walk has one cursor in the matrix.
class VELD_API IVELDMatrix {
public:
    virtual ~IVELDMatrix();
    virtual IVELDMatrixEntry* GetFirstInRow(int equationNumber) = 0;
    virtual IVELDMatrixEntry* GetNextInRow() = 0;
    virtual IVELDMatrixEntry* GetFirstInColumn(int variableNumber) = 0;
    virtual IVELDMatrixEntry* GetNextInColumn() = 0;
};

class VELD_API IVELDOptionSet {
public:
    virtual ~IVELDOptionSet();
    // The option's value as text; an empty text, never null, when the set
    // does not hold the option.
    virtual const char* GetOptionValue(const char* name) const = 0;
};

class VELD_API IVELDAuxiliary {
public:
    virtual ~IVELDAuxiliary();
    virtual void Prepare() = 0;
};

class VELD_API IVELDMgr {
public:
    virtual ~IVELDMgr();
    virtual void GetModelName(std::string& name) const = 0;
    virtual int GetVariableSet(IVELDVariableSet** set) = 0;
    virtual int GetEquationSet(IVELDEquationSet** set) = 0;
    virtual int GetMatrix(IVELDMatrix** matrix) = 0;
    virtual void DisplayAlgebraicModel(std::ostream& out) = 0;
    // Stores null when the model has no option set.
    virtual int GetModelOptions(IVELDOptionSet** options) = 0;
    virtual void SetWorkingDirectory(const char* directory) = 0;
    virtual int GetAuxiliaryObject(IVELDAuxiliary** auxiliary) = 0;
    // The text last given to SetWorkingDirectory.
    virtual const char* GetWorkingDirectory() const = 0;
};

// ---------------------------------------------------------------------------
// Exceptions of the model library.
//
// The copy operations are the report library's (TARNReport exports them);
// every other member, the virtual tables and the type information are the
// model library's.  what() returns the reason text, or "Unknown exception"
// when it is empty.

class LIBS_SHARED_CLASS VELD_Exception : public std::exception {
public:
    VELD_API VELD_Exception(int code, const std::string& name,
                            const std::string& reason, const std::string& routine);
    TARNREPORT_API VELD_Exception(const VELD_Exception& other);
    TARNREPORT_API VELD_Exception& operator=(const VELD_Exception& other);
    VELD_API ~VELD_Exception() override;

    VELD_API const char* what() const noexcept override;
    VELD_API virtual void HandleExcp();
    VELD_API virtual void Display(std::ostream& out);
    VELD_API virtual void DumpErrorBuf(std::ostream& out, FILE* file);
    VELD_API virtual void DumpErrorBuf(FILE* file);
    VELD_API virtual void DumpErrorBuf(std::ostream& out);
    VELD_API virtual void GetExcpName(char* buffer, int size);
    VELD_API virtual void GetExcpReason(char* buffer, int size);
    VELD_API virtual void GetExcpRoutine(char* buffer, int size);

protected:
    int m_code;
    std::string m_name;
    std::string m_reason;
    std::string m_routine;
    std::string m_detail;
    int m_severity;
};

class LIBS_SHARED_CLASS VELD_ExcpBadAllocation : public VELD_Exception {
public:
    VELD_API VELD_ExcpBadAllocation(const std::string& routine, const std::string& what,
                                    int bytes);
    TARNREPORT_API VELD_ExcpBadAllocation(const VELD_ExcpBadAllocation& other);
    TARNREPORT_API VELD_ExcpBadAllocation& operator=(const VELD_ExcpBadAllocation& other);
    VELD_API ~VELD_ExcpBadAllocation() override;
    VELD_API void Display(std::ostream& out) override;

protected:
    std::string m_object;
    int m_bytes;
};

class LIBS_SHARED_CLASS VELD_ExcpFileError : public VELD_Exception {
public:
    VELD_API VELD_ExcpFileError(const std::string& routine, const std::string& fileName,
                                const std::string& problem, int line);
    TARNREPORT_API VELD_ExcpFileError(const VELD_ExcpFileError& other);
    TARNREPORT_API VELD_ExcpFileError& operator=(const VELD_ExcpFileError& other);
    VELD_API ~VELD_ExcpFileError() override;
    VELD_API void Display(std::ostream& out) override;

protected:
    std::string m_fileName;
    std::string m_problem;
    int m_line;
};
