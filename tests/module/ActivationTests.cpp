// Both classes through COM activation once the DLL is registered, and the
// navigator's IIniFile crossing apartments through the module's own
// proxy/stub.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "HostContract.h"
#include "IniPlugin.h"
#include "support/Apartment.h"
#include "support/PluginDll.h"
#include "support/Regsvr32.h"

namespace {

// The DLL is registered for the whole program and unregistered at its end.
class RegisteredPlugin : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(0, Regsvr32(PluginDll::BuiltPath())) << "registering the built DLL"; }
    void TearDown() override { EXPECT_EQ(0, Regsvr32(PluginDll::BuiltPath(), true)); }
};

const auto* const registeredPlugin = ::testing::AddGlobalTestEnvironment(new RegisteredPlugin);

// Proxies answer IClientSecurity; the plug-in's objects do not.
bool IsProxy(IUnknown* object)
{
    Microsoft::WRL::ComPtr<IClientSecurity> security;
    return SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&security)));
}

// Runs `body` on a new thread in the multithreaded apartment while this
// single-threaded apartment keeps serving calls into it.
void InMultithreadedApartment(const std::function<void()>& body)
{
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread other([&] {
        {
            Apartment multithreaded(COINIT_MULTITHREADED);
            body();
        }
        SetEvent(done);
    });
    EXPECT_TRUE(WaitPumping(done)) << "the other apartment did not finish";
    other.join();
    CloseHandle(done);
}

class ActivationTest : public ::testing::Test {
protected:
    Apartment apartment;
};

}  // namespace

TEST_F(ActivationTest, BothClassesAreCreatedByClassIdentifier)
{
    Microsoft::WRL::ComPtr<IZephFileFormat> format;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_IniFormat, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&format)));
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_IniFile, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&navigator)));
    EXPECT_FALSE(IsProxy(format.Get())) << "created in the caller's apartment";
    EXPECT_FALSE(IsProxy(navigator.Get())) << "created in the caller's apartment";
}

TEST_F(ActivationTest, ProgIdsLeadToTheClasses)
{
    const struct {
        const wchar_t* progId;
        const CLSID* clsid;
    } cases[] = {
        {L"IniPlugin.IniFormat", &CLSID_IniFormat},
        {L"IniPlugin.IniFormat.1", &CLSID_IniFormat},
        {L"IniPlugin.IniFile", &CLSID_IniFile},
        {L"IniPlugin.IniFile.1", &CLSID_IniFile},
    };
    for (const auto& c : cases) {
        CLSID clsid = {};
        ASSERT_EQ(S_OK, CLSIDFromProgID(c.progId, &clsid)) << c.progId;
        EXPECT_TRUE(IsEqualCLSID(*c.clsid, clsid)) << c.progId;
        Microsoft::WRL::ComPtr<IUnknown> object;
        EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object))) << c.progId;
    }
}

TEST_F(ActivationTest, IIniFileReachesAnotherApartmentThroughTheModulesProxy)
{
    Microsoft::WRL::ComPtr<IIniFile> navigator;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_IniFile, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&navigator)));
    IStream* stream = nullptr;
    ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(IID_IIniFile, navigator.Get(), &stream));

    HRESULT unmarshalled = E_FAIL;
    HRESULT queried = E_FAIL;
    bool proxy = false;
    bool sameObject = true;
    InMultithreadedApartment([&] {
        Microsoft::WRL::ComPtr<IIniFile> received;
        unmarshalled = CoGetInterfaceAndReleaseStream(stream, IID_PPV_ARGS(&received));
        if (FAILED(unmarshalled))
            return;
        proxy = IsProxy(received.Get());
        sameObject = received.Get() == navigator.Get();
        // A call through the proxy: the stub in this apartment answers it.
        Microsoft::WRL::ComPtr<IIniFile> again;
        queried = received->QueryInterface(IID_PPV_ARGS(&again));
    });
    ASSERT_EQ(S_OK, unmarshalled) << "the module's proxy/stub marshals IIniFile";
    EXPECT_TRUE(proxy) << "an apartment-threaded navigator is reached through a proxy";
    EXPECT_FALSE(sameObject);
    EXPECT_EQ(S_OK, queried);
}

TEST_F(ActivationTest, ANavigatorCreatedFromTheMultithreadedApartmentLivesInAnApartmentOfItsOwnKind)
{
    HRESULT created = E_FAIL;
    bool proxy = false;
    InMultithreadedApartment([&] {
        Microsoft::WRL::ComPtr<IIniFile> navigator;
        created = CoCreateInstance(CLSID_IniFile, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&navigator));
        if (SUCCEEDED(created))
            proxy = IsProxy(navigator.Get());
    });
    ASSERT_EQ(S_OK, created);
    EXPECT_TRUE(proxy) << "threading model Apartment: COM puts it in a single-threaded apartment";
}

TEST_F(ActivationTest, AFormatObjectCreatedFromTheMultithreadedApartmentIsCalledDirectly)
{
    HRESULT created = E_FAIL;
    bool proxy = true;
    LONG value = 0;
    InMultithreadedApartment([&] {
        Microsoft::WRL::ComPtr<IZephFileFormat> format;
        created = CoCreateInstance(CLSID_IniFormat, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&format));
        if (FAILED(created))
            return;
        proxy = IsProxy(format.Get());
        format->GetExtensionValue(nullptr, &value);
    });
    ASSERT_EQ(S_OK, created);
    EXPECT_FALSE(proxy) << "threading model Both: created in the caller's apartment";
    EXPECT_EQ(8, value);
}
