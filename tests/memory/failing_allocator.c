/* The replacements forward to the next definitions in the process (the C
 * library's, or the sanitizer runtime's in a sanitizer build), found with
 * dlsym.  While dlsym itself needs memory, a small static arena serves it.
 * The dynamic loader takes the thread-local blocks of the libraries a
 * program loads from these too, so their failure is swept as well. */
#define _GNU_SOURCE
#include "failing_allocator.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdalign.h>
#include <stddef.h>
#include <string.h>

typedef void *(*malloc_fn)(size_t);
typedef void *(*calloc_fn)(size_t, size_t);
typedef void *(*realloc_fn)(void *, size_t);
typedef void *(*aligned_alloc_fn)(size_t, size_t);
typedef int (*posix_memalign_fn)(void **, size_t, size_t);
typedef void (*free_fn)(void *);

static malloc_fn real_malloc;
static calloc_fn real_calloc;
static realloc_fn real_realloc;
static aligned_alloc_fn real_aligned_alloc;
static posix_memalign_fn real_posix_memalign;
static free_fn real_free;
static int resolving;

static alignas(max_align_t) char arena[1 << 16];
static size_t arena_used;

static volatile int armed;
static long counted;
static long failing_allocation;
static int failing_onward;
static int injected;

static int in_arena(const void *block)
{
    return (const char *)block >= arena && (const char *)block < arena + sizeof arena;
}

static void *from_arena(size_t size)
{
    const size_t aligned = (size + alignof(max_align_t) - 1) & ~(alignof(max_align_t) - 1);
    void *block;
    if (aligned > sizeof arena - arena_used) return NULL;
    block = arena + arena_used;
    arena_used += aligned;
    return block;
}

static int resolve(void)
{
    if (real_free != NULL) return 1;
    if (resolving) return 0;
    resolving = 1;
    real_malloc = (malloc_fn)dlsym(RTLD_NEXT, "malloc");
    real_calloc = (calloc_fn)dlsym(RTLD_NEXT, "calloc");
    real_realloc = (realloc_fn)dlsym(RTLD_NEXT, "realloc");
    real_aligned_alloc = (aligned_alloc_fn)dlsym(RTLD_NEXT, "aligned_alloc");
    real_posix_memalign = (posix_memalign_fn)dlsym(RTLD_NEXT, "posix_memalign");
    real_free = (free_fn)dlsym(RTLD_NEXT, "free");
    resolving = 0;
    return real_free != NULL;
}

/* Zero when this allocation is the one to fail. */
static int admit(void)
{
    long number;
    if (!armed) return 1;
    number = __atomic_add_fetch(&counted, 1, __ATOMIC_RELAXED);
    if (failing_allocation == 0 || number < failing_allocation) return 1;
    if (number > failing_allocation && !failing_onward) return 1;
    injected = 1;
    return 0;
}

void failing_allocator_arm(long failAt, int onward)
{
    resolve();
    failing_allocation = failAt;
    failing_onward = onward;
    injected = 0;
    counted = 0;
    armed = 1;
}

void failing_allocator_disarm(void) { armed = 0; }
long failing_allocator_count(void) { return counted; }
int failing_allocator_injected(void) { return injected; }

void *malloc(size_t size)
{
    if (!resolve()) return from_arena(size);
    return admit() ? real_malloc(size) : NULL;
}

void *calloc(size_t count, size_t size)
{
    if (!resolve()) {
        if (size != 0 && count > sizeof arena / size) return NULL;
        return from_arena(count * size); /* the arena is zero from the start */
    }
    return admit() ? real_calloc(count, size) : NULL;
}

void *realloc(void *block, size_t size)
{
    void *moved;
    size_t available;
    if (!resolve()) return NULL;
    if (!in_arena(block)) return admit() ? real_realloc(block, size) : NULL;
    moved = admit() ? real_malloc(size) : NULL;
    if (moved != NULL) {
        available = (size_t)(arena + sizeof arena - (char *)block);
        memcpy(moved, block, size < available ? size : available);
    }
    return moved;
}

void *aligned_alloc(size_t alignment, size_t size)
{
    if (!resolve()) return NULL;
    return admit() ? real_aligned_alloc(alignment, size) : NULL;
}

int posix_memalign(void **block, size_t alignment, size_t size)
{
    if (!resolve()) return ENOMEM;
    return admit() ? real_posix_memalign(block, alignment, size) : ENOMEM;
}

void free(void *block)
{
    if (block == NULL || in_arena(block)) return;
    if (resolve()) real_free(block);
}
