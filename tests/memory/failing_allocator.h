/* Allocation failure on demand for a test program written in C: it
 * replaces malloc, calloc, realloc, aligned_alloc, posix_memalign and free
 * (C++ code loaded later reaches them through operator new), counts the
 * allocations made while counting is on, and fails one of them or every one
 * from there on. */
#ifndef FAILING_ALLOCATOR_H
#define FAILING_ALLOCATOR_H

/* Starts counting from 0; the allocation numbered failAt (from 1) returns
 * null, and with `onward` non-zero every later one too, as when memory has
 * run out.  failAt 0 fails none. */
void failing_allocator_arm(long failAt, int onward);

/* Stops counting and failing. */
void failing_allocator_disarm(void);

/* Allocations counted since the last arm. */
long failing_allocator_count(void);

/* Non-zero when the allocation numbered failAt was reached (and failed). */
int failing_allocator_injected(void);

#endif
