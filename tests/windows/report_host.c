/* A minimal Windows program that loads the report library the way any
 * caller does: LoadLibraryExA on the DLL's path (its own directory searched
 * for the DLLs it needs), GetProcAddress of the plain, undecorated name
 * CreateUQExecutionReport, one call.
 *
 *   report_host DLL BASEPATH
 *
 * Standard output: what the library prints, then (after a flush) one line
 * "@@result@@ N" with the call's result.  Exit status 0 when the call
 * returned, 2 usage, 3 the DLL did not load, 4 the entry point is missing. */
#include <stdio.h>
#include <windows.h>

typedef int(__cdecl* ReportEntry)(const char*);

int main(int argc, char** argv) {
    HMODULE library;
    FARPROC address;
    ReportEntry entry;
    int result;

    if (argc != 3) {
        fprintf(stderr, "usage: report_host DLL BASEPATH\n");
        return 2;
    }
    library = LoadLibraryExA(argv[1], NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == NULL) {
        fprintf(stderr, "report_host: cannot load %s (error %lu)\n", argv[1],
                (unsigned long)GetLastError());
        return 3;
    }
    address = GetProcAddress(library, "CreateUQExecutionReport");
    if (address == NULL) {
        fprintf(stderr, "report_host: CreateUQExecutionReport not exported\n");
        return 4;
    }
    entry = (ReportEntry)(void*)address;
    result = entry(argv[2]);
    fflush(stdout);
    printf("@@result@@ %d\n", result);
    fflush(stdout);
    return 0;
}
