#pragma once
// What tests of the module's exports and objects share: the built DLL,
// loaded by path, in a single-threaded apartment, and its class objects.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "HostContract.h"
#include "IniPlugin.h"
#include "support/Apartment.h"
#include "support/PluginDll.h"

class ModuleTest : public ::testing::Test {
protected:
    Microsoft::WRL::ComPtr<IClassFactory> ClassObject(REFCLSID clsid)
    {
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, dll.GetClassObject(clsid, factory.GetAddressOf()));
        return factory;
    }

    // A plain object of the class, answering IUnknown.
    Microsoft::WRL::ComPtr<IUnknown> Create(REFCLSID clsid)
    {
        Microsoft::WRL::ComPtr<IUnknown> object;
        auto factory = ClassObject(clsid);
        if (factory) {
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
        }
        return object;
    }

    // Declared in this order so that the DLL outlives every object of a test
    // and the apartment outlives the DLL.
    Apartment apartment;
    PluginDll dll;
};

// The two classes, for tests that hold for both.
struct ClassCase {
    const char* name;
    const CLSID* clsid;
};

inline const ClassCase kClasses[] = {{"IniFormat", &CLSID_IniFormat}, {"IniFile", &CLSID_IniFile}};
