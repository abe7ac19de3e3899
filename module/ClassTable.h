#pragma once
// The module's two COM classes, in their fixed order: the order of lookup,
// registration, unregistration and termination. Each entry's class object is
// made at the first request for it and kept until the module terminates.
#include <windows.h>

#include <array>

struct ClassEntry {
    const CLSID* clsid;
    // The "REGISTRY" resource that holds the class's registration script.
    UINT registrationScript;
    // Makes a new class object and answers the interface asked for.
    HRESULT (*createClassObject)(REFIID iid, void** result) noexcept;
};

const std::array<ClassEntry, 2>& ClassEntries() noexcept;

// The cached class object of `clsid`, made first if need be, answering
// `iid`. CLASS_E_CLASSNOTAVAILABLE when the class is not in the table; a
// class object that cannot be made is not cached, so a later call tries again.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result) noexcept;

// Releases the cached class objects; the table can be used again afterwards.
void ReleaseClassObjects() noexcept;
