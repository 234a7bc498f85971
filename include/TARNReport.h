// The report library's entry point.
//
// CreateUQExecutionReport(basePath) reads basePath + ".vdr" and writes the
// execution report basePath + ".log".  It returns 0 when the report was
// written to the end and -1 otherwise; the reason is printed on standard
// output (a missing data file or an unwritable report file) or standard
// error (a data file that does not load, a failure inside a library).
#pragma once

#include "libs/export.h"

#ifdef __cplusplus
extern "C" {
#endif

TARNREPORT_API int TARN_CDECL CreateUQExecutionReport(const char* basePath);

#ifdef __cplusplus
}
#endif
