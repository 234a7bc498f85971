// The SLP run recorded through the run-data writer: the model and options
// first, each iteration as it ends, the outcome and final values at Close.
#pragma once

#include <string>

#include "solver.h"
#include "tarn/run_writer.hpp"

namespace slp {

class RunRecorder : public IterationSink {
public:
    // Starts BASE.vdr.  Throws tarn::rundata::FileError.
    RunRecorder(const std::string& base, const Model& model, const SolverOptions& options);
    void Record(const IterationRecord& record) override;
    // The outcome, the final values and the matrix at the final point.
    void Finish(const Result& result);
    // From now on others can follow the run: BASE.vdr.progress, a line per
    // iteration (tarn::rundata::RunWriter::WriteProgress).
    void WriteProgress() { m_run.WriteProgress(); }

private:
    void AddModel();
    void SetForm(int equation, const std::string& form);
    void AddOptions(const SolverOptions& options);

    const Model& m_model;
    tarn::rundata::RunWriter m_run;
    std::vector<bool> m_nonlinear;
    int m_nonlinearRows = 0, m_nonlinearVariables = 0;
};

}  // namespace slp
