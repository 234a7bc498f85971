/* Fails each allocation of a whole report run in turn, the first to the
 * last, each in a child process of its own; then, in a second sweep, every
 * allocation from the Nth on, as when memory runs out for good:
 *
 *     allocation_sweep LIBRARY RUN.vdr
 *
 * The sweep is a plain C program that loads the report library at run time,
 * as a C host does, so the C++ runtime's own first allocations (its
 * thread-local blocks among them) happen inside the swept run, not before.
 *
 * A run with a failed allocation must end normally (no signal, no abort,
 * no hang) with either 0 and a report byte for byte that of the clean run,
 * or -1 and a message on standard output or standard error.  The sweep ends
 * with the first run that finishes before reaching its failing allocation;
 * that run must succeed like the clean one. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "failing_allocator.h"

enum { kSecondsPerRun = 60, kFailuresShown = 20 };

typedef int (*entry_fn)(const char *);

struct child_result {
    int rc;
    long allocations;
    int injected;
};

struct outcome {
    char problem[160]; /* empty: the child ended normally and said how */
    struct child_result result;
    char *output;      /* its standard output and standard error */
};

struct sweep {
    entry_fn entry;
    char dir[64];
    char base[96];
    char report[128];
    char *reference;
    size_t reference_size;
};

/* The whole file, or NULL when it cannot be read. */
static char *read_file(const char *path, size_t *size)
{
    FILE *in = fopen(path, "rb");
    char *text;
    long length;
    if (in == NULL) return NULL;
    if (fseek(in, 0, SEEK_END) != 0 || (length = ftell(in)) < 0 || fseek(in, 0, SEEK_SET) != 0 ||
        (text = malloc((size_t)length + 1)) == NULL) {
        fclose(in);
        return NULL;
    }
    *size = fread(text, 1, (size_t)length, in);
    text[*size] = '\0';
    fclose(in);
    return text;
}

static char *read_output(const struct sweep *sweep)
{
    char path[128];
    size_t out_size = 0, err_size = 0;
    char *out, *err, *both;
    snprintf(path, sizeof path, "%s/stdout", sweep->dir);
    out = read_file(path, &out_size);
    snprintf(path, sizeof path, "%s/stderr", sweep->dir);
    err = read_file(path, &err_size);
    both = calloc(out_size + err_size + 1, 1);
    if (both != NULL) {
        if (out != NULL) memcpy(both, out, out_size);
        if (err != NULL) memcpy(both + out_size, err, err_size);
    }
    free(out);
    free(err);
    return both;
}

/* The child: standard output and error into files, one report run with the
 * given allocation failing, its result through the pipe. */
static void child(const struct sweep *sweep, long failAt, int onward, int resultPipe)
{
    char path[128];
    int out, err;
    struct child_result result;
    snprintf(path, sizeof path, "%s/stdout", sweep->dir);
    out = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    snprintf(path, sizeof path, "%s/stderr", sweep->dir);
    err = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(101);
    alarm(kSecondsPerRun);
    failing_allocator_arm(failAt, onward);
    result.rc = sweep->entry(sweep->base);
    failing_allocator_disarm();
    result.allocations = failing_allocator_count();
    result.injected = failing_allocator_injected();
    fflush(NULL);
    if (write(resultPipe, &result, sizeof result) != (ssize_t)sizeof result) _exit(102);
    exit(0); /* through the exit handlers, so that a leak checker can speak */
}

static void describe_status(struct outcome *outcome, int status)
{
    if (WIFSIGNALED(status)) {
        if (WTERMSIG(status) == SIGALRM)
            snprintf(outcome->problem, sizeof outcome->problem, "hung (no end within %d s)", kSecondsPerRun);
        else
            snprintf(outcome->problem, sizeof outcome->problem, "killed by signal %s", strsignal(WTERMSIG(status)));
    } else if (WEXITSTATUS(status) != 0) {
        snprintf(outcome->problem, sizeof outcome->problem, "exit status %d", WEXITSTATUS(status));
    }
}

static struct outcome run_child(const struct sweep *sweep, long failAt, int onward)
{
    struct outcome outcome;
    int channel[2], status = 0;
    ssize_t got = -1;
    pid_t pid;
    memset(&outcome, 0, sizeof outcome);
    remove(sweep->report);
    if (pipe(channel) != 0) {
        strcpy(outcome.problem, "pipe failed");
        return outcome;
    }
    fflush(NULL); /* nothing of this process's buffers into the child's files */
    pid = fork();
    if (pid == 0) {
        close(channel[0]);
        child(sweep, failAt, onward, channel[1]);
    }
    close(channel[1]);
    if (pid > 0) got = read(channel[0], &outcome.result, sizeof outcome.result);
    close(channel[0]);
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        strcpy(outcome.problem, "fork or wait failed");
        return outcome;
    }
    outcome.output = read_output(sweep);
    describe_status(&outcome, status);
    if (outcome.problem[0] == '\0' && got != (ssize_t)sizeof outcome.result)
        strcpy(outcome.problem, "no result from the child");
    return outcome;
}

/* What is wrong with a run whose allocation failed; NULL when nothing is. */
static const char *judge(const struct outcome *outcome, const struct sweep *sweep)
{
    static char verdict[64];
    const int rc = outcome->result.rc;
    if (outcome->problem[0] != '\0') return outcome->problem;
    if (rc == 0) {
        size_t size = 0;
        char *report = read_file(sweep->report, &size);
        int same = report != NULL && size == sweep->reference_size &&
                   memcmp(report, sweep->reference, size) == 0;
        free(report);
        if (report == NULL) return "returned 0 without a report";
        return same ? NULL : "returned 0 with a report unlike the clean run's";
    }
    if (rc != -1) {
        snprintf(verdict, sizeof verdict, "returned %d", rc);
        return verdict;
    }
    if (outcome->output == NULL || outcome->output[0] == '\0') return "returned -1 without a message";
    return NULL;
}

/* The first three lines of a child's output, indented. */
static void print_first_lines(const char *text)
{
    int line;
    for (line = 0; line < 3 && text != NULL && *text != '\0'; ++line) {
        size_t length = strcspn(text, "\n");
        printf("\n    | %.*s", (int)(length < 200 ? length : 200), text);
        text += length + (text[length] == '\n');
    }
}

/* Runs the sweep of one kind; returns the number of wrong runs. */
static int sweep_once(const struct sweep *sweep, const char *run, long clean_allocations, int onward,
                      int *failures)
{
    int refused = 0, absorbed = 0, wrong = 0;
    long failAt;
    for (failAt = 1;; ++failAt) {
        struct outcome outcome = run_child(sweep, failAt, onward);
        const char *problem = judge(&outcome, sweep);
        const int ended = outcome.problem[0] == '\0' && !outcome.result.injected;
        if (problem != NULL) {
            ++wrong;
            if (++*failures <= kFailuresShown) {
                printf("allocation %ld%s: %s", failAt, onward ? " and on" : "", problem);
                print_first_lines(outcome.output);
                printf("\n");
            }
        } else if (outcome.result.rc == 0) {
            ++absorbed;
        } else {
            ++refused;
        }
        free(outcome.output);
        if (ended) break; /* past the last allocation */
        if (failAt > 4 * clean_allocations + 1000) {
            printf("the runs go on allocating far beyond the clean run's %ld allocations\n", clean_allocations);
            ++*failures;
            break;
        }
    }
    printf("%s: %ld allocations in the clean run; failing %s: %ld runs, %d failed with -1 "
           "and a message, %d succeeded, %d wrong\n",
           run, clean_allocations, onward ? "every one from the Nth on" : "the Nth", failAt, refused, absorbed,
           wrong);
    return wrong;
}

static int copy_file(const char *from, const char *to)
{
    size_t size = 0;
    char *text = read_file(from, &size);
    FILE *out = text != NULL ? fopen(to, "wb") : NULL;
    int copied = out != NULL && fwrite(text, 1, size, out) == size;
    if (out != NULL && fclose(out) != 0) copied = 0;
    free(text);
    return copied;
}

static int load_entry(const char *library, struct sweep *sweep)
{
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void *symbol = handle != NULL ? dlsym(handle, "CreateUQExecutionReport") : NULL;
    if (symbol == NULL) {
        fprintf(stderr, "allocation_sweep: cannot load the entry of %s: %s\n", library, dlerror());
        return 0;
    }
    *(void **)&sweep->entry = symbol;
    return 1;
}

static void remove_scratch(const struct sweep *sweep)
{
    static const char *const names[] = {"stdout", "stderr", "run.vdr", "run.log"};
    char path[128];
    size_t i;
    for (i = 0; i < sizeof names / sizeof names[0]; ++i) {
        snprintf(path, sizeof path, "%s/%s", sweep->dir, names[i]);
        remove(path);
    }
    rmdir(sweep->dir);
}

int main(int argc, char **argv)
{
    struct sweep sweep;
    struct outcome clean;
    char data[128];
    int failures = 0;
    memset(&sweep, 0, sizeof sweep);
    if (argc != 3) {
        fprintf(stderr, "usage: allocation_sweep LIBRARY RUN.vdr\n");
        return 2;
    }
    strcpy(sweep.dir, "/tmp/tarn-allocation-sweep.XXXXXX");
    if (mkdtemp(sweep.dir) == NULL || !load_entry(argv[1], &sweep)) return 2;
    snprintf(sweep.base, sizeof sweep.base, "%s/run", sweep.dir);
    snprintf(sweep.report, sizeof sweep.report, "%s.log", sweep.base);
    snprintf(data, sizeof data, "%s.vdr", sweep.base);
    if (!copy_file(argv[2], data)) {
        fprintf(stderr, "allocation_sweep: cannot copy %s\n", argv[2]);
        remove_scratch(&sweep);
        return 2;
    }

    clean = run_child(&sweep, 0, 0);
    if (clean.problem[0] != '\0' || clean.result.rc != 0 ||
        (sweep.reference = read_file(sweep.report, &sweep.reference_size)) == NULL) {
        fprintf(stderr, "%s: the clean run failed (%s, result %d)", argv[2], clean.problem, clean.result.rc);
        print_first_lines(clean.output);
        fprintf(stderr, "\n");
        remove_scratch(&sweep);
        return 1;
    }
    free(clean.output);
    sweep_once(&sweep, argv[2], clean.result.allocations, 0, &failures);
    sweep_once(&sweep, argv[2], clean.result.allocations, 1, &failures);
    free(sweep.reference);
    remove_scratch(&sweep);
    return failures == 0 ? 0 : 1;
}
