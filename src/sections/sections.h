// The report's section writers, in the order the run calls them.
#pragma once

#include "run/run_context.h"

// The notice line and the region "Model and Options Display".
void WriteHeaderSection(RunContext& run);

// Opens "Iteration Information" and writes the region "Iteration Summary".
// Returns false, with the summary region left open, when the iteration list
// is empty.
bool WriteIterationSummary(RunContext& run);

// The region "Iteration Details" with one block per iteration; the region
// itself is left open for the run to close.
void WriteIterationDetails(RunContext& run);

// The region "Infeasibility Diagnosis", for an infeasibility state above 0.
void WriteInfeasibilityDiagnosis(RunContext& run);

// The product's legal notice, the report's first line.
extern const char kLegalNotice[];
