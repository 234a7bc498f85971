/* Writes the report of the run whose base path is the argument; compiled as
 * C and as C++ by the install test. */
#include <stdio.h>

#include "TARNReport.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fputs("usage: consumer BASE\n", stderr);
        return 2;
    }
    return CreateUQExecutionReport(argv[1]) == 0 ? 0 : 1;
}
