// Walking a run-data text along the format: the reader's events checked
// value by value, stored into the run, and the first problem named by its
// path in the document.
#pragma once

#include <rapidjson/error/error.h>

#include <string>

#include "loaded_run.h"

namespace tarn {

struct WalkResult {
    // The problem to report and the path of the value it is at (empty for
    // the document as a whole); empty when there is none, or when the text
    // is not JSON.
    std::string place;
    std::string problem;
    // The reader's complaint, when the text is not JSON (or not JSON the
    // reader takes), at this offset of the text walked.
    rapidjson::ParseErrorCode syntaxError = rapidjson::kParseErrorNone;
    size_t offset = 0;
    // For a number too large for the reader itself: the path it would have.
    std::string numberPath;
};

// Walks text, which ends with four NULs and holds no other, into run.  The text
// is parsed in place: its texts are rewritten as they are decoded.  Stops at
// the first problem (after a look at the rest of the top level, since a
// wrong format or version is reported in place of any other problem).
WalkResult WalkRunData(char* text, LoadedRun& run);

}  // namespace tarn
