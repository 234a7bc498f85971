// The C interface: each call on the C++ writer, its exceptions (every one:
// none crosses into C) turned into a status and the words kept for
// tarn_run_writer_error.  A writer's calls are made one at a time.
#include "tarn/run_writer.h"

#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "tarn/run_writer.hpp"

namespace rd = tarn::rundata;

struct tarn_run_writer {
    mutable std::mutex lock;             // one call at a time (the scratch below is shared)
    std::unique_ptr<rd::RunWriter> run;  // null when the file could not be created
    std::string error;
    bool lost = false;                   // after a file error
    // One iteration's triples and messages, reused.
    std::vector<rd::VariableTriple> variables;
    std::vector<rd::EquationTriple> equations;
    std::vector<std::string> errors, warnings, information;
};

namespace {

std::string_view Text(const char* text) { return text != nullptr ? text : ""; }

// A null pointer where the call needs one: refused by its name.
class NullArgument : public std::exception {
public:
    explicit NullArgument(std::string words) : m_words(std::move(words)) {}
    const char* what() const noexcept override { return m_words.c_str(); }

private:
    std::string m_words;
};

const char* Needed(const char* text, const char* what) {
    if (text == nullptr) throw NullArgument(std::string(what) + " is NULL");
    return text;
}
template <typename Item>
void NeedItems(const Item* items, size_t count, const char* what) {
    if (items == nullptr && count > 0)
        throw NullArgument(std::string(what) + " is NULL with a count of " + std::to_string(count));
}

// Runs call on the writer; the status, with the words on failure.
template <typename Call>
int Guarded(tarn_run_writer* writer, Call&& call) {
    if (writer == nullptr) return TARN_RUNDATA_NO_WRITER;
    const std::lock_guard held(writer->lock);
    if (writer->lost || !writer->run) return TARN_RUNDATA_FILE_ERROR;
    try {
        call(*writer->run);
        return TARN_RUNDATA_OK;
    } catch (const NullArgument& error) {
        writer->error = error.what();
        return TARN_RUNDATA_NO_WRITER;
    } catch (const rd::RuleError& error) {
        writer->error = error.what();
        return TARN_RUNDATA_REFUSED;
    } catch (const rd::FileError& error) {
        writer->error = error.what();
        writer->lost = true;
        return TARN_RUNDATA_FILE_ERROR;
    } catch (const std::bad_alloc&) {
        writer->error = "out of memory";
        return TARN_RUNDATA_NO_MEMORY;
    } catch (const std::exception& error) {
        writer->error = error.what();
        writer->lost = true;
        return TARN_RUNDATA_FILE_ERROR;
    } catch (...) {
        writer->error = "an unknown failure";
        writer->lost = true;
        return TARN_RUNDATA_FILE_ERROR;
    }
}

void CopyTexts(const char* const* texts, size_t count, const char* what, std::vector<std::string>& into) {
    NeedItems(texts, count, what);
    into.clear();
    for (size_t i = 0; i < count; ++i)
        into.emplace_back(Needed(texts[i], (std::string(what) + "[" + std::to_string(i) + "]").c_str()));
}

template <typename Triple>
void CopyTriples(const double* values, size_t count, const char* what, std::vector<Triple>& into) {
    NeedItems(values, count, what);
    into.resize(count);
    for (size_t i = 0; i < count; ++i) into[i] = {values[3 * i], values[3 * i + 1], values[3 * i + 2]};
}

int AddOption(tarn_run_writer* writer, int set, const char* name,
              const std::function<rd::OptionValue()>& value) {
    return Guarded(writer, [&](rd::RunWriter& run) {
        const std::string_view key = Needed(name, "the option name");
        switch (set) {
            case TARN_OPTIONS_MODEL: return run.AddModelOption(key, value());
            case TARN_OPTIONS_SOLVER: return run.AddSolverOption(key, value());
            case TARN_OPTIONS_LP: return run.AddLpOption(key, value());
            default: throw rd::RuleError("", "no option set " + std::to_string(set));
        }
    });
}

}  // namespace

extern "C" {

tarn_variable tarn_variable_defaults(void) {
    const rd::Variable defaults;
    return {nullptr, defaults.lower, defaults.upper, defaults.type, defaults.status, 0, 0.0};
}

tarn_equation tarn_equation_defaults(void) {
    const rd::Equation defaults;
    return {nullptr,         defaults.type,  defaults.rhs,      defaults.value,
            defaults.scale,  defaults.diag,  defaults.nonlinear};
}

tarn_iteration tarn_iteration_defaults(void) {
    tarn_iteration iteration{};
    return iteration;
}

int tarn_run_writer_open(const char* target, tarn_run_writer** writer) {
    if (writer == nullptr) return TARN_RUNDATA_NO_WRITER;
    *writer = new (std::nothrow) tarn_run_writer;
    if (*writer == nullptr) return TARN_RUNDATA_NO_MEMORY;
    if (target == nullptr) {
        (*writer)->error = "tarn_run_writer_open: the target is NULL";
        return TARN_RUNDATA_NO_WRITER;
    }
    try {
        (*writer)->run = std::make_unique<rd::RunWriter>(target);
        return TARN_RUNDATA_OK;
    } catch (const rd::FileError& error) {
        (*writer)->error = error.what();
        return TARN_RUNDATA_FILE_ERROR;
    } catch (const std::bad_alloc&) {
        (*writer)->error = "out of memory";
        return TARN_RUNDATA_NO_MEMORY;
    } catch (const std::exception& error) {
        (*writer)->error = error.what();
        return TARN_RUNDATA_FILE_ERROR;
    } catch (...) {
        (*writer)->error = "an unknown failure";
        return TARN_RUNDATA_FILE_ERROR;
    }
}

int tarn_run_writer_close(tarn_run_writer* writer) {
    return Guarded(writer, [](rd::RunWriter& run) { run.Close(); });
}

int tarn_run_writer_abandon(tarn_run_writer* writer) {
    return Guarded(writer, [](rd::RunWriter& run) { run.Abandon(); });
}

void tarn_run_writer_free(tarn_run_writer* writer) { delete writer; }

const char* tarn_run_writer_error(const tarn_run_writer* writer) {
    if (writer == nullptr) return "no writer";
    const std::lock_guard held(writer->lock);
    return writer->error.c_str();
}

int tarn_run_writer_set_case(tarn_run_writer* writer, long long number, const char* description,
                             const char* date, const char* status) {
    return Guarded(writer, [&](rd::RunWriter& run) {
        rd::Case header{number, std::string(Text(description)), std::nullopt, std::string(Text(status))};
        if (date != nullptr) header.date = date;
        run.SetCase(header);
    });
}

int tarn_run_writer_set_status(tarn_run_writer* writer, const char* status) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.SetStatus(Needed(status, "the status")); });
}

int tarn_run_writer_set_model_name(tarn_run_writer* writer, const char* name) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.SetModelName(Needed(name, "the model name")); });
}

int tarn_run_writer_add_variable(tarn_run_writer* writer, const tarn_variable* variable,
                                 int* number) {
    return Guarded(writer, [&](rd::RunWriter& run) {
        if (variable == nullptr) throw NullArgument("the variable is NULL");
        rd::Variable item{Needed(variable->name, "the variable's name"), variable->lower, variable->upper,
                          variable->type, variable->status, std::nullopt};
        if (variable->has_value) item.value = variable->value;
        const int added = run.AddVariable(item);
        if (number != nullptr) *number = added;
    });
}

int tarn_run_writer_add_variables(tarn_run_writer* writer, const char* names, size_t names_bytes,
                                  size_t count, const double* lower, const double* upper,
                                  const int* type, const int* status, int* first) {
    return Guarded(writer, [&](rd::RunWriter& run) {
        NeedItems(names, names_bytes, "the names");
        NeedItems(names, count, "the names");
        std::vector<rd::Variable> items(count);
        std::string_view rest(names, names_bytes);
        for (size_t j = 0; j < count; ++j) {
            const size_t end = rest.find('\0');
            if (end == std::string_view::npos && j + 1 < count)
                throw rd::RuleError("model.variables", "the names hold " + std::to_string(j + 1) +
                                                           " names, " + std::to_string(count) + " expected");
            rd::Variable& item = items[j];
            item.name = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (lower != nullptr) item.lower = lower[j];
            if (upper != nullptr) item.upper = upper[j];
            if (type != nullptr) item.type = *type;
            if (status != nullptr) item.status = *status;
        }
        if (!rest.empty())
            throw rd::RuleError("model.variables",
                                "the names hold more than the " + std::to_string(count) + " names expected");
        const int added = run.AddVariables(items);
        if (first != nullptr) *first = added;
    });
}

int tarn_run_writer_add_equation(tarn_run_writer* writer, const tarn_equation* equation,
                                 int* number) {
    return Guarded(writer, [&](rd::RunWriter& run) {
        if (equation == nullptr) throw NullArgument("the equation is NULL");
        const int added = run.AddEquation({Needed(equation->name, "the equation's name"), equation->type,
                                           equation->rhs, equation->value, equation->scale,
                                           equation->diag, equation->nonlinear});
        if (number != nullptr) *number = added;
    });
}

int tarn_run_writer_add_coefficient(tarn_run_writer* writer, int equation, int variable,
                                    double coefficient) {
    return Guarded(writer,
                   [&](rd::RunWriter& run) { run.AddCoefficient(equation, variable, coefficient); });
}

int tarn_run_writer_mark_linearised(tarn_run_writer* writer, int equation, int variable) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.MarkLinearised(equation, variable); });
}

int tarn_run_writer_use_model_options(tarn_run_writer* writer) {
    return Guarded(writer, [](rd::RunWriter& run) { run.UseModelOptions(); });
}

int tarn_run_writer_add_option_text(tarn_run_writer* writer, int set, const char* name,
                                    const char* text) {
    return AddOption(writer, set, name, [text] { return rd::OptionValue(Needed(text, "the option's text")); });
}

int tarn_run_writer_add_option_number(tarn_run_writer* writer, int set, const char* name,
                                      double number) {
    return AddOption(writer, set, name, [number] { return rd::OptionValue(number); });
}

int tarn_run_writer_add_option_number_text(tarn_run_writer* writer, int set, const char* name,
                                           const char* json_number) {
    return AddOption(writer, set, name,
                     [json_number] { return rd::OptionValue::NumberAsWritten(Needed(json_number, "the option's number")); });
}

int tarn_run_writer_set_tolerances(tarn_run_writer* writer, double feasibility, double delta1,
                                   double delta2) {
    return Guarded(writer,
                   [&](rd::RunWriter& run) { run.SetTolerances({feasibility, delta1, delta2}); });
}

int tarn_run_writer_set_lp_status(tarn_run_writer* writer, long long status) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.SetLpStatus(status); });
}

int tarn_run_writer_add_diagnosis_equation(tarn_run_writer* writer, long long equation) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.AddDiagnosisEquation(equation); });
}

int tarn_run_writer_add_diagnosis_variable(tarn_run_writer* writer, long long variable) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.AddDiagnosisVariable(variable); });
}

int tarn_run_writer_set_variable_value(tarn_run_writer* writer, int variable, double value) {
    return Guarded(writer, [&](rd::RunWriter& run) { run.SetVariableValue(variable, value); });
}

int tarn_run_writer_set_equation_values(tarn_run_writer* writer, int equation, double value,
                                        double diag) {
    return Guarded(writer,
                   [&](rd::RunWriter& run) { run.SetEquationValues(equation, value, diag); });
}

int tarn_run_writer_set_equation_form(tarn_run_writer* writer, int equation, const char* form) {
    if (form == nullptr) return TARN_RUNDATA_NO_WRITER;
    return Guarded(writer, [&](rd::RunWriter& run) { run.SetEquationForm(equation, form); });
}

int tarn_run_writer_add_iteration(tarn_run_writer* writer, const tarn_iteration* iteration) {
    return Guarded(writer, [&](rd::RunWriter& run) {
        if (iteration == nullptr) throw NullArgument("the iteration is NULL");
        const tarn_iteration& it = *iteration;
        CopyTexts(it.errors, it.error_count, "iteration.errors", writer->errors);
        CopyTexts(it.warnings, it.warning_count, "iteration.warnings", writer->warnings);
        CopyTexts(it.information, it.information_count, "iteration.information", writer->information);
        CopyTriples(it.variables, it.variable_count, "iteration.variables", writer->variables);
        CopyTriples(it.equations, it.equation_count, "iteration.equations", writer->equations);
        rd::Iteration entry;
        entry.nlVariables = it.nl_variables;
        entry.nlEquations = it.nl_equations;
        entry.feasible = it.feasible != 0;
        entry.pFunction = it.p_function;
        entry.nonlinearityRatio = it.nonlinearity_ratio;
        entry.objective = it.objective;
        if (it.has_user_objective) entry.userObjective = it.user_objective;
        entry.infeasibility = it.infeasibility;
        entry.objectiveConvergence = it.objective_convergence;
        entry.residualConvergence = it.residual_convergence;
        entry.variableConvergence = it.variable_convergence;
        entry.mostInfeasible = Text(it.most_infeasible);
        entry.errors = writer->errors;
        entry.warnings = writer->warnings;
        entry.information = writer->information;
        entry.variables = writer->variables;
        entry.equations = writer->equations;
        run.AddIteration(entry);
    });
}

int tarn_run_writer_write_progress(tarn_run_writer* writer) {
    return Guarded(writer, [](rd::RunWriter& run) { run.WriteProgress(); });
}

}  // extern "C"
