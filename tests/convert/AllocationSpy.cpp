#include "AllocationSpy.h"

bool AllocationSpy::Register() noexcept
{
    if (FAILED(CoRegisterMallocSpy(this)))
        return false;
    // Wine looks a freed block up in the spy's list before anything was
    // allocated under the spy and finds no list; one block creates it.
    CoTaskMemFree(CoTaskMemAlloc(1));
    return true;
}

HRESULT AllocationSpy::Revoke() noexcept
{
    return CoRevokeMallocSpy();
}

HRESULT STDMETHODCALLTYPE AllocationSpy::QueryInterface(REFIID iid, void** result)
{
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
        *result = static_cast<IMallocSpy*>(this);
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

SIZE_T STDMETHODCALLTYPE AllocationSpy::PreAlloc(SIZE_T requested)
{
    // Zero makes the allocator fail (except for empty blocks).
    return failing_ ? 0 : requested;
}

void* STDMETHODCALLTYPE AllocationSpy::PostAlloc(void* allocated)
{
    if (allocated != nullptr) {
        ++allocations_;
        ++live_;
    }
    return allocated;
}

void* STDMETHODCALLTYPE AllocationSpy::PreFree(void* block, BOOL spied)
{
    if (block != nullptr && spied)
        --live_;
    return block;
}

SIZE_T STDMETHODCALLTYPE AllocationSpy::PreRealloc(void* block, SIZE_T requested, void** actual, BOOL spied)
{
    *actual = block;
    if (failing_)
        return 0;
    if (block != nullptr && spied)
        --live_;
    return requested;
}

void* STDMETHODCALLTYPE AllocationSpy::PostRealloc(void* reallocated, BOOL)
{
    if (reallocated != nullptr) {
        ++allocations_;
        ++live_;
    }
    return reallocated;
}
