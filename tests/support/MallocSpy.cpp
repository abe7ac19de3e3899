#include "support/MallocSpy.h"

#include <gtest/gtest.h>

bool MallocSpy::Register() noexcept
{
    if (FAILED(CoRegisterMallocSpy(this)))
        return false;
    failingNumber_ = 0;
    failingAll_ = false;
    // Wine looks a freed block up in the spy's list before anything was
    // allocated under the spy and finds no list; one block creates it.
    CoTaskMemFree(CoTaskMemAlloc(1));
    // Counting starts after that block.
    live_ = 0;
    allocations_ = 0;
    return true;
}

HRESULT MallocSpy::Revoke() noexcept
{
    // A spy that stays registered must not break the rest of the program.
    failingNumber_ = 0;
    failingAll_ = false;
    return CoRevokeMallocSpy();
}

HRESULT STDMETHODCALLTYPE PassThroughMallocSpy::QueryInterface(REFIID iid, void** result)
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

bool MallocSpy::countRequest() noexcept
{
    ++allocations_;
    return failingAll_ || allocations_ == failingNumber_;
}

SIZE_T STDMETHODCALLTYPE MallocSpy::PreAlloc(SIZE_T requested)
{
    // Zero makes the allocator fail, as under memory pressure (except for
    // empty blocks).
    return countRequest() ? 0 : requested;
}

void* STDMETHODCALLTYPE MallocSpy::PostAlloc(void* allocated)
{
    if (allocated != nullptr)
        ++live_;
    return allocated;
}

void* STDMETHODCALLTYPE MallocSpy::PreFree(void* block, BOOL spied)
{
    if (block != nullptr && spied)
        --live_;
    return block;
}

SIZE_T STDMETHODCALLTYPE MallocSpy::PreRealloc(void* block, SIZE_T requested, void** actual, BOOL spied)
{
    *actual = block;
    // Zero makes the reallocation fail; the caller then still holds the block.
    if (countRequest())
        return 0;
    if (block != nullptr && spied)
        --live_;
    return requested;
}

void* STDMETHODCALLTYPE MallocSpy::PostRealloc(void* reallocated, BOOL)
{
    if (reallocated != nullptr)
        ++live_;
    return reallocated;
}

bool BstrCacheIsOff() noexcept
{
    return GetEnvironmentVariableW(L"OANOCACHE", nullptr, 0) != 0;
}

MallocSpyScope::~MallocSpyScope()
{
    if (registered_) {
        EXPECT_EQ(S_OK, spy_.Revoke()) << "blocks allocated under the malloc spy are still held, so it stays registered";
    }
}
