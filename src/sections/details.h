// What the sections of one iteration block share: the block's iteration
// data, the value triples, and the tables' common lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/run_model.h"
#include "output/report_writer.h"
#include "report_layout.h"

struct IterationBlock {
    CTARNIterationData* current = nullptr;
    CTARNIterationData* previous = nullptr;  // null for the first block
};

// The value triples of one iteration; empty when the iteration has none.
TripleArray<VariableTriple> VariableTriples(const CTARNIterationData* data);
TripleArray<EquationTriple> EquationTriples(const CTARNIterationData* data);

// A Q-variable name begins with "Q" or "q", except QVBL, QWBL, qVBL, qWBL.
bool IsQVariableName(const std::string& name);

// "non-linear" for an equation whose IsNonlinear() is above 0, else "linear".
const std::string& FormWord(ReportWriter& writer, const IVELDEquation& equation);

// Writes the table header `headerId` again before every row whose count is
// a multiple of 52 (the first row has the header of the region already).
void RepeatHeaderBefore(ReportWriter& writer, int rowCount, unsigned headerId);

// Opens a green level-4 region with the table's title and writes its green
// column header under it.
[[nodiscard]] Region OpenGreenTable(ReportWriter& writer, const report_layout::Table& table);

// A table of every item in name order: a green level-4 region with the
// table's title, its column header (repeated as
// RepeatHeaderBefore says), and a row for each item that has a name and a
// triple in `triples`, formatted into the line buffer by
// `formatRow(writer, item, name, triple)`.
template <typename Item, typename Triple, typename FormatRow>
void WriteItemTable(ReportWriter& writer, const report_layout::Table& layout,
                    const std::vector<Item*>& items, const TripleArray<Triple>& triples,
                    FormatRow formatRow) {
    Region table = OpenGreenTable(writer, layout);
    int rowCount = 0;
    for (Item* item : items) {
        const std::optional<Triple> triple = triples.Of(item->GetNumber());
        const char* name = item->GetName();
        if (!triple || name == nullptr) continue;
        RepeatHeaderBefore(writer, ++rowCount, layout.header);
        formatRow(writer, *item, name, *triple);
        writer.WriteFormatted();
    }
}

void WriteLargestResiduals(const RunModel& model, ReportWriter& writer, const IterationBlock& block);
void WriteLargestShadowPrices(const RunModel& model, ReportWriter& writer,
                              const IterationBlock& block);
void WriteLargestFeasibilitySlacks(const RunModel& model, ReportWriter& writer,
                                   const IterationBlock& block);
void WriteLargestVariableChange(const RunModel& model, ReportWriter& writer,
                                const IterationBlock& block);
void WriteActiveBounds(const RunModel& model, ReportWriter& writer, const IterationBlock& block);
void WriteVariableDetails(const RunModel& model, ReportWriter& writer, const IterationBlock& block);
void WriteEquationDetails(const RunModel& model, ReportWriter& writer, const IterationBlock& block);
