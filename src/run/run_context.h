// The state of one report run, shared by every section writer.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "libs/tarn.h"
#include "output/messages.h"
#include "output/text_buffer.h"
#include "platform/platform.h"

// The infeasibility state is the sum of the diagnosis parts it asks for.
inline constexpr int kNonlinearPart = 1;  // the last iteration ended infeasible
inline constexpr int kLPPart = 2;         // the final LP's status is above optimal

struct RunContext {
    platform::ModuleHandle module = nullptr;
    const char* basePath = nullptr;
    std::string dataFilePath;
    std::string logPath;
    std::string workingDirectory;

    std::unique_ptr<CTARNSolutionReporting> reporting;
    IVELDMgr* modelManager = nullptr;
    CTARNLPOptions* lpOptions = nullptr;
    CTARNOptionTable* optionTable = nullptr;
    CTARNIterationList* iterationList = nullptr;

    bool breakersOn = true;       // false when MININFTR begins with "NONE"
    int infeasibilityState = 0;   // kNonlinearPart, kLPPart, both (their sum) or 0
    int lastIteration = 0;        // iteration list count - 1
    int listLimit = 10;           // 100 with KORMOPTIONS "VDRLONGLIST"

    std::string modelName;
    std::string rowName;

    std::vector<int> variableIndex;
    std::vector<int> equationIndex;

    std::ostream* out = nullptr;
    MessageCache messages;
    TextBuffer lineA;
    TextBuffer lineB;
    MessageText messageBuffer;

    std::ostream& Out() { return *out; }
    const std::string& Text(unsigned id) { return messages.Text(id); }

    // Writes `format` with one text into line A, then line A and `after`.
    void WriteLine(const char* format, const char* text, const char* after = "\n");
    // Writes a region end line and "\n".
    void WriteRegionEnd();
};
