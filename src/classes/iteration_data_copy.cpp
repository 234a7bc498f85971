// Copy operations of IterationData and CTARNIterationData.
//
// A copy is member-wise.  The four nonlinear value arrays and the iteration
// solution are referred to, not owned: a copy points at the same ones and
// must not outlive them.  The message lists are copied deep, with their
// count, cursor and fourth value as they are; the cursor is an index, so a
// copied cursor never points into the source.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "libs/iteration_data.h"

IterationData::IterationData(const IterationData& other)
    : IIterationData(other),
      m_iter(other.m_iter),
      m_nlVarNum(other.m_nlVarNum),
      m_nlEqnNum(other.m_nlEqnNum),
      m_feasStatus(other.m_feasStatus),
      m_nlVarValues(other.m_nlVarValues),
      m_nlEqnValues(other.m_nlEqnValues),
      m_nlVarShadowValues(other.m_nlVarShadowValues),
      m_nlEqnShadowValues(other.m_nlEqnShadowValues),
      m_pFunction(other.m_pFunction),
      m_nonLinRatio(other.m_nonLinRatio),
      m_objValue(other.m_objValue),
      m_feasValue(other.m_feasValue),
      m_objConvFunc(other.m_objConvFunc),
      m_resConvFunc(other.m_resConvFunc),
      m_varConvFunc(other.m_varConvFunc),
      m_userObj(other.m_userObj) {
    // The whole array, the bytes after the terminator included.
    std::memcpy(m_feasRowName, other.m_feasRowName, sizeof m_feasRowName);
}

IterationData& IterationData::operator=(const IterationData& other) {
    if (this == &other) return *this;
    m_iter = other.m_iter;
    m_nlVarNum = other.m_nlVarNum;
    m_nlEqnNum = other.m_nlEqnNum;
    m_feasStatus = other.m_feasStatus;
    m_nlVarValues = other.m_nlVarValues;
    m_nlEqnValues = other.m_nlEqnValues;
    m_nlVarShadowValues = other.m_nlVarShadowValues;
    m_nlEqnShadowValues = other.m_nlEqnShadowValues;
    m_pFunction = other.m_pFunction;
    m_nonLinRatio = other.m_nonLinRatio;
    m_objValue = other.m_objValue;
    m_feasValue = other.m_feasValue;
    m_objConvFunc = other.m_objConvFunc;
    m_resConvFunc = other.m_resConvFunc;
    m_varConvFunc = other.m_varConvFunc;
    m_userObj = other.m_userObj;
    std::memcpy(m_feasRowName, other.m_feasRowName, sizeof m_feasRowName);
    return *this;
}

// Members are built in declaration order: base part, extra integer, extra
// value, solution pointer, then the error, information and warning lists.
// When a list cannot be copied (out of memory), the members already built
// are destroyed by the language and the failure goes on to the caller.
CTARNIterationData::CTARNIterationData(const CTARNIterationData& other)
    : IterationData(other),
      m_extraInt(other.m_extraInt),
      m_extraValue(other.m_extraValue),
      m_solution(other.m_solution),
      errorMessages(other.errorMessages),
      infoMessages(other.infoMessages),
      warningMessages(other.warningMessages) {}

namespace {

// The count, cursor and fourth value of a list, which follow its texts.
void CopyListValues(CTARNMessageList& to, const CTARNMessageList& from) {
    to.m_count = from.m_count;
    to.m_cursor = from.m_cursor;
    to.m_reserved = from.m_reserved;
}

}  // namespace

// All allocation happens before the object is touched: the texts of the
// three lists are copied aside first and then swapped in.  A failure while
// copying them leaves the object as it was; nothing after that can fail.
CTARNIterationData& CTARNIterationData::operator=(const CTARNIterationData& other) {
    if (this == &other) return *this;

    std::vector<std::string> errors(other.errorMessages.m_texts);
    std::vector<std::string> information(other.infoMessages.m_texts);
    std::vector<std::string> warnings(other.warningMessages.m_texts);

    IterationData::operator=(other);
    m_extraInt = other.m_extraInt;
    m_extraValue = other.m_extraValue;
    m_solution = other.m_solution;
    errorMessages.m_texts.swap(errors);
    CopyListValues(errorMessages, other.errorMessages);
    infoMessages.m_texts.swap(information);
    CopyListValues(infoMessages, other.infoMessages);
    warningMessages.m_texts.swap(warnings);
    CopyListValues(warningMessages, other.warningMessages);
    return *this;
}
