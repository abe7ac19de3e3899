#pragma once
// The one implementation of IUnknown of the module: both classes and their
// class objects (com/ClassFactory.h) share it, plain and aggregated objects
// alike.
//
// Every object carries an inner, non-delegating unknown that owns the
// reference count and answers QueryInterface from the object's interface
// list, in order. The IUnknown methods of the object's interfaces delegate to
// the controlling unknown: the outer object when aggregated, the inner unknown
// otherwise. A plain object answers IID_IUnknown with its first interface,
// which fixes its identity; an aggregated one answers it, on the inner
// unknown, with the inner unknown itself.
//
// Derived classes may define, hiding the defaults below (and befriending
// their ComObject base, which calls them):
//   HRESULT FinalConstruct()  - construction step that can fail;
//   HRESULT QueryExtraInterface(REFIID, void**) - interfaces answered by an
//       aggregated helper (the free-threaded marshaler), after the list.
#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <climits>
#include <memory>

#include "com/ComError.h"
#include "com/ModuleLock.h"

// The count an object holds while it is destroyed: far from zero, so that
// whatever its destructor does with its own references (a helper it
// aggregates releasing it, say) cannot bring the count to zero a second time
// and destroy it twice.
constexpr ULONG kReferencesWhileDestroyed = ULONG_MAX / 2;

// How an object counts its references. The count also keeps the module
// loaded (com/ModuleLock.h) as its object must: every object of the module's
// classes holds one module lock for its whole life.
template <class Count>
class ObjectRefCount {
public:
    ULONG Increment() noexcept { return ++count_; }
    ULONG Decrement() noexcept { return --count_; }
    void Stabilize() noexcept { count_ = kReferencesWhileDestroyed; }

private:
    ModuleLockHold moduleLock_;
    Count count_{0};
};

// Free-threaded objects count references atomically; apartment objects are
// called from one thread only.
using AtomicRefCount = ObjectRefCount<std::atomic<ULONG>>;
using ApartmentRefCount = ObjectRefCount<ULONG>;

// The static CreateInstance of ComObject. It lives in a base of its own,
// beside the interfaces rather than below them, so that a class object can
// be a ComObject too: IClassFactory has a CreateInstance of its own, which a
// static function of the same signature below it could not stand beside.
template <class Object>
class ComObjectCreation {
public:
    // Creates a plain object (outer null) or an aggregated one, and answers
    // `iid` on its inner unknown. A failing construction step or
    // QueryInterface destroys the object and returns the HRESULT; so does a
    // member whose constructor runs out of memory (E_OUTOFMEMORY).
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** result) noexcept
    {
        return Object::Construct(outer, iid, result);
    }
};

template <class Derived, class RefCount, class FirstInterface, class... OtherInterfaces>
class ComObject : public ComObjectCreation<ComObject<Derived, RefCount, FirstInterface, OtherInterfaces...>>,
                  public FirstInterface,
                  public OtherInterfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        return controlling_->QueryInterface(iid, result);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return controlling_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return controlling_->Release(); }

protected:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;
    virtual ~ComObject() = default;

    // The unknown that answers for the whole object (the outer one when aggregated).
    IUnknown* ControllingUnknown() const noexcept { return controlling_; }

    HRESULT FinalConstruct() noexcept { return S_OK; }
    HRESULT QueryExtraInterface(REFIID, void** result) noexcept
    {
        *result = nullptr;
        return E_NOINTERFACE;
    }

private:
    friend class ComObjectCreation<ComObject>;

    static HRESULT Construct(IUnknown* outer, REFIID iid, void** result) noexcept
    {
        if (result == nullptr)
            return E_POINTER;
        *result = nullptr;
        std::unique_ptr<Derived> created;
        try {
            created = std::make_unique<Derived>();
        } catch (...) {
            return HResultFromCaughtException();
        }
        Derived* object = created.release();  // from here the reference count owns it
        if (outer != nullptr)
            object->controlling_ = outer;
        // Hold a reference through construction so that nothing it does can
        // destroy the object half-built.
        object->inner_.AddRef();
        HRESULT hr = object->FinalConstruct();
        if (SUCCEEDED(hr))
            hr = object->inner_.QueryInterface(iid, result);
        object->inner_.Release();
        return hr;
    }

    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(ComObject* owner) noexcept : owner_(owner) {}

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
        {
            if (result == nullptr)
                return E_POINTER;
            *result = nullptr;
            if (IsEqualIID(iid, IID_IUnknown)) {
                *result = owner_->controlling_ == this ? static_cast<IUnknown*>(static_cast<FirstInterface*>(owner_))
                                                       : static_cast<IUnknown*>(this);
            } else if (!owner_->FindListed<FirstInterface, OtherInterfaces...>(iid, result)) {
                return static_cast<Derived*>(owner_)->QueryExtraInterface(iid, result);
            }
            // Through the interface handed out: for an aggregated object the
            // reference belongs to the outer object, which its caller releases.
            static_cast<IUnknown*>(*result)->AddRef();
            return S_OK;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return count_.Increment(); }
        ULONG STDMETHODCALLTYPE Release() override
        {
            const ULONG remaining = count_.Decrement();
            if (remaining == 0) {
                count_.Stabilize();
                std::unique_ptr<Derived> destroyed(static_cast<Derived*>(owner_));
            }
            return remaining;
        }

    private:
        ComObject* owner_;
        RefCount count_;
    };

    template <class Interface, class... Rest>
    bool FindListed(REFIID iid, void** result) noexcept
    {
        if (IsEqualIID(iid, __uuidof(Interface))) {
            *result = static_cast<Interface*>(this);
            return true;
        }
        if constexpr (sizeof...(Rest) > 0)
            return FindListed<Rest...>(iid, result);
        else
            return false;
    }

    InnerUnknown inner_{this};
    IUnknown* controlling_ = &inner_;
};
