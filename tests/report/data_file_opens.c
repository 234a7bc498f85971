/* Counts how often one report run opens its data file: a plain C host that
 * loads the report library at run time and keeps its own open functions,
 * which the libraries it loads call in place of the C library's:
 *
 *     data_file_opens LIBRARY RUN.vdr
 *
 * The run (on a copy of RUN.vdr in a scratch directory) must write its
 * report and open the data file exactly once: the solver library reads it,
 * and nothing else opens it first. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

typedef int (*entry_fn)(const char *);

static char watched[200]; /* the data file's path as the run names it */
static int opens;

static void count(const char *path)
{
    if (watched[0] != '\0' && path != NULL && strcmp(path, watched) == 0) ++opens;
}

static void *real(const char *name)
{
    void *function = dlsym(RTLD_NEXT, name);
    if (function == NULL) abort();
    return function;
}

/* The mode argument of an open call, there only when it creates a file;
 * `flags` is the call's last named parameter. */
#define MODE_ARGUMENT(flags, mode)                                              \
    do {                                                                        \
        va_list args;                                                           \
        va_start(args, flags);                                                  \
        mode = (flags & (O_CREAT | O_TMPFILE)) != 0 ? va_arg(args, mode_t) : 0; \
        va_end(args);                                                           \
    } while (0)

FILE *fopen(const char *path, const char *mode)
{
    count(path);
    return ((FILE * (*)(const char *, const char *)) real("fopen"))(path, mode);
}

FILE *fopen64(const char *path, const char *mode)
{
    count(path);
    return ((FILE * (*)(const char *, const char *)) real("fopen64"))(path, mode);
}

int open(const char *path, int flags, ...)
{
    mode_t mode;
    MODE_ARGUMENT(flags, mode);
    count(path);
    return ((int (*)(const char *, int, ...))real("open"))(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    mode_t mode;
    MODE_ARGUMENT(flags, mode);
    count(path);
    return ((int (*)(const char *, int, ...))real("open64"))(path, flags, mode);
}

int openat(int directory, const char *path, int flags, ...)
{
    mode_t mode;
    MODE_ARGUMENT(flags, mode);
    count(path);
    return ((int (*)(int, const char *, int, ...))real("openat"))(directory, path, flags, mode);
}

/* Copies the run-data file into the scratch directory; 0 on failure. */
static int copy_file(const char *from, const char *to)
{
    char buffer[1 << 14];
    size_t got;
    int done = 1;
    FILE *in = fopen(from, "rb"), *out = fopen(to, "wb");
    if (in == NULL || out == NULL) done = 0;
    while (done && (got = fread(buffer, 1, sizeof buffer, in)) > 0) done = fwrite(buffer, 1, got, out) == got;
    if (in != NULL) fclose(in);
    if (out != NULL && fclose(out) != 0) done = 0;
    return done;
}

int main(int argc, char **argv)
{
    char dir[] = "/tmp/data_file_opens_XXXXXX", base[160], report[170];
    void *library;
    entry_fn entry;
    int rc;
    if (argc != 3 || mkdtemp(dir) == NULL) return 2;
    snprintf(base, sizeof base, "%s/run", dir);
    snprintf(watched, sizeof watched, "%s.vdr", base);
    snprintf(report, sizeof report, "%s.log", base);
    if (!copy_file(argv[2], watched)) return 2;
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    entry = library != NULL ? (entry_fn)dlsym(library, "CreateUQExecutionReport") : NULL;
    if (entry == NULL) return 2;
    opens = 0;
    rc = entry(base);
    remove(report);
    remove(watched);
    rmdir(dir);
    printf("report: %d, data file opened %d time%s\n", rc, opens, opens == 1 ? "" : "s");
    return rc == 0 && opens == 1 ? 0 : 1;
}
