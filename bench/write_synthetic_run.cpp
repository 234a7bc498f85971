// Writes a synthetic run-data file, for tests that need a big report:
//
//   write_synthetic_run FILE.vdr [--variables N] [--equations N] [--iterations N] [--seed N]
//
// Runs of one shape have the same names; the seed changes their values.
#include <cstdio>

#include "bench_support.h"

int main(int argc, char** argv) {
    SyntheticRunShape shape;
    int runs = 1;
    if (argc < 2 || !ParseShapeArguments(argc - 1, argv + 1, shape, runs)) {
        std::fputs("usage: write_synthetic_run FILE.vdr [--variables N] [--equations N] [--iterations N] [--seed N]\n",
                   stderr);
        return 2;
    }
    if (!WriteSyntheticRun(argv[1], shape)) {
        std::fprintf(stderr, "write_synthetic_run: %s: cannot be written\n", argv[1]);
        return 1;
    }
    return 0;
}
