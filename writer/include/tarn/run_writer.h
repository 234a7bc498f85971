/* Writing a run-data file (.vdr) from C or Fortran (ISO_C_BINDING): the C
 * interface of the tarnrundata library.
 *
 * Every function but tarn_run_writer_free returns a status: TARN_RUNDATA_OK,
 * or what went wrong, told in words by tarn_run_writer_error.  A call that
 * breaks a rule of the format (TARN_RUNDATA_REFUSED) changes nothing and the
 * run can go on; after TARN_RUNDATA_FILE_ERROR the run is lost.  The file is
 * written without a name (or under a temporary name) beside the target and
 * given the target's name by tarn_run_writer_close; a writer freed without
 * it leaves no file and says so on standard error (tarn_run_writer_abandon
 * ends a run without a file, silently).  A killed writer leaves nothing.
 * Texts are UTF-8, ended by a NUL.  Every pointer argument is checked: a
 * NULL one (or a NULL array with a count above 0) is refused with
 * TARN_RUNDATA_NO_WRITER and the words name it, except where NULL is said
 * to be allowed.  A writer may be called from several threads; its calls
 * are made one at a time, and tarn_run_writer_error gives the words of the
 * last failed call on any thread. */
#ifndef TARN_RUN_WRITER_H
#define TARN_RUN_WRITER_H

#include <stddef.h>

#if defined(__GNUC__)
#define TARN_RUNDATA_C_API __attribute__((visibility("default")))
#else
#define TARN_RUNDATA_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses. */
enum {
    TARN_RUNDATA_OK = 0,
    TARN_RUNDATA_REFUSED = 1,     /* the call breaks a rule of the format */
    TARN_RUNDATA_FILE_ERROR = 2,  /* the file cannot be created, written or renamed */
    TARN_RUNDATA_NO_MEMORY = 3,
    TARN_RUNDATA_NO_WRITER = 4    /* a NULL writer or argument */
};

/* Variable types (any other 16-bit value is continuous). */
enum {
    TARN_VARIABLE_CONTINUOUS = 1,
    TARN_VARIABLE_BINARY = 2,
    TARN_VARIABLE_INTEGER = 3,
    TARN_VARIABLE_SEMI_CONTINUOUS = 4
};
/* Variable statuses (any other 16-bit value is calculated). */
enum {
    TARN_VARIABLE_OPTIMISED = 1,
    TARN_VARIABLE_CALCULATED = 2,
    TARN_VARIABLE_CONSTANT = 3,
    TARN_VARIABLE_INDEPENDENT = 203
};
enum {
    TARN_EQUATION_LESS_EQUAL = 1,
    TARN_EQUATION_GREATER_EQUAL = 2,
    TARN_EQUATION_EQUALITY = 3,
    TARN_EQUATION_FREE = 4,
    TARN_EQUATION_OBJECTIVE = 5
};
/* The LP solver's status (any other value is another outcome). */
enum { TARN_LP_OPTIMAL = 0, TARN_LP_INFEASIBLE = 1, TARN_LP_UNBOUNDED = 2 };
/* Option sets. */
enum { TARN_OPTIONS_MODEL = 1, TARN_OPTIONS_SOLVER = 2, TARN_OPTIONS_LP = 3 };

typedef struct tarn_run_writer tarn_run_writer;

/* Fill with tarn_variable_defaults / tarn_equation_defaults /
 * tarn_iteration_defaults, then set what differs. */
typedef struct tarn_variable {
    const char* name;   /* not empty, unique among the variables */
    double lower;       /* 0 */
    double upper;       /* infinity */
    int type;           /* TARN_VARIABLE_CONTINUOUS */
    int status;         /* TARN_VARIABLE_OPTIMISED */
    int has_value;      /* 0: the final value is the last iteration's */
    double value;
} tarn_variable;

typedef struct tarn_equation {
    const char* name;   /* not empty, unique among the equations */
    int type;           /* TARN_EQUATION_EQUALITY */
    double rhs;         /* 0 */
    double value;       /* 0: row activity */
    double scale;       /* 1 */
    double diag;        /* 0: value in the LP solver's diagnosis */
    long long nonlinear; /* 0; above 0 a nonlinear row */
} tarn_equation;

typedef struct tarn_iteration {
    long long nl_variables, nl_equations;
    int feasible;
    double p_function, nonlinearity_ratio, objective;
    int has_user_objective;  /* 0: the user objective is the objective */
    double user_objective;
    double infeasibility;
    double objective_convergence, residual_convergence, variable_convergence;
    const char* most_infeasible;  /* NULL for "", or at most 199 bytes */
    const char* const* errors;
    size_t error_count;
    const char* const* warnings;
    size_t warning_count;
    const char* const* information;
    size_t information_count;
    const double* variables;  /* value, step, shadow price for each variable */
    size_t variable_count;
    const double* equations;  /* residual, shadow price, slack for each equation */
    size_t equation_count;
} tarn_iteration;

TARN_RUNDATA_C_API tarn_variable tarn_variable_defaults(void);
TARN_RUNDATA_C_API tarn_equation tarn_equation_defaults(void);
TARN_RUNDATA_C_API tarn_iteration tarn_iteration_defaults(void);

/* Starts the run-data file target (normally BASE.vdr; a symbolic link is
 * followed; a directory or another file that is not a regular file is
 * refused).  *writer is set unless the status is TARN_RUNDATA_NO_MEMORY
 * (or writer is NULL), even when the file cannot be created or target is
 * NULL (its error then says why); free it with tarn_run_writer_free. */
TARN_RUNDATA_C_API int tarn_run_writer_open(const char* target, tarn_run_writer** writer);
/* Writes the rest and renames the file to the target. */
TARN_RUNDATA_C_API int tarn_run_writer_close(tarn_run_writer* writer);
/* Ends the run without a file, silently (as when the optimiser failed). */
TARN_RUNDATA_C_API int tarn_run_writer_abandon(tarn_run_writer* writer);
/* Frees the writer; without a successful close, no file is written (and,
 * unless the run was abandoned or its file lost, standard error says so). */
TARN_RUNDATA_C_API void tarn_run_writer_free(tarn_run_writer* writer);
/* The words of the last failed call ("" when none has failed). */
TARN_RUNDATA_C_API const char* tarn_run_writer_error(const tarn_run_writer* writer);

/* description and status may be NULL for ""; date NULL for the time the
 * writer was opened ("Mon Jan 15 10:30:00 2024", local time), "" for none.
 * Objectives, infeasibilities, variable values and equation residuals may
 * not be NaN (refused, the field named); the other numbers may. */
TARN_RUNDATA_C_API int tarn_run_writer_set_case(tarn_run_writer* writer, long long number,
                                                const char* description, const char* date,
                                                const char* status);
TARN_RUNDATA_C_API int tarn_run_writer_set_status(tarn_run_writer* writer, const char* status);
TARN_RUNDATA_C_API int tarn_run_writer_set_model_name(tarn_run_writer* writer, const char* name);
/* Item numbers count from 1; number, when not NULL, receives the new one. */
TARN_RUNDATA_C_API int tarn_run_writer_add_variable(tarn_run_writer* writer,
                                                    const tarn_variable* variable, int* number);
/* Adds count variables in one call (for large models): names holds their
 * names one after another, each ended by a NUL (the last may be ended by
 * the end of names_bytes instead); lower and upper one bound per variable
 * (NULL for 0 and infinity); type and status one value for all (NULL for
 * continuous and optimised); first, when not NULL, receives the first's
 * number (the others follow it).  A refused variable refuses the call,
 * which then adds none. */
TARN_RUNDATA_C_API int tarn_run_writer_add_variables(tarn_run_writer* writer, const char* names,
                                                     size_t names_bytes, size_t count,
                                                     const double* lower, const double* upper,
                                                     const int* type, const int* status,
                                                     int* first);
TARN_RUNDATA_C_API int tarn_run_writer_add_equation(tarn_run_writer* writer,
                                                    const tarn_equation* equation, int* number);
TARN_RUNDATA_C_API int tarn_run_writer_add_coefficient(tarn_run_writer* writer, int equation,
                                                       int variable, double coefficient);
/* Marks the pair's coefficient, added before, as that of a nonlinear term,
   which the matrix holds at the linearisation's value: the report's model
   display shows it in brackets where the equation has no form. */
TARN_RUNDATA_C_API int tarn_run_writer_mark_linearised(tarn_run_writer* writer, int equation,
                                                       int variable);
TARN_RUNDATA_C_API int tarn_run_writer_use_model_options(tarn_run_writer* writer);
TARN_RUNDATA_C_API int tarn_run_writer_add_option_text(tarn_run_writer* writer, int set,
                                                       const char* name, const char* text);
TARN_RUNDATA_C_API int tarn_run_writer_add_option_number(tarn_run_writer* writer, int set,
                                                         const char* name, double number);
/* A number kept as written, such as "2.50". */
TARN_RUNDATA_C_API int tarn_run_writer_add_option_number_text(tarn_run_writer* writer, int set,
                                                              const char* name,
                                                              const char* json_number);
TARN_RUNDATA_C_API int tarn_run_writer_set_tolerances(tarn_run_writer* writer, double feasibility,
                                                      double delta1, double delta2);
TARN_RUNDATA_C_API int tarn_run_writer_set_lp_status(tarn_run_writer* writer, long long status);
TARN_RUNDATA_C_API int tarn_run_writer_add_diagnosis_equation(tarn_run_writer* writer,
                                                              long long equation);
TARN_RUNDATA_C_API int tarn_run_writer_add_diagnosis_variable(tarn_run_writer* writer,
                                                              long long variable);
TARN_RUNDATA_C_API int tarn_run_writer_set_variable_value(tarn_run_writer* writer, int variable,
                                                          double value);
TARN_RUNDATA_C_API int tarn_run_writer_set_equation_values(tarn_run_writer* writer, int equation,
                                                           double value, double diag);
/* The equation as the optimiser writes it (one line of UTF-8, at most 65536
   bytes; "" for none): the report's model display shows it. */
TARN_RUNDATA_C_API int tarn_run_writer_set_equation_form(tarn_run_writer* writer, int equation,
                                                         const char* form);
TARN_RUNDATA_C_API int tarn_run_writer_add_iteration(tarn_run_writer* writer,
                                                     const tarn_iteration* iteration);
/* From now on, others can follow the run: TARGET.progress, beside the
 * target, gets a line of JSON per iteration as it is added; close and
 * abandon remove it (see docs/writing-run-data.md). */
TARN_RUNDATA_C_API int tarn_run_writer_write_progress(tarn_run_writer* writer);

#ifdef __cplusplus
}
#endif

#endif
