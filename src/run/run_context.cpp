#include "run/run_context.h"

#include "output/markup.h"

void RunContext::WriteLine(const char* format, const char* text, const char* after) {
    FormatLine(lineA, format, text);
    Out() << lineA << after;
}

void RunContext::WriteRegionEnd() { Out() << markup::kRegionEnd << "\n"; }
