// The report's section writers, in the order the run calls them.  Each
// takes the run's model, which it only reads, and the writer, and closes
// every region it opens.
#pragma once

#include "model/run_model.h"
#include "output/report_writer.h"

// The notice line and the region "Model and Options Display".
void WriteHeaderSection(const RunModel& model, ReportWriter& writer);

// The region "Iteration Summary", inside "Iteration Information".  With no
// iterations it fails the run (RunFailure) after the column headers, its
// region left open.
void WriteIterationSummary(const RunModel& model, ReportWriter& writer);

// The region "Iteration Details" with one block per iteration.
void WriteIterationDetails(const RunModel& model, ReportWriter& writer);

// The region "Infeasibility Diagnosis", for an infeasibility state above 0.
void WriteInfeasibilityDiagnosis(const RunModel& model, ReportWriter& writer);

// The product's legal notice, the report's first line.
extern const char kLegalNotice[];
