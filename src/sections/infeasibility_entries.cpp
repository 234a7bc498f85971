// Entry tables of the infeasibility diagnosis.  The pairing comes from the
// coefficient matrix only, in the order the matrix hands it out.
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "output/markup.h"
#include "output/messages.h"
#include "sections/diagnosis.h"
#include "sections/step_box.h"

namespace {

constexpr std::size_t kBoundTextSize = 14;

constexpr char kEqnFirstLine[] = "%-22s %12.5g        %-20.20s    %12s  %12.5g  %12s %12.5g";
constexpr char kEqnFurtherLine[] =
    "                                           %-20.20s    %12s  %12.5g  %12s %12.5g";
constexpr char kVarFirstLine[] = "%-22s %12s%12.5g%12s        %-20.20s    %12.5g       %12.5g";
constexpr char kVarFurtherLine[] =
    "                                                                   %-20.20s    %12.5g       "
    "%12.5g";

struct BoundTexts {
    char lower[kBoundTextSize];
    char upper[kBoundTextSize];
};

BoundTexts BoundTextsOf(const IVELDVariable& variable) {
    BoundTexts texts;
    const double lower = variable.GetLowerBound(), upper = variable.GetUpperBound();
    if (lower <= kMinusInfinity)
        std::snprintf(texts.lower, sizeof texts.lower, "-inf");
    else
        std::snprintf(texts.lower, sizeof texts.lower, "%12.5g", lower);
    if (upper >= kPlusInfinity)
        std::snprintf(texts.upper, sizeof texts.upper, "+inf");
    else
        std::snprintf(texts.upper, sizeof texts.upper, "%12.5g", upper);
    return texts;
}

// Field `field` of item `number`'s triple; not-a-number when there is none.
template <typename Triple>
double FieldOf(const TripleArray<Triple>& triples, int number, double Triple::*field) {
    const std::optional<Triple> triple = triples.Of(number);
    return triple ? (*triple).*field : std::numeric_limits<double>::quiet_NaN();
}

const char* NameOf(const char* name) { return name != nullptr ? name : ""; }

}  // namespace

void WriteEqnEntry(std::ostream& out, IVELDEquation* equation, IVELDMgr* manager,
                   CTARNIterationSolution* solution, int mode) {
    platform::ModuleHandle module = nullptr;
    if (equation == nullptr || manager == nullptr || !FindReportModule(module)) return;
    const unsigned headerId =
        mode == kEntryUnboundedLP ? kMsgEqnEntryHeaderUnbounded : kMsgEqnEntryHeaderInfeasible;
    TextBuffer line;
    FormatLine(line, markup::kRedHeader, LoadPlainMessage(module, headerId).c_str());
    out << line << "\n";

    const int row = equation->GetNumber();
    IVELDMatrix* matrix = nullptr;
    manager->GetMatrix(&matrix);
    if (matrix == nullptr) return;
    const TripleArray<VariableTriple> variableTriples = VariableTriplesOf(solution);
    const TripleArray<EquationTriple> equationTriples = EquationTriplesOf(solution);

    bool first = true;
    for (IVELDMatrixEntry* entry = matrix->GetFirstInRow(row); entry != nullptr;
         entry = matrix->GetNextInRow()) {
        IVELDVariable* variable = entry->GetVariable();
        if (variable == nullptr) continue;
        const double reducedCost =
            FieldOf(variableTriples, variable->GetNumber(), &VariableTriple::shadowPrice);
        const BoundTexts bounds = BoundTextsOf(*variable);
        const char* variableName = NameOf(variable->GetName());
        if (first) {
            const double value = mode == kEntryNonlinear
                                     ? FieldOf(equationTriples, row, &EquationTriple::slack)
                                     : equation->GetDiagValue();
            FormatLine(line, kEqnFirstLine, NameOf(equation->GetName()), value, variableName,
                       bounds.lower, variable->GetValue(), bounds.upper, reducedCost);
            first = false;
        } else {
            FormatLine(line, kEqnFurtherLine, variableName, bounds.lower, variable->GetValue(),
                       bounds.upper, reducedCost);
        }
        out << line << "\n";
    }
}

int WriteVarEntry(std::ostream& out, IVELDVariable* variable, IVELDMgr* manager,
                  CTARNIterationSolution* solution) {
    platform::ModuleHandle module = nullptr;
    if (!FindReportModule(module)) return -1;
    if (variable == nullptr || manager == nullptr) return 0;
    IVELDMatrix* matrix = nullptr;
    manager->GetMatrix(&matrix);
    if (matrix == nullptr) return 0;
    const TripleArray<EquationTriple> equationTriples = EquationTriplesOf(solution);
    const BoundTexts bounds = BoundTextsOf(*variable);

    TextBuffer line;
    int count = 0;
    for (IVELDMatrixEntry* entry = matrix->GetFirstInColumn(variable->GetNumber());
         entry != nullptr; entry = matrix->GetNextInColumn()) {
        IVELDEquation* equation = entry->GetEquation();
        if (equation == nullptr || equation->GetType() == RowKind::kObjective) continue;
        const double shadowPrice =
            FieldOf(equationTriples, equation->GetNumber(), &EquationTriple::shadowPrice);
        const char* equationName = NameOf(equation->GetName());
        if (count == 0) {
            FormatLine(line, markup::kRedHeader, LoadPlainMessage(module, kMsgVarEntryHeader).c_str());
            out << line << "\n";
            FormatLine(line, kVarFirstLine, NameOf(variable->GetName()), bounds.lower,
                       variable->GetValue(), bounds.upper, equationName, equation->GetValue(),
                       shadowPrice);
        } else {
            FormatLine(line, kVarFurtherLine, equationName, equation->GetValue(), shadowPrice);
        }
        out << line << "\n";
        ++count;
    }
    return count;
}
