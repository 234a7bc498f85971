// The exported entry point.  Nothing thrown inside a run crosses it.
#include <exception>

#include "TARNReport.h"
#include "run/create_report.h"

namespace {

// The C++ runtime keeps each thread's exception state (thrown exceptions,
// the count a region reads as it closes) in a thread-local block that a
// library loaded at run time gets from malloc on its first use; when that
// allocation fails, the dynamic loader ends the whole process.  The block
// is taken as the library loads and again as a run starts, so no run's own
// allocation failure can be the one that takes it.  (The runtime declares
// the count pure, so it is kept in a volatile, lest the call be dropped.)
int TakeExceptionState() {
    const volatile int count = std::uncaught_exceptions();
    return count;
}

[[maybe_unused]] const int kExceptionsAtLoad = TakeExceptionState();

}  // namespace

extern "C" TARNREPORT_API int TARN_CDECL CreateUQExecutionReport(const char* basePath) {
    TakeExceptionState();
    return RunReport(basePath);
}
