// tarnview show (not built yet).
#include <cstdio>

#include "commands.h"

int RunShow(int, char**) {
    std::fputs("tarnview show: not built yet\n", stderr);
    return 1;
}
