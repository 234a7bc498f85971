// The five default operations of IterationData: each ignores its
// arguments, writes nothing and returns 0.  The solver library compiles this
// file too, for the virtual table it owns, and keeps its copies hidden.
#include "libs/iteration_data.h"

int IterationData::GetVarStructData(int, double*, double*, double*) { return 0; }
int IterationData::GetEqnStructData(int, double*, double*, double*) { return 0; }
int IterationData::GetErrorMessages(int*, char***) { return 0; }
int IterationData::GetWarningMessages(int*, char***) { return 0; }
int IterationData::GetInfoMessages(int*, char***) { return 0; }
