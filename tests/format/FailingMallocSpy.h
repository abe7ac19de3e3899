#pragma once
// Watches the COM task allocator, which BSTRs come from, and makes one
// chosen allocation fail. Needs the BSTR cache off (OANOCACHE set in the
// environment) so that every string really is allocated and freed.
#include <windows.h>
#include <objbase.h>

#include <set>

class FailingMallocSpy final : public IMallocSpy {
public:
    // Fails the allocation with this 1-based number; 0 fails none.
    explicit FailingMallocSpy(int failingAllocation) : failingAllocation_(failingAllocation) {}

    int allocations() const { return allocations_; }
    // Blocks allocated while the spy watched and not freed yet.
    size_t live() const { return live_.size(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *result = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack; COM's references do not own it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T request) override
    {
        // A zero count makes the allocator fail the request, as under memory pressure.
        return ++allocations_ == failingAllocation_ ? 0 : request;
    }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override
    {
        if (actual != nullptr)
            live_.insert(actual);
        return actual;
    }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override
    {
        live_.erase(request);
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override
    {
        live_.erase(request);
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override
    {
        if (actual != nullptr)
            live_.insert(actual);
        return actual;
    }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}

private:
    int failingAllocation_;
    int allocations_ = 0;
    std::set<void*> live_;
};

// Whether BSTRs bypass the cache, as the spy needs (set by the test's CMake entry).
inline bool BstrCacheIsOff() { return GetEnvironmentVariableW(L"OANOCACHE", nullptr, 0) != 0; }

// Installs a spy for the length of a scope.
class MallocSpyScope {
public:
    explicit MallocSpyScope(FailingMallocSpy& spy) { registered_ = SUCCEEDED(CoRegisterMallocSpy(&spy)); }
    MallocSpyScope(const MallocSpyScope&) = delete;
    MallocSpyScope& operator=(const MallocSpyScope&) = delete;
    ~MallocSpyScope()
    {
        if (registered_)
            CoRevokeMallocSpy();
    }
    bool registered() const { return registered_; }

private:
    bool registered_ = false;
};
