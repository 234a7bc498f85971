// Copy operations of the model library's exception family.
#include <gtest/gtest.h>

#include <string>

#include "class_fields.h"
#include "libs/veldxmps.h"

namespace {

// Texts longer than the short-string buffer, so each has storage of its own.
const std::string kRoutine = "CVELDModelReader::ReadEquationSection";
const std::string kFile = "/runs/blending/case-0042/model_definition.vdr";
const std::string kProblem = "unexpected end of the equation section";

void ExpectSameBase(const VELD_Exception& a, const VELD_Exception& b) {
    EXPECT_EQ(a.*ExceptionFields::Code(), b.*ExceptionFields::Code());
    EXPECT_EQ(a.*ExceptionFields::Name(), b.*ExceptionFields::Name());
    EXPECT_EQ(a.*ExceptionFields::Reason(), b.*ExceptionFields::Reason());
    EXPECT_EQ(a.*ExceptionFields::Routine(), b.*ExceptionFields::Routine());
    EXPECT_EQ(a.*ExceptionFields::Detail(), b.*ExceptionFields::Detail());
    EXPECT_EQ(a.*ExceptionFields::Severity(), b.*ExceptionFields::Severity());
    EXPECT_STREQ(a.what(), b.what());
}

void ExpectSame(const VELD_ExcpFileError& a, const VELD_ExcpFileError& b) {
    ExpectSameBase(a, b);
    EXPECT_EQ(a.*FileErrorFields::FileName(), b.*FileErrorFields::FileName());
    EXPECT_EQ(a.*FileErrorFields::Problem(), b.*FileErrorFields::Problem());
    EXPECT_EQ(a.*FileErrorFields::Line(), b.*FileErrorFields::Line());
}

void ExpectSame(const VELD_ExcpBadAllocation& a, const VELD_ExcpBadAllocation& b) {
    ExpectSameBase(a, b);
    EXPECT_EQ(a.*BadAllocationFields::Object(), b.*BadAllocationFields::Object());
    EXPECT_EQ(a.*BadAllocationFields::Bytes(), b.*BadAllocationFields::Bytes());
}

VELD_ExcpFileError MakeFileError() {
    VELD_ExcpFileError e(kRoutine, kFile, kProblem, 318);
    e.*ExceptionFields::Detail() = "detail text that is long enough to be allocated";
    e.*ExceptionFields::Severity() = 4;
    return e;
}

}  // namespace

TEST(ExceptionCopy, FileErrorCopyHoldsItsOwnLongTexts) {
    VELD_ExcpFileError source = MakeFileError();
    const std::string reason = source.what();

    VELD_ExcpFileError copy(source);
    ExpectSame(copy, source);
    EXPECT_NE(copy.what(), source.what());  // its own storage

    // Changing every text of the source afterwards leaves the copy alone.
    for (auto text : {ExceptionFields::Name(), ExceptionFields::Reason(),
                      ExceptionFields::Routine(), ExceptionFields::Detail()})
        (source.*text)[3] = '#';
    (source.*FileErrorFields::FileName())[3] = '#';
    (source.*FileErrorFields::Problem())[3] = '#';

    EXPECT_EQ(copy.what(), reason);
    EXPECT_EQ(copy.*ExceptionFields::Routine(), kRoutine);
    EXPECT_EQ(copy.*ExceptionFields::Name(), "VELD_ExcpFileError");
    EXPECT_EQ(copy.*ExceptionFields::Detail(), "detail text that is long enough to be allocated");
    EXPECT_EQ(copy.*FileErrorFields::FileName(), kFile);
    EXPECT_EQ(copy.*FileErrorFields::Problem(), kProblem);
    EXPECT_EQ(copy.*FileErrorFields::Line(), 318);
}

TEST(ExceptionCopy, WhatOfACopyIsTheSourcesText) {
    const VELD_Exception general(7, "VELD_Exception", "the model manager is not ready for work",
                                 kRoutine);
    const VELD_Exception copy(general);
    EXPECT_STREQ(copy.what(), "the model manager is not ready for work");

    const VELD_Exception noReason(7, "VELD_Exception", "", kRoutine);
    VELD_Exception copyOfNone(noReason);
    EXPECT_STREQ(copyOfNone.what(), "Unknown exception");

    VELD_ExcpBadAllocation allocation(kRoutine, "the coefficient matrix of the model", 4096);
    VELD_ExcpBadAllocation copyOfAllocation(allocation);
    EXPECT_STREQ(copyOfAllocation.what(), allocation.what());
    EXPECT_STREQ(copyOfAllocation.what(),
                 "cannot allocate 4096 bytes for the coefficient matrix of the model");
}

TEST(ExceptionCopy, BadAllocationCopyAndAssignment) {
    VELD_ExcpBadAllocation source(kRoutine, "the iteration list of the loaded run", 123456);
    source.*ExceptionFields::Detail() = "detail";
    VELD_ExcpBadAllocation copy(source);
    ExpectSame(copy, source);

    VELD_ExcpBadAllocation target("x", "y", 1);
    VELD_ExcpBadAllocation& result = (target = source);
    EXPECT_EQ(&result, &target);
    ExpectSame(target, source);

    (source.*BadAllocationFields::Object())[0] = '#';
    EXPECT_EQ(target.*BadAllocationFields::Object(), "the iteration list of the loaded run");
}

TEST(ExceptionCopy, AssignmentReplacesEveryMember) {
    const VELD_ExcpFileError source = MakeFileError();
    VELD_ExcpFileError target("r", "", "", 0);
    target.*ExceptionFields::Code() = 99;

    VELD_ExcpFileError& result = (target = source);
    EXPECT_EQ(&result, &target);
    ExpectSame(target, source);

    VELD_Exception base(1, "n", "reason", "routine");
    base = source;  // the VELD_Exception part only
    ExpectSameBase(base, source);
}

TEST(ExceptionCopy, SelfAssignmentChangesNothing) {
    VELD_ExcpFileError fileError = MakeFileError();
    const VELD_ExcpFileError fileErrorBefore(fileError);
    VELD_ExcpFileError& fileAlias = fileError;
    fileError = fileAlias;
    ExpectSame(fileError, fileErrorBefore);

    VELD_ExcpBadAllocation allocation(kRoutine, "the equation set of the model", 64);
    const VELD_ExcpBadAllocation allocationBefore(allocation);
    VELD_ExcpBadAllocation& allocationAlias = allocation;
    allocation = allocationAlias;
    ExpectSame(allocation, allocationBefore);

    VELD_Exception general(5, "VELD_Exception", "a reason longer than fifteen", kRoutine);
    const VELD_Exception generalBefore(general);
    const char* const what = general.what();
    VELD_Exception& generalAlias = general;
    general = generalAlias;
    ExpectSameBase(general, generalBefore);
    EXPECT_EQ(general.what(), what);  // not even reallocated
}
