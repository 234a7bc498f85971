// Copies that run out of memory part-way.
//
// This program replaces the global allocation functions with ones that count
// every allocation still alive and, when armed, fail the n-th allocation
// from then on with std::bad_alloc.  Each test makes the copy fail at every
// allocation it makes in turn, then lets it succeed, and checks that a
// failed copy passes the failure on, frees everything it allocated and, for
// an assignment, leaves the target as it was.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <optional>
#include <string>

#include "class_fields.h"
#include "libs/iteration_data.h"
#include "libs/veldxmps.h"

namespace {

long g_live = 0;          // allocations not yet freed
long g_untilFailure = -1; // allocations left before the failing one; -1 disarmed

void* Allocate(std::size_t size) {
    if (g_untilFailure == 0) {
        g_untilFailure = -1;
        throw std::bad_alloc();
    }
    if (g_untilFailure > 0) --g_untilFailure;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    ++g_live;
    return p;
}

void Free(void* p) noexcept {
    if (p == nullptr) return;
    --g_live;
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, std::size_t) noexcept { Free(p); }
void operator delete[](void* p, std::size_t) noexcept { Free(p); }

namespace {

// Runs op with the n-th allocation failing, for n = 0, 1, ... until op gets
// through, and checks that each failure freed what op had allocated.  check
// runs after each failure.  op must leave its result alive: whatever
// destroys it runs after the allocations are disarmed.  Returns the number
// of failures.
int FailEveryAllocation(const std::function<void()>& op, const std::function<void()>& check) {
    for (long n = 0; n < 1000; ++n) {
        const long liveBefore = g_live;
        g_untilFailure = n;
        try {
            op();
        } catch (const std::bad_alloc&) {
            g_untilFailure = -1;
            EXPECT_EQ(g_live, liveBefore) << "after failing allocation " << n;
            check();
            continue;
        }
        // Got through without reaching the failing allocation.
        EXPECT_GE(g_untilFailure, 0);
        g_untilFailure = -1;
        return static_cast<int>(n);
    }
    ADD_FAILURE() << "the operation never got through";
    return -1;
}

// Texts longer than the short-string buffer, so each one allocates.
void AddTexts(CTARNMessageList& list, const std::string& stem, int count) {
    for (int i = 0; i < count; ++i)
        list.Add(stem + " message number " + std::to_string(i + 1) + " of the iteration");
}

bool SameLists(const CTARNIterationData& a, const CTARNIterationData& b) {
    auto same = [](const CTARNMessageList& x, const CTARNMessageList& y) {
        return x.m_texts == y.m_texts && x.m_count == y.m_count && x.m_cursor == y.m_cursor &&
               x.m_reserved == y.m_reserved;
    };
    return same(a.errorMessages, b.errorMessages) && same(a.infoMessages, b.infoMessages) &&
           same(a.warningMessages, b.warningMessages);
}

const std::string kRoutine = "CVELDModelReader::ReadVariableSection";

bool SameTexts(const VELD_Exception& a, const VELD_Exception& b) {
    return a.*ExceptionFields::Name() == b.*ExceptionFields::Name() &&
           a.*ExceptionFields::Reason() == b.*ExceptionFields::Reason() &&
           a.*ExceptionFields::Routine() == b.*ExceptionFields::Routine() &&
           a.*ExceptionFields::Detail() == b.*ExceptionFields::Detail() &&
           a.*ExceptionFields::Code() == b.*ExceptionFields::Code();
}

}  // namespace

TEST(CopyFailure, IterationDataCopyFailingInAnyListFreesEverything) {
    CTARNIterationData source;
    source.SetFeasRowName("EQUATION_WITH_THE_LARGEST_INFEASIBILITY");
    AddTexts(source.errorMessages, "error", 3);
    AddTexts(source.infoMessages, "information", 1);
    AddTexts(source.warningMessages, "warning", 2);

    std::optional<CTARNIterationData> copy;
    const int failures = FailEveryAllocation([&] { copy.emplace(source); }, [] {});
    ASSERT_TRUE(copy.has_value());
    EXPECT_TRUE(SameLists(*copy, source));
    // One array and one text allocation per text, in each of the three lists.
    EXPECT_EQ(failures, (1 + 3) + (1 + 1) + (1 + 2));
}

TEST(CopyFailure, IterationDataAssignmentFailingLeavesTheTargetAsItWas) {
    CTARNIterationData source;
    source.SetIter(8);
    AddTexts(source.errorMessages, "error", 2);
    AddTexts(source.infoMessages, "information", 3);
    AddTexts(source.warningMessages, "warning", 1);

    CTARNIterationData target;
    target.SetIter(3);
    target.m_extraInt = 17;
    AddTexts(target.errorMessages, "old error", 1);
    AddTexts(target.warningMessages, "old warning", 4);
    target.warningMessages.GetFirst();
    target.warningMessages.GetNext();
    const CTARNIterationData before(target);

    const int failures = FailEveryAllocation([&] { target = source; },
                                             [&] {
                                                 EXPECT_EQ(target.GetIter(), 3);
                                                 EXPECT_EQ(target.m_extraInt, 17);
                                                 EXPECT_TRUE(SameLists(target, before));
                                             });
    EXPECT_GT(failures, 0);
    EXPECT_EQ(target.GetIter(), 8);
    EXPECT_TRUE(SameLists(target, source));
}

TEST(CopyFailure, ExceptionCopiesFailingFreeEverything) {
    VELD_ExcpFileError fileError(kRoutine, "/runs/blending/case-0042/model.vdr",
                                 "a line longer than the buffer of the reader", 12);
    fileError.*ExceptionFields::Detail() = "a detail text long enough to allocate";
    std::optional<VELD_ExcpFileError> fileCopy;
    EXPECT_EQ(FailEveryAllocation([&] { fileCopy.emplace(fileError); }, [] {}), 6);
    ASSERT_TRUE(fileCopy.has_value());
    EXPECT_TRUE(SameTexts(*fileCopy, fileError));

    VELD_ExcpBadAllocation allocation(kRoutine, "the name lists of the variables", 1 << 20);
    std::optional<VELD_ExcpBadAllocation> allocationCopy;
    EXPECT_EQ(FailEveryAllocation([&] { allocationCopy.emplace(allocation); }, [] {}), 4);
    ASSERT_TRUE(allocationCopy.has_value());
    EXPECT_TRUE(SameTexts(*allocationCopy, allocation));
}

TEST(CopyFailure, ExceptionAssignmentsFailingLeaveTheTargetAsItWas) {
    const VELD_ExcpFileError fileSource(kRoutine, "/runs/blending/case-0042/model.vdr",
                                        "a line longer than the buffer of the reader", 12);
    VELD_ExcpFileError fileTarget("CVELDOptionReader::ReadOptions", "/another/file/name/x.vdr",
                                  "another problem with the file", 99);
    const VELD_ExcpFileError fileBefore(fileTarget);
    EXPECT_GT(FailEveryAllocation([&] { fileTarget = fileSource; },
                                  [&] {
                                      EXPECT_TRUE(SameTexts(fileTarget, fileBefore));
                                      EXPECT_EQ(fileTarget.*FileErrorFields::FileName(),
                                                fileBefore.*FileErrorFields::FileName());
                                      EXPECT_EQ(fileTarget.*FileErrorFields::Line(), 99);
                                  }),
              0);
    EXPECT_TRUE(SameTexts(fileTarget, fileSource));
    EXPECT_EQ(fileTarget.*FileErrorFields::Problem(), fileSource.*FileErrorFields::Problem());

    const VELD_ExcpBadAllocation allocationSource(kRoutine, "the coefficient matrix rows", 64);
    VELD_ExcpBadAllocation allocationTarget("CTARNSolver::AllocateWorkspace",
                                            "the workspace of the linear solver", 128);
    const VELD_ExcpBadAllocation allocationBefore(allocationTarget);
    EXPECT_GT(FailEveryAllocation([&] { allocationTarget = allocationSource; },
                                  [&] {
                                      EXPECT_TRUE(SameTexts(allocationTarget, allocationBefore));
                                      EXPECT_EQ(allocationTarget.*BadAllocationFields::Object(),
                                                allocationBefore.*BadAllocationFields::Object());
                                  }),
              0);
    EXPECT_TRUE(SameTexts(allocationTarget, allocationSource));
}
