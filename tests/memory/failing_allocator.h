// Allocation failure on demand for a test program: it replaces malloc,
// calloc, realloc, free and every form of operator new and delete, counts
// the allocations made while counting is on, and fails one of them or every
// one from there on.
#pragma once

namespace failing_allocator {

// Starts counting from 0; the allocation numbered failAt (from 1) returns
// null (operator new throws std::bad_alloc), and with `onward` every later
// one too, as when memory has run out.  failAt 0 fails none.
void Arm(long failAt, bool onward = false);

// Stops counting and failing.
void Disarm();

// Allocations counted since Arm.
long Count();

// True when the allocation numbered failAt was reached (and failed).
bool Injected();

}  // namespace failing_allocator
