// tarnview summary (not built yet).
#include <cstdio>

#include "commands.h"

int RunSummary(int, char**) {
    std::fputs("tarnview summary: not built yet\n", stderr);
    return 1;
}
