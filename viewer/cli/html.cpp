// tarnview html (not built yet).
#include <cstdio>

#include "commands.h"

int RunHtml(int, char**) {
    std::fputs("tarnview html: not built yet\n", stderr);
    return 1;
}
