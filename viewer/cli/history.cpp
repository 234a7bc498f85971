// tarnview history (not built yet).
#include <cstdio>

#include "commands.h"

int RunHistory(int, char**) {
    std::fputs("tarnview history: not built yet\n", stderr);
    return 1;
}
