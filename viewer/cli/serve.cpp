// tarnview serve (not built yet).
#include <cstdio>

#include "commands.h"

int RunServe(int, char**) {
    std::fputs("tarnview serve: not built yet\n", stderr);
    return 1;
}
