#pragma once
// The class object of one class: an IClassFactory that builds plain or
// aggregated instances of `Class` through Class::CreateInstance.
//
// The class table holds the first reference. While anyone else holds one
// too, the class object keeps the module loaded: its count going from 1 to 2
// takes a module lock and going from 2 back to 1 gives it back.
#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <memory>
#include <new>

#include "com/ModuleLock.h"

template <class Class>
class ClassFactory final : public IClassFactory {
public:
    // Makes a class object and answers `iid` on it; the answer holds the
    // object's only reference.
    static HRESULT Create(REFIID iid, void** result) noexcept
    {
        *result = nullptr;
        std::unique_ptr<ClassFactory> created(new (std::nothrow) ClassFactory());
        if (!created)
            return E_OUTOFMEMORY;
        const HRESULT hr = created->QueryInterface(iid, result);
        if (SUCCEEDED(hr))
            created.release();  // the answer now holds the only reference
        return hr;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (result == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *result = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override
    {
        const ULONG count = ++references;
        if (count == 2)
            LockModule();
        return count;
    }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG count = --references;
        if (count == 1)
            UnlockModule();
        else if (count == 0)
            std::unique_ptr<ClassFactory> destroyed(this);
        return count;
    }

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
    ClassFactory() = default;

    std::atomic<ULONG> references{0};
};
