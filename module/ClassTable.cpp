#include "module/ClassTable.h"

#include <atomic>

#include "IniPlugin.h"
#include "com/ClassFactory.h"
#include "format/CIniFormat.h"
#include "module/ResourceIds.h"
#include "navigator/CIniFile.h"

namespace {

constexpr std::array<ClassEntry, 2> kEntries = {{
    {&CLSID_IniFormat, IDR_INIFORMAT, &ClassFactory<CIniFormat>::Create},
    {&CLSID_IniFile, IDR_INIFILE, &ClassFactory<CIniFile>::Create},
}};

// One entry's class object. The table's reference is the object's first;
// once set, the pointer is read without the lock.
class CachedClassObject {
public:
    CachedClassObject() = default;
    CachedClassObject(const CachedClassObject&) = delete;
    CachedClassObject& operator=(const CachedClassObject&) = delete;
    ~CachedClassObject() { Reset(); }

    IUnknown* Get() const noexcept { return object_.load(std::memory_order_acquire); }
    void Set(IUnknown* created) noexcept { object_.store(created, std::memory_order_release); }
    void Reset() noexcept
    {
        if (IUnknown* held = object_.exchange(nullptr))
            held->Release();
    }

private:
    std::atomic<IUnknown*> object_{nullptr};
};

// Held exclusively for the length of a scope. An SRWLOCK can neither fail
// to be taken nor throw, which matters here: its users are noexcept and have
// no way to report a lock that failed.
class ExclusiveHold {
public:
    explicit ExclusiveHold(SRWLOCK& lock) noexcept : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
    ~ExclusiveHold() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};

SRWLOCK classTableLock = SRWLOCK_INIT;
std::array<CachedClassObject, kEntries.size()> classObjects;

}  // namespace

const std::array<ClassEntry, 2>& ClassEntries() noexcept { return kEntries; }

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result) noexcept
{
    *result = nullptr;
    for (size_t index = 0; index < kEntries.size(); ++index) {
        if (!IsEqualCLSID(clsid, *kEntries[index].clsid))
            continue;
        CachedClassObject& cached = classObjects[index];
        IUnknown* object = cached.Get();
        if (object == nullptr) {
            // Tested again under the lock, so two threads asking at once get
            // the same class object.
            ExclusiveHold hold(classTableLock);
            object = cached.Get();
            if (object == nullptr) {
                const HRESULT created = kEntries[index].createClassObject(IID_IUnknown, reinterpret_cast<void**>(&object));
                if (FAILED(created))
                    return created;
                cached.Set(object);
            }
        }
        return object->QueryInterface(iid, result);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

void ReleaseClassObjects() noexcept
{
    for (CachedClassObject& cached : classObjects)
        cached.Reset();
}
