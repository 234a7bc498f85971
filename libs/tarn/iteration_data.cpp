// IterationData and CTARNIterationData: the solver library's per-iteration
// record.  The copy operations belong to the report library; the solver
// library never copies these objects (the iteration list holds them by
// unique_ptr).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "libs/iteration_data.h"
#include "libs/tarn.h"

IterationData::IterationData()
    : m_iter(0),
      m_nlVarNum(0),
      m_nlEqnNum(0),
      m_feasStatus(false),
      m_nlVarValues(nullptr),
      m_nlEqnValues(nullptr),
      m_nlVarShadowValues(nullptr),
      m_nlEqnShadowValues(nullptr),
      m_pFunction(0.0),
      m_nonLinRatio(0.0),
      m_objValue(0.0),
      m_feasValue(0.0),
      m_objConvFunc(0.0),
      m_resConvFunc(0.0),
      m_varConvFunc(0.0),
      m_userObj(0.0) {
    std::memset(m_feasRowName, 0, sizeof m_feasRowName);
}

// The four value arrays are referred to, not owned.
IterationData::~IterationData() = default;

void IterationData::SetIter(int iter) { m_iter = iter; }
int IterationData::GetIter() { return m_iter; }
int IterationData::GetNLVarNum() { return m_nlVarNum; }
int IterationData::GetNLEqnNum() { return m_nlEqnNum; }
bool IterationData::GetFeasStatus() { return m_feasStatus; }
void IterationData::SetNonlinearVarValues(double* values) { m_nlVarValues = values; }
void IterationData::GetNonlinearVarValues(double*& values) { values = m_nlVarValues; }
void IterationData::SetNonlinearEqnValues(double* values) { m_nlEqnValues = values; }
void IterationData::GetNonlinearEqnValues(double*& values) { values = m_nlEqnValues; }
void IterationData::GetNonlinearVarShadowValues(double*& values) { values = m_nlVarShadowValues; }
void IterationData::GetNonlinearEqnShadowValues(double*& values) { values = m_nlEqnShadowValues; }
double IterationData::GetPFunction() { return m_pFunction; }
void IterationData::SetPFunction(double value) { m_pFunction = value; }
double IterationData::GetNonLinRatio() { return m_nonLinRatio; }
void IterationData::SetNonLinRatio(double value) { m_nonLinRatio = value; }
double IterationData::GetObjValue() { return m_objValue; }
double IterationData::GetFeasValue() { return m_feasValue; }
double IterationData::GetObjConvFunc() { return m_objConvFunc; }
double IterationData::GetResConvFunc() { return m_resConvFunc; }
double IterationData::GetVarConvFunc() { return m_varConvFunc; }
double IterationData::GetUserObj() { return m_userObj; }
const char* IterationData::GetFeasRowName() { return m_feasRowName; }
void IterationData::SetObjValue(double value) { m_objValue = value; }
void IterationData::SetFeasValue(double value) { m_feasValue = value; }
void IterationData::SetObjConvFunc(double value) { m_objConvFunc = value; }
void IterationData::SetResConvFunc(double value) { m_resConvFunc = value; }
void IterationData::SetVarConvFunc(double value) { m_varConvFunc = value; }
void IterationData::SetUserObj(double value) { m_userObj = value; }

// Keeps at most kFeasRowNameSize - 1 bytes; the rest of the array is zeroed
// so that the whole array always has defined contents.
void IterationData::SetFeasRowName(const char* name) {
    std::memset(m_feasRowName, 0, sizeof m_feasRowName);
    if (name == nullptr) return;
    for (size_t i = 0; i + 1 < sizeof m_feasRowName && name[i] != '\0'; ++i)
        m_feasRowName[i] = name[i];
}

void IterationData::SetNLCounts(int variables, int equations) {
    m_nlVarNum = variables;
    m_nlEqnNum = equations;
}

void IterationData::SetFeasStatus(bool feasible) { m_feasStatus = feasible; }

namespace {

// The pointer arrays handed out by the three message operations.  The class
// layout is fixed, so they are kept here, one per object and list, and
// rebuilt by every call; an object's arrays go with the object.  Like the
// objects themselves, they are meant for one thread at a time.
struct MessageArrays {
    std::vector<char*> errors, warnings, information;
};

using ArraysByObject = std::unordered_map<const CTARNIterationData*, MessageArrays>;

// Null until the first hand-out makes the map, so that an object's end,
// which only looks the map up, never allocates.
std::atomic<ArraysByObject*> madeArrays{nullptr};

ArraysByObject& Arrays() {
    static ArraysByObject* const arrays = [] {
        auto* made = new ArraysByObject();
        madeArrays.store(made, std::memory_order_release);
        return made;
    }();
    return *arrays;
}

int HandOut(const CTARNIterationData* owner, std::vector<char*> MessageArrays::*which,
            CTARNMessageList& list, int* count, char*** texts) {
    const int n = static_cast<int>(list.m_texts.size());
    if (count != nullptr) *count = n;
    if (texts != nullptr) {
        std::vector<char*>& array = Arrays()[owner].*which;
        array.clear();
        for (std::string& text : list.m_texts) array.push_back(text.data());
        array.push_back(nullptr);
        *texts = array.data();
    }
    return n;
}

}  // namespace

CTARNIterationData::CTARNIterationData()
    : IterationData(), m_extraInt(0), m_extraValue(0.0), m_solution(nullptr) {}

CTARNIterationData::~CTARNIterationData() {
    if (ArraysByObject* arrays = madeArrays.load(std::memory_order_acquire)) arrays->erase(this);
}

// The first min(count, variables) values of this iteration's variable triples
// into values; lower and upper are not known to the iteration and are left
// as they are.  Returns the number of values written.
int CTARNIterationData::GetVarStructData(int count, double* values, double*, double*) {
    if (m_solution == nullptr || values == nullptr || count <= 0) return 0;
    const int n = std::min(count, m_solution->GetVariableCount());
    const double* triples = m_solution->GetVariableValues();
    for (int i = 0; i < n; ++i) values[i] = triples[3 * static_cast<size_t>(i)];
    return n;
}

// The same for the equations' residuals.
int CTARNIterationData::GetEqnStructData(int count, double* values, double*, double*) {
    if (m_solution == nullptr || values == nullptr || count <= 0) return 0;
    const int n = std::min(count, m_solution->GetEquationCount());
    const double* triples = m_solution->GetEquationValues();
    for (int i = 0; i < n; ++i) values[i] = triples[3 * static_cast<size_t>(i)];
    return n;
}

// The message operations return the number of texts, store it in *count and
// store in *texts an array of that many C strings followed by a null.  The
// array and the texts belong to the object and stay valid until the next
// call of the same operation on it, a change of the list, or its end.
int CTARNIterationData::GetErrorMessages(int* count, char*** texts) {
    return HandOut(this, &MessageArrays::errors, errorMessages, count, texts);
}

int CTARNIterationData::GetWarningMessages(int* count, char*** texts) {
    return HandOut(this, &MessageArrays::warnings, warningMessages, count, texts);
}

int CTARNIterationData::GetInfoMessages(int* count, char*** texts) {
    return HandOut(this, &MessageArrays::information, infoMessages, count, texts);
}
