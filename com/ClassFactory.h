#pragma once
// The class object of one class: an IClassFactory that builds plain or
// aggregated instances of `Class` through Class::CreateInstance. Its IUnknown
// is ComObject's, with a reference count of its own below.
#include <windows.h>
#include <unknwn.h>

#include <atomic>

#include "com/ComObject.h"
#include "com/ModuleLock.h"

// Class objects count references atomically. The class table holds the first
// reference; while anyone else holds one too, the class object keeps the
// module loaded: its count going from 1 to 2 takes a module lock and going
// from 2 back to 1 gives it back.
class ClassObjectRefCount {
public:
    ULONG Increment() noexcept
    {
        const ULONG count = ++count_;
        if (count == 2)
            LockModule();
        return count;
    }
    ULONG Decrement() noexcept
    {
        const ULONG count = --count_;
        if (count == 1)
            UnlockModule();
        return count;
    }
    void Stabilize() noexcept { count_ = kReferencesWhileDestroyed; }

private:
    std::atomic<ULONG> count_{0};
};

template <class Class>
class ClassFactory final : public ComObject<ClassFactory<Class>, ClassObjectRefCount, IClassFactory> {
public:
    // Makes a class object and answers `iid` on it; the answer holds the
    // object's only reference.
    static HRESULT Create(REFIID iid, void** result) noexcept
    {
        return ComObjectCreation<Base>::CreateInstance(nullptr, iid, result);
    }

    ClassFactory() = default;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** result) override
    {
        if (result == nullptr)
            return E_POINTER;
        *result = nullptr;
        // An aggregated object must hand its inner unknown to the outer one.
        if (outer != nullptr && !IsEqualIID(iid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        return Class::CreateInstance(outer, iid, result);
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    using Base = ComObject<ClassFactory<Class>, ClassObjectRefCount, IClassFactory>;
};
