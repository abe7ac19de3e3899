#pragma once
// Watches the COM task allocator, which holds every BSTR, so that tests can
// tell whether code released each string it made and can make allocations
// fail. Needs the BSTR cache off (OANOCACHE set in the environment, see
// BstrCacheIsOff): otherwise oleaut32 keeps freed strings for reuse instead
// of freeing them.
#include <windows.h>
#include <objbase.h>

// A spy that passes every request on unchanged and lives as long as the
// program, whatever COM's references say; spies override what they watch.
class PassThroughMallocSpy : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T requested) override { return requested; }
    void* STDMETHODCALLTYPE PostAlloc(void* allocated) override { return allocated; }
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL) override { return block; }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T requested, void** actual, BOOL) override
    {
        *actual = block;
        return requested;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* reallocated, BOOL) override { return reallocated; }
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

protected:
    ~PassThroughMallocSpy() = default;
};

class MallocSpy final : public PassThroughMallocSpy {
public:
    // Registers the spy for the calling process and starts it afresh:
    // nothing counted, no allocation made to fail. True on success.
    bool Register() noexcept;
    // Stops making allocations fail and unregisters the spy. Fails with
    // E_ACCESSDENIED while blocks allocated under the spy are still held; the
    // spy then stays registered until they are freed, so a spy should live as
    // long as the program.
    HRESULT Revoke() noexcept;

    // Blocks allocated since the spy was registered and not freed yet.
    long live() const noexcept { return live_; }
    // Every allocation and reallocation asked for since the spy was
    // registered, those it made fail included.
    long allocations() const noexcept { return allocations_; }
    // Fails the allocation or reallocation with this 1-based number, as
    // allocations() counts them; 0 fails none.
    void failAllocationNumber(long number) noexcept { failingNumber_ = number; }
    // While set, every allocation and reallocation fails.
    void failAllocations(bool fail) noexcept { failingAll_ = fail; }

    // What the spy watches: allocations, frees and reallocations.
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T requested) override;
    void* STDMETHODCALLTYPE PostAlloc(void* allocated) override;
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override;
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T requested, void** actual, BOOL spied) override;
    void* STDMETHODCALLTYPE PostRealloc(void* reallocated, BOOL) override;

private:
    // Counts the next allocation request; true when it must fail.
    bool countRequest() noexcept;

    // Plain values, nothing to destroy: a spy that lives as long as the
    // program may be called until the process ends.
    long live_ = 0;
    long allocations_ = 0;
    long failingNumber_ = 0;
    bool failingAll_ = false;
};

// Whether BSTRs bypass the cache, as the spy needs (set by the test's CMake entry).
bool BstrCacheIsOff() noexcept;

// Registers a spy for the length of a scope. Leaving the scope with blocks
// allocated under the spy still held is a test failure.
class MallocSpyScope {
public:
    explicit MallocSpyScope(MallocSpy& spy) noexcept : spy_(spy), registered_(spy.Register()) {}
    MallocSpyScope(const MallocSpyScope&) = delete;
    MallocSpyScope& operator=(const MallocSpyScope&) = delete;
    ~MallocSpyScope();
    bool registered() const noexcept { return registered_; }

private:
    MallocSpy& spy_;
    bool registered_;
};
