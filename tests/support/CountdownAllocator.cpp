#include "support/CountdownAllocator.h"
#include "support/MallocSpy.h"

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Allocations left before the one that fails; 0 while none is asked for.
std::atomic<long> remaining{0};
std::atomic<bool> failed{false};

// Counts one allocation; true for the one that must fail.
bool Fails() noexcept
{
    if (remaining.load() > 0 && --remaining == 0) {
        failed = true;
        return true;
    }
    return false;
}

void* Allocate(std::size_t size) noexcept { return Fails() ? nullptr : std::malloc(size != 0 ? size : 1); }

void* AllocateOrThrow(std::size_t size)
{
    if (void* block = Allocate(size))
        return block;
    throw std::bad_alloc();
}

// Lets the countdown fail task allocations too; otherwise passes everything on.
class CountingSpy final : public PassThroughMallocSpy {
public:
    // Zero makes the allocation fail, as when memory runs out.
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T requested) override { return Fails() ? 0 : requested; }
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T requested, void** actual, BOOL) override
    {
        *actual = block;
        return Fails() ? 0 : requested;
    }
};

void WatchTaskAllocations()
{
    static CountingSpy spy;
    static const bool registered = [] {
        const bool done = SUCCEEDED(CoRegisterMallocSpy(&spy));
        // Wine looks a freed block up in the spy's list before anything was
        // allocated under the spy and finds no list; one block creates it.
        CoTaskMemFree(CoTaskMemAlloc(1));
        return done;
    }();
    (void)registered;
}

}  // namespace

void FailAllocation(long number) noexcept
{
    WatchTaskAllocations();
    failed = false;
    remaining = number;
}

bool AllocationFailed() noexcept { return failed; }

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
