// Copy operations and default operations of IterationData and
// CTARNIterationData.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "class_fields.h"
#include "libs/iteration_data.h"

namespace {

constexpr size_t kNameSize = IterationData::kFeasRowNameSize;

// Stands in for an iteration solution: copies only compare its address.
CTARNIterationSolution* FakeSolution(void* storage) {
    return static_cast<CTARNIterationSolution*>(storage);
}

// Arrays the objects refer to; a copy must refer to these very arrays.
struct Arrays {
    double varValues[2] = {1.5, 2.5};
    double eqnValues[2] = {3.5, 4.5};
    double varShadow[2] = {5.5, 6.5};
    double eqnShadow[2] = {7.5, 8.5};
};

// Gives every member of the IterationData part a value of its own.
void Fill(IterationData& d, Arrays& arrays, int seed) {
    d.SetIter(seed);
    d.SetNLCounts(seed + 1, seed + 2);
    d.SetFeasStatus(seed % 2 == 1);
    d.SetNonlinearVarValues(arrays.varValues);
    d.SetNonlinearEqnValues(arrays.eqnValues);
    d.*IterationDataFields::NLVarShadowValues() = arrays.varShadow;
    d.*IterationDataFields::NLEqnShadowValues() = arrays.eqnShadow;
    d.SetPFunction(seed + 0.125);
    d.SetNonLinRatio(seed + 0.25);
    d.SetObjValue(seed + 0.375);
    d.SetFeasValue(seed + 0.5);
    d.SetObjConvFunc(seed + 0.625);
    d.SetResConvFunc(seed + 0.75);
    d.SetVarConvFunc(seed + 0.875);
    d.SetUserObj(seed + 1.125);
    d.SetFeasRowName(("ROW" + std::to_string(seed)).c_str());
}

// Every member of the IterationData part of two objects is the same; arrays
// are compared by address.
void ExpectSameBase(IterationData& a, IterationData& b) {
    EXPECT_EQ(a.GetIter(), b.GetIter());
    EXPECT_EQ(a.GetNLVarNum(), b.GetNLVarNum());
    EXPECT_EQ(a.GetNLEqnNum(), b.GetNLEqnNum());
    EXPECT_EQ(a.GetFeasStatus(), b.GetFeasStatus());
    double* pa = nullptr;
    double* pb = nullptr;
    a.GetNonlinearVarValues(pa), b.GetNonlinearVarValues(pb);
    EXPECT_EQ(pa, pb);
    a.GetNonlinearEqnValues(pa), b.GetNonlinearEqnValues(pb);
    EXPECT_EQ(pa, pb);
    a.GetNonlinearVarShadowValues(pa), b.GetNonlinearVarShadowValues(pb);
    EXPECT_EQ(pa, pb);
    a.GetNonlinearEqnShadowValues(pa), b.GetNonlinearEqnShadowValues(pb);
    EXPECT_EQ(pa, pb);
    EXPECT_EQ(a.GetPFunction(), b.GetPFunction());
    EXPECT_EQ(a.GetNonLinRatio(), b.GetNonLinRatio());
    EXPECT_EQ(a.GetObjValue(), b.GetObjValue());
    EXPECT_EQ(a.GetFeasValue(), b.GetFeasValue());
    EXPECT_EQ(a.GetObjConvFunc(), b.GetObjConvFunc());
    EXPECT_EQ(a.GetResConvFunc(), b.GetResConvFunc());
    EXPECT_EQ(a.GetVarConvFunc(), b.GetVarConvFunc());
    EXPECT_EQ(a.GetUserObj(), b.GetUserObj());
    EXPECT_EQ(0, std::memcmp(a.GetFeasRowName(), b.GetFeasRowName(), kNameSize));
}

std::vector<std::string> Texts(CTARNMessageList list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.GetCount(); ++i)
        texts.push_back(i == 0 ? list.GetFirst() : list.GetNext());
    return texts;
}

void ExpectSameList(const CTARNMessageList& a, const CTARNMessageList& b) {
    EXPECT_EQ(a.m_texts, b.m_texts);
    EXPECT_EQ(a.m_count, b.m_count);
    EXPECT_EQ(a.m_cursor, b.m_cursor);
    EXPECT_EQ(a.m_reserved, b.m_reserved);
}

void ExpectSame(CTARNIterationData& a, CTARNIterationData& b) {
    ExpectSameBase(a, b);
    EXPECT_EQ(a.m_extraInt, b.m_extraInt);
    EXPECT_EQ(a.m_extraValue, b.m_extraValue);
    EXPECT_EQ(a.m_solution, b.m_solution);
    ExpectSameList(a.errorMessages, b.errorMessages);
    ExpectSameList(a.infoMessages, b.infoMessages);
    ExpectSameList(a.warningMessages, b.warningMessages);
}

// Texts longer than the short-string buffer, so each has storage of its own.
void AddTexts(CTARNMessageList& list, const std::string& stem, int count) {
    for (int i = 0; i < count; ++i)
        list.Add(stem + " message number " + std::to_string(i + 1) + " of the iteration");
}

}  // namespace

// ---------------------------------------------------------------------------
// IterationData

TEST(IterationDataCopy, CopiesEveryMemberAndSharesTheArrays) {
    Arrays arrays;
    IterationData source;
    Fill(source, arrays, 7);

    IterationData copy(source);
    ExpectSameBase(copy, source);

    // The arrays are shared: a change through the source shows in the copy.
    arrays.varShadow[1] = -1.0;
    double* shadow = nullptr;
    copy.GetNonlinearVarShadowValues(shadow);
    EXPECT_EQ(shadow[1], -1.0);
}

TEST(IterationDataCopy, AssignmentOverwritesEveryMember) {
    Arrays arrays, otherArrays;
    IterationData source, target;
    Fill(source, arrays, 3);
    Fill(target, otherArrays, 40);
    (target.*IterationDataFields::FeasRowName())[150] = 'x';

    IterationData& result = (target = source);
    EXPECT_EQ(&result, &target);
    ExpectSameBase(target, source);
}

TEST(IterationDataCopy, NameOf199CharactersIsCopiedWhole) {
    const std::string name(kNameSize - 1, 'N');
    IterationData source;
    source.SetFeasRowName(name.c_str());
    ASSERT_EQ(std::strlen(source.GetFeasRowName()), kNameSize - 1);

    IterationData copy(source);
    EXPECT_EQ(copy.GetFeasRowName(), name);

    IterationData assigned;
    assigned.SetFeasRowName("OLD");
    assigned = source;
    EXPECT_EQ(assigned.GetFeasRowName(), name);
}

TEST(IterationDataCopy, BytesAfterTheNameTerminatorAreCopied) {
    IterationData source;
    char (&raw)[kNameSize] = source.*IterationDataFields::FeasRowName();
    for (size_t i = 0; i < kNameSize; ++i) raw[i] = static_cast<char>('A' + i % 26);
    raw[12] = '\0';

    IterationData copy(source);
    EXPECT_EQ(0, std::memcmp(copy.GetFeasRowName(), raw, kNameSize));

    IterationData assigned;
    assigned = source;
    EXPECT_EQ(0, std::memcmp(assigned.GetFeasRowName(), raw, kNameSize));
}

TEST(IterationDataCopy, SelfAssignmentChangesNothing) {
    Arrays arrays;
    IterationData d, before;
    Fill(d, arrays, 5);
    before = d;

    IterationData& alias = d;
    d = alias;
    ExpectSameBase(d, before);
}

// ---------------------------------------------------------------------------
// CTARNIterationData

TEST(CTARNIterationDataCopy, ListsOfThreeZeroAndOneTextsAreCopiedInOrder) {
    // Every list size in every list position.
    const int sizes[3][3] = {{3, 0, 1}, {0, 1, 3}, {1, 3, 0}};
    for (const auto& size : sizes) {
        CTARNIterationData source;
        AddTexts(source.errorMessages, "error", size[0]);
        AddTexts(source.infoMessages, "information", size[1]);
        AddTexts(source.warningMessages, "warning", size[2]);

        CTARNIterationData copy(source);
        ExpectSame(copy, source);
        EXPECT_EQ(Texts(copy.errorMessages), source.errorMessages.m_texts);
        EXPECT_EQ(Texts(copy.infoMessages), source.infoMessages.m_texts);
        EXPECT_EQ(Texts(copy.warningMessages), source.warningMessages.m_texts);
    }
}

TEST(CTARNIterationDataCopy, CopiedListsAreIndependentOfTheSource) {
    CTARNIterationData source;
    AddTexts(source.errorMessages, "error", 3);
    AddTexts(source.warningMessages, "warning", 1);
    const std::vector<std::string> errors = source.errorMessages.m_texts;

    CTARNIterationData copy(source);
    copy.errorMessages.m_texts[0][0] = '#';
    copy.errorMessages.Add("added to the copy only, long enough");
    copy.infoMessages.Add("information added to the copy only");
    EXPECT_EQ(source.errorMessages.m_texts, errors);
    EXPECT_EQ(source.errorMessages.GetCount(), 3);
    EXPECT_EQ(source.infoMessages.GetCount(), 0);

    source.warningMessages.m_texts[0] = "changed in the source afterwards";
    EXPECT_EQ(copy.warningMessages.GetFirst(), "warning message number 1 of the iteration");
}

TEST(CTARNIterationDataCopy, CopiedListIsWalkedFromGetFirst) {
    CTARNIterationData source;
    AddTexts(source.infoMessages, "information", 3);
    source.infoMessages.m_reserved = 0x5a5a;
    source.infoMessages.GetFirst();
    source.infoMessages.GetNext();  // source cursor on the second text

    CTARNIterationData copy(source);
    EXPECT_EQ(copy.infoMessages.m_cursor, 1);
    EXPECT_EQ(copy.infoMessages.m_reserved, 0x5a5a);

    CTARNMessageList& list = copy.infoMessages;
    EXPECT_EQ(list.GetFirst(), source.infoMessages.m_texts[0]);
    EXPECT_EQ(list.GetNext(), source.infoMessages.m_texts[1]);
    EXPECT_EQ(list.GetNext(), source.infoMessages.m_texts[2]);
    EXPECT_EQ(list.GetNext(), "");
    // The walk of the copy moved only the copy's cursor.
    EXPECT_EQ(source.infoMessages.m_cursor, 1);
}

TEST(CTARNIterationDataCopy, SharesSolutionAndArraysAndCopiesExtras) {
    Arrays arrays;
    int solutionStorage = 0;
    CTARNIterationData source;
    Fill(source, arrays, 11);
    source.m_extraInt = -77;
    source.m_extraValue = 0.0625;
    source.m_solution = FakeSolution(&solutionStorage);

    CTARNIterationData copy(source);
    ExpectSame(copy, source);
    EXPECT_EQ(copy.m_solution, FakeSolution(&solutionStorage));
}

TEST(CTARNIterationDataCopy, AssignmentReplacesEveryMemberAndList) {
    Arrays arrays, otherArrays;
    int solutionStorage = 0;
    CTARNIterationData source;
    Fill(source, arrays, 2);
    source.m_extraInt = 9;
    source.m_extraValue = 9.5;
    source.m_solution = FakeSolution(&solutionStorage);
    AddTexts(source.errorMessages, "error", 1);
    AddTexts(source.warningMessages, "warning", 3);
    source.warningMessages.GetFirst();
    source.warningMessages.GetNext();
    source.errorMessages.m_reserved = 12;

    CTARNIterationData target;
    Fill(target, otherArrays, 30);
    AddTexts(target.errorMessages, "old error", 3);
    AddTexts(target.infoMessages, "old information", 2);
    target.infoMessages.GetFirst();
    target.infoMessages.GetNext();
    target.infoMessages.m_reserved = 99;

    CTARNIterationData& result = (target = source);
    EXPECT_EQ(&result, &target);
    ExpectSame(target, source);

    target.warningMessages.m_texts[2] += " changed";
    EXPECT_EQ(source.warningMessages.m_texts[2], "warning message number 3 of the iteration");
}

TEST(CTARNIterationDataCopy, SelfAssignmentLeavesListsUnchanged) {
    Arrays arrays;
    CTARNIterationData d;
    Fill(d, arrays, 4);
    d.m_extraInt = 1;
    AddTexts(d.errorMessages, "error", 3);
    AddTexts(d.warningMessages, "warning", 1);
    d.errorMessages.GetFirst();
    d.errorMessages.GetNext();
    d.errorMessages.m_reserved = 3;
    CTARNIterationData before(d);

    CTARNIterationData& alias = d;
    d = alias;
    ExpectSame(d, before);
}

// ---------------------------------------------------------------------------
// The five default operations of IterationData

TEST(IterationDataDefaults, ReturnZeroAndLeaveOutParametersAlone) {
    double values[2] = {1.0, 2.0}, lower[2] = {3.0, 4.0}, upper[2] = {5.0, 6.0};
    int count = 42;
    char* text = nullptr;
    char** texts = &text;

    // Through the virtual table of a plain IterationData ...
    IterationData plain;
    IIterationData& data = plain;
    EXPECT_EQ(data.GetVarStructData(2, values, lower, upper), 0);
    EXPECT_EQ(data.GetEqnStructData(2, values, lower, upper), 0);
    EXPECT_EQ(data.GetErrorMessages(&count, &texts), 0);
    EXPECT_EQ(data.GetWarningMessages(&count, &texts), 0);
    EXPECT_EQ(data.GetInfoMessages(&count, &texts), 0);

    // ... and by name on an object whose class overrides them.
    CTARNIterationData derived;
    AddTexts(derived.errorMessages, "error", 2);
    EXPECT_EQ(derived.IterationData::GetVarStructData(2, values, lower, upper), 0);
    EXPECT_EQ(derived.IterationData::GetEqnStructData(2, values, lower, upper), 0);
    EXPECT_EQ(derived.IterationData::GetErrorMessages(&count, &texts), 0);
    EXPECT_EQ(derived.IterationData::GetWarningMessages(&count, &texts), 0);
    EXPECT_EQ(derived.IterationData::GetInfoMessages(&count, &texts), 0);

    EXPECT_EQ(values[0], 1.0);
    EXPECT_EQ(values[1], 2.0);
    EXPECT_EQ(lower[0], 3.0);
    EXPECT_EQ(lower[1], 4.0);
    EXPECT_EQ(upper[0], 5.0);
    EXPECT_EQ(upper[1], 6.0);
    EXPECT_EQ(count, 42);
    EXPECT_EQ(texts, &text);
    EXPECT_EQ(text, nullptr);
}
