#pragma once
// What format-object tests share: the built DLL in a single-threaded
// apartment, format objects from its class object, and a fresh folder.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "HostContract.h"
#include "IniPlugin.h"
#include "support/Apartment.h"
#include "support/PluginDll.h"
#include "support/TestFiles.h"

class FormatTest : public ::testing::Test {
protected:
    // A plain format object made by the class object, as the host gets one.
    Microsoft::WRL::ComPtr<IZephFileFormat> CreateFormat()
    {
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, dll.GetClassObject(CLSID_IniFormat, factory.GetAddressOf()));
        Microsoft::WRL::ComPtr<IZephFileFormat> format;
        if (factory) {
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&format)));
        }
        return format;
    }

    std::filesystem::path IniFile(std::string_view content, std::string_view name = "test.ini")
    {
        return folder.WriteFile(name, content);
    }

    // Declared in this order so that the DLL outlives every object of a test
    // and the apartment outlives the DLL.
    Apartment apartment;
    PluginDll dll;
    TempFolder folder;
};
