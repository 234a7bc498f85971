// Per-iteration data of the solver library.
//
// IIterationData <- IterationData <- CTARNIterationData.  The solver library
// creates, fills and destroys these objects and owns their virtual tables;
// the report library defines and exports the copy operations and the five
// default operations of IterationData.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "libs/export.h"

class CTARNIterationSolution;

class IIterationData {
public:
    virtual ~IIterationData() = default;
    virtual void SetIter(int iter) = 0;
    virtual int GetIter() = 0;
    virtual int GetNLVarNum() = 0;
    virtual int GetNLEqnNum() = 0;
    virtual bool GetFeasStatus() = 0;
    virtual void SetNonlinearVarValues(double* values) = 0;
    virtual void GetNonlinearVarValues(double*& values) = 0;
    virtual void SetNonlinearEqnValues(double* values) = 0;
    virtual void GetNonlinearEqnValues(double*& values) = 0;
    virtual void GetNonlinearVarShadowValues(double*& values) = 0;
    virtual void GetNonlinearEqnShadowValues(double*& values) = 0;
    virtual double GetPFunction() = 0;
    virtual void SetPFunction(double value) = 0;
    virtual double GetNonLinRatio() = 0;
    virtual void SetNonLinRatio(double value) = 0;
    virtual double GetObjValue() = 0;
    virtual double GetFeasValue() = 0;
    virtual double GetObjConvFunc() = 0;
    virtual double GetResConvFunc() = 0;
    virtual double GetVarConvFunc() = 0;
    virtual double GetUserObj() = 0;
    virtual const char* GetFeasRowName() = 0;
    virtual void SetObjValue(double value) = 0;
    virtual void SetFeasValue(double value) = 0;
    virtual void SetObjConvFunc(double value) = 0;
    virtual void SetResConvFunc(double value) = 0;
    virtual void SetVarConvFunc(double value) = 0;
    virtual void SetUserObj(double value) = 0;
    virtual void SetFeasRowName(const char* name) = 0;
    virtual int GetVarStructData(int count, double* values, double* lower, double* upper) = 0;
    virtual int GetEqnStructData(int count, double* values, double* lower, double* upper) = 0;
    virtual int GetErrorMessages(int* count, char*** texts) = 0;
    virtual int GetWarningMessages(int* count, char*** texts) = 0;
    virtual int GetInfoMessages(int* count, char*** texts) = 0;
};

class LIBS_SHARED_CLASS IterationData : public IIterationData {
public:
    enum { kFeasRowNameSize = 200 };

    TARN_API IterationData();
    TARNREPORT_API IterationData(const IterationData& other);
    TARNREPORT_API IterationData& operator=(const IterationData& other);
    TARN_API ~IterationData() override;

    TARN_API void SetIter(int iter) override;
    TARN_API int GetIter() override;
    TARN_API int GetNLVarNum() override;
    TARN_API int GetNLEqnNum() override;
    TARN_API bool GetFeasStatus() override;
    TARN_API void SetNonlinearVarValues(double* values) override;
    TARN_API void GetNonlinearVarValues(double*& values) override;
    TARN_API void SetNonlinearEqnValues(double* values) override;
    TARN_API void GetNonlinearEqnValues(double*& values) override;
    TARN_API void GetNonlinearVarShadowValues(double*& values) override;
    TARN_API void GetNonlinearEqnShadowValues(double*& values) override;
    TARN_API double GetPFunction() override;
    TARN_API void SetPFunction(double value) override;
    TARN_API double GetNonLinRatio() override;
    TARN_API void SetNonLinRatio(double value) override;
    TARN_API double GetObjValue() override;
    TARN_API double GetFeasValue() override;
    TARN_API double GetObjConvFunc() override;
    TARN_API double GetResConvFunc() override;
    TARN_API double GetVarConvFunc() override;
    TARN_API double GetUserObj() override;
    TARN_API const char* GetFeasRowName() override;
    TARN_API void SetObjValue(double value) override;
    TARN_API void SetFeasValue(double value) override;
    TARN_API void SetObjConvFunc(double value) override;
    TARN_API void SetResConvFunc(double value) override;
    TARN_API void SetVarConvFunc(double value) override;
    TARN_API void SetUserObj(double value) override;
    TARN_API void SetFeasRowName(const char* name) override;
    // The defaults: ignore the arguments, write nothing, return 0.
    TARNREPORT_API int GetVarStructData(int count, double* values, double* lower, double* upper) override;
    TARNREPORT_API int GetEqnStructData(int count, double* values, double* lower, double* upper) override;
    TARNREPORT_API int GetErrorMessages(int* count, char*** texts) override;
    TARNREPORT_API int GetWarningMessages(int* count, char*** texts) override;
    TARNREPORT_API int GetInfoMessages(int* count, char*** texts) override;

    // Setters the loader uses for the members that have none above.
    TARN_API void SetNLCounts(int variables, int equations);
    TARN_API void SetFeasStatus(bool feasible);

protected:
    int m_iter;
    int m_nlVarNum;
    int m_nlEqnNum;
    bool m_feasStatus;
    double* m_nlVarValues;
    double* m_nlEqnValues;
    double* m_nlVarShadowValues;
    double* m_nlEqnShadowValues;
    double m_pFunction;
    double m_nonLinRatio;
    double m_objValue;
    double m_feasValue;
    double m_objConvFunc;
    double m_resConvFunc;
    double m_varConvFunc;
    double m_userObj;
    char m_feasRowName[kFeasRowNameSize];
};

// An ordered list of message texts with a cursor kept as an index, so a
// copied list never points into another object.
class CTARNMessageList {
public:
    int GetCount() const { return m_count; }

    // Moves the cursor to the first text and returns a copy of it; an empty
    // text when the list is empty.
    std::string GetFirst() {
        m_cursor = 0;
        return TextAtCursor();
    }

    // Moves the cursor on and returns the text there; an empty text once the
    // cursor has passed the last text.
    std::string GetNext() {
        if (m_cursor < m_count) ++m_cursor;
        return TextAtCursor();
    }

    // Takes the text over: a long text is not copied again.
    void Add(std::string text) {
        m_texts.push_back(std::move(text));
        m_count = static_cast<int>(m_texts.size());
    }

    std::vector<std::string> m_texts;
    int m_count = 0;
    int m_cursor = 0;
    int m_reserved = 0;

private:
    std::string TextAtCursor() const {
        if (m_cursor < 0 || m_cursor >= m_count ||
            static_cast<size_t>(m_cursor) >= m_texts.size())
            return std::string();
        return m_texts[static_cast<size_t>(m_cursor)];
    }
};

class LIBS_SHARED_CLASS CTARNIterationData : public IterationData {
public:
    TARN_API CTARNIterationData();
    TARNREPORT_API CTARNIterationData(const CTARNIterationData& other);
    TARNREPORT_API CTARNIterationData& operator=(const CTARNIterationData& other);
    TARN_API ~CTARNIterationData() override;

    TARN_API int GetVarStructData(int count, double* values, double* lower, double* upper) override;
    TARN_API int GetEqnStructData(int count, double* values, double* lower, double* upper) override;
    TARN_API int GetErrorMessages(int* count, char*** texts) override;
    TARN_API int GetWarningMessages(int* count, char*** texts) override;
    TARN_API int GetInfoMessages(int* count, char*** texts) override;

    int m_extraInt;
    double m_extraValue;
    // The iteration's value triples; owned by the iteration list, shared by copies.
    CTARNIterationSolution* m_solution;
    CTARNMessageList errorMessages;
    CTARNMessageList infoMessages;
    CTARNMessageList warningMessages;
};
