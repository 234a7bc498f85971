// libFuzzer target: the run-data loader on arbitrary bytes.  Besides never
// crashing, hanging or leaking, a refusal must be one line naming the file,
// and an accepted run must be consistent: one triple per item in every
// iteration, and every matrix and diagnosis reference naming an item.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "run_data_loader.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tarn::LoadedRun run;
    const tarn::LoadError error =
        tarn::ParseRunData(reinterpret_cast<const char*>(data), size, "fuzz.vdr", run);
    if (error.Failed()) {
        Check(error.file == "fuzz.vdr");
        Check(error.Line().find('\n') == std::string::npos);
        return 0;
    }
    const std::size_t variables = run.model.variables.size();
    const std::size_t equations = run.model.equations.size();
    Check(run.iterations.size() == run.solutions.size());
    for (std::size_t i = 0; i < run.iterations.size(); ++i) {
        Check(run.iterations[i]->m_solution == run.solutions[i].get());
        Check(run.iterations[i]->GetIter() == static_cast<int>(i));
        Check(run.solutions[i]->m_variableTriples.size() == 3 * variables);
        Check(run.solutions[i]->m_equationTriples.size() == 3 * equations);
    }
    for (const auto& entry : run.model.matrix) {
        Check(entry.equation >= 1 && static_cast<std::size_t>(entry.equation) <= equations);
        Check(entry.variable >= 1 && static_cast<std::size_t>(entry.variable) <= variables);
    }
    for (int e : run.diagEquations) Check(e >= 1 && static_cast<std::size_t>(e) <= equations);
    for (int v : run.diagVariables) Check(v >= 1 && static_cast<std::size_t>(v) <= variables);
    for (const auto& variable : run.model.variables) Check(!variable.name.empty());
    for (const auto& equation : run.model.equations) Check(!equation.name.empty());
    Check(run.date.size() <= 30);
    return 0;
}
