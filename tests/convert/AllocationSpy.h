#pragma once
// Watches the COM task allocator, which holds every BSTR, so that tests can
// tell whether code released each string it made and can make allocations
// fail. Needs OANOCACHE=1: otherwise oleaut32 keeps freed strings for reuse
// instead of freeing them.
#include <windows.h>
#include <objidl.h>

class AllocationSpy final : public IMallocSpy {
public:
    // Registers the spy for the calling process; true on success.
    bool Register() noexcept;
    // Unregisters it. Fails with E_ACCESSDENIED while blocks allocated under
    // the spy are still held; the spy then stays registered until they are freed.
    HRESULT Revoke() noexcept;

    // Blocks allocated while the spy was registered and not freed yet.
    long live() const noexcept { return live_; }
    // Every allocation seen while registered.
    long allocations() const noexcept { return allocations_; }
    // While set, every allocation and reallocation fails.
    void failAllocations(bool fail) noexcept { failing_ = fail; }

    // IUnknown: the spy lives as long as the test program.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IMallocSpy
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T requested) override;
    void* STDMETHODCALLTYPE PostAlloc(void* allocated) override;
    void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override;
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T requested, void** actual, BOOL spied) override;
    void* STDMETHODCALLTYPE PostRealloc(void* reallocated, BOOL) override;
    void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int allocated) override { return allocated; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    // Plain counters: the spy may be called until the process ends.
    long live_ = 0;
    long allocations_ = 0;
    bool failing_ = false;
};
