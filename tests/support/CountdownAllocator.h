#pragma once
// Makes one allocation fail on request, so that a test can walk through
// every allocation of an operation. Counted together are the allocations
// through operator new (CountdownAllocator.cpp replaces the global operator
// new and delete of the program it is linked into, the plug-in's static
// library included) and those of the COM task allocator, which holds every
// BSTR (through a malloc spy registered at the first request, for the rest of
// the program). Until a test asks, nothing fails.

// Fails the `number`th allocation from now (1: the next one); 0 fails none.
void FailAllocation(long number) noexcept;

// Whether the allocation asked for has been made to fail.
bool AllocationFailed() noexcept;
