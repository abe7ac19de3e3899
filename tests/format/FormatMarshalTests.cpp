// IMarshal of the format object: it aggregates the free-threaded marshaler,
// so its pointers pass between apartments as they are, without proxies.
#include <thread>

#include "FormatFixture.h"

namespace {

// {0000033A-0000-0000-C000-000000000046}: the free-threaded marshaler's unmarshal class.
constexpr CLSID kClsidInProcFreeMarshaler = {0x0000033a, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

Microsoft::WRL::ComPtr<IUnknown> Identity(IUnknown* object)
{
    Microsoft::WRL::ComPtr<IUnknown> identity;
    EXPECT_EQ(S_OK, object->QueryInterface(IID_PPV_ARGS(&identity)));
    return identity;
}

}  // namespace

TEST_F(FormatTest, IMarshalIsTheFreeThreadedMarshalersOnTheObjectsIdentity)
{
    auto format = CreateFormat();
    Microsoft::WRL::ComPtr<IMarshal> marshal;
    ASSERT_EQ(S_OK, format.As(&marshal));
    EXPECT_EQ(Identity(format.Get()), Identity(marshal.Get())) << "IMarshal belongs to the format object's identity";

    CLSID unmarshalClass = {};
    ASSERT_EQ(S_OK, marshal->GetUnmarshalClass(IID_IZephFileFormat, format.Get(), MSHCTX_INPROC, nullptr,
                                               MSHLFLAGS_NORMAL, &unmarshalClass));
    EXPECT_TRUE(IsEqualCLSID(kClsidInProcFreeMarshaler, unmarshalClass))
        << "within the process the free-threaded marshaler hands over the pointer itself";
}

TEST_F(FormatTest, APointerHandedToAnotherApartmentIsTheObjectItself)
{
    auto format = CreateFormat();
    for (REFIID iid : {IID_IZephFileFormat, IID_IIniFormat}) {
        Microsoft::WRL::ComPtr<IUnknown> original;
        ASSERT_EQ(S_OK, format->QueryInterface(iid, &original));
        IStream* stream = nullptr;
        ASSERT_EQ(S_OK, CoMarshalInterThreadInterfaceInStream(iid, original.Get(), &stream));

        // The receiving thread joins the multithreaded apartment, takes the
        // pointer and calls the object from there.
        IUnknown* received = nullptr;
        HRESULT unmarshalled = E_FAIL;
        HRESULT called = E_FAIL;
        LONG value = 0;
        std::thread other([&] {
            Apartment multithreaded(COINIT_MULTITHREADED);
            unmarshalled = CoGetInterfaceAndReleaseStream(stream, iid, reinterpret_cast<void**>(&received));
            if (SUCCEEDED(unmarshalled)) {
                Microsoft::WRL::ComPtr<IZephFileFormat> asFormat;
                called = received->QueryInterface(IID_PPV_ARGS(&asFormat));
                if (SUCCEEDED(called))
                    called = asFormat->GetExtensionValue(nullptr, &value);
            }
        });
        other.join();
        ASSERT_EQ(S_OK, unmarshalled);
        EXPECT_EQ(original.Get(), received) << "the same interface pointer, not a proxy";
        EXPECT_EQ(S_OK, called) << "the object is called from the other apartment directly";
        EXPECT_EQ(8, value);
        received->Release();
    }
}
