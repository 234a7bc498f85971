// The exported entry point.  Nothing thrown inside a run crosses it.
#include "TARNReport.h"
#include "run/create_report.h"

extern "C" TARNREPORT_API int TARN_CDECL CreateUQExecutionReport(const char* basePath) {
    return RunReport(basePath);
}
