// Entry tables of the infeasibility diagnosis.  The pairing comes from the
// coefficient matrix only, in the order the matrix hands it out.
#include <cmath>
#include <cstdio>
#include <limits>

#include "output/markup.h"
#include "output/messages.h"
#include "sections/diagnosis.h"
#include "sections/step_box.h"

namespace {

constexpr short kObjectiveRow = 5;
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
double TripleField(const double* triples, int count, int number, int field) {
    if (triples == nullptr || number < 1 || number > count)
        return std::numeric_limits<double>::quiet_NaN();
    return triples[3 * static_cast<std::ptrdiff_t>(number - 1) + field];
}

const char* NameOf(const char* name) { return name != nullptr ? name : ""; }

}  // namespace

void WriteEqnEntry(std::ostream& out, IVELDEquation* equation, IVELDMgr* manager,
                   CTARNIterationSolution* solution, int mode) {
    HMODULE module = nullptr;
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
    const double* variableTriples = solution ? solution->GetVariableValues() : nullptr;
    const int variableCount = solution ? solution->GetVariableCount() : 0;
    const double* equationTriples = solution ? solution->GetEquationValues() : nullptr;
    const int equationCount = solution ? solution->GetEquationCount() : 0;

    bool first = true;
    for (IVELDMatrixEntry* entry = matrix->GetFirstInRow(row); entry != nullptr;
         entry = matrix->GetNextInRow()) {
        IVELDVariable* variable = entry->GetVariable();
        if (variable == nullptr) continue;
        const double reducedCost =
            TripleField(variableTriples, variableCount, variable->GetNumber(), 2);
        const BoundTexts bounds = BoundTextsOf(*variable);
        const char* variableName = NameOf(variable->GetName());
        if (first) {
            const double value = mode == kEntryNonlinear
                                     ? TripleField(equationTriples, equationCount, row, 2)
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
    HMODULE module = nullptr;
    if (!FindReportModule(module)) return -1;
    if (variable == nullptr || manager == nullptr) return 0;
    IVELDMatrix* matrix = nullptr;
    manager->GetMatrix(&matrix);
    if (matrix == nullptr) return 0;
    const double* equationTriples = solution ? solution->GetEquationValues() : nullptr;
    const int equationCount = solution ? solution->GetEquationCount() : 0;
    const BoundTexts bounds = BoundTextsOf(*variable);

    TextBuffer line;
    int count = 0;
    for (IVELDMatrixEntry* entry = matrix->GetFirstInColumn(variable->GetNumber());
         entry != nullptr; entry = matrix->GetNextInColumn()) {
        IVELDEquation* equation = entry->GetEquation();
        if (equation == nullptr || equation->GetType() == kObjectiveRow) continue;
        const double shadowPrice =
            TripleField(equationTriples, equationCount, equation->GetNumber(), 1);
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
