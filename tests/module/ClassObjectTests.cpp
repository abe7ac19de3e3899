// The class objects (IClassFactory) of both classes.
#include "ModuleFixture.h"

TEST_F(ModuleTest, AClassObjectAnswersIUnknownAndIClassFactoryOnly)
{
    for (const ClassCase& c : kClasses) {
        auto factory = ClassObject(*c.clsid);
        Microsoft::WRL::ComPtr<IUnknown> unknown;
        ASSERT_EQ(S_OK, factory.As(&unknown)) << c.name;
        EXPECT_EQ(static_cast<IUnknown*>(factory.Get()), unknown.Get()) << c.name;
        Microsoft::WRL::ComPtr<IDispatch> dispatch;
        EXPECT_EQ(E_NOINTERFACE, factory.As(&dispatch)) << c.name;
        EXPECT_EQ(nullptr, dispatch.Get()) << c.name;
    }
}

TEST_F(ModuleTest, CreateInstanceRefusesANullOutPointer)
{
    for (const ClassCase& c : kClasses)
        EXPECT_EQ(E_POINTER, ClassObject(*c.clsid)->CreateInstance(nullptr, IID_IUnknown, nullptr)) << c.name;
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "no object was made";
}

TEST_F(ModuleTest, CreateInstanceAnswersTheInterfaceAskedFor)
{
    const struct {
        const CLSID* clsid;
        const IID* iid;
    } cases[] = {
        {&CLSID_IniFormat, &IID_IIniFormat},        {&CLSID_IniFormat, &IID_IZephFileFormat},
        {&CLSID_IniFile, &IID_IIniFile},            {&CLSID_IniFile, &IID_IZephFileNavigator},
        {&CLSID_IniFile, &IID_IZephFileNavigatorInit},
    };
    for (const auto& c : cases) {
        Microsoft::WRL::ComPtr<IUnknown> object;
        EXPECT_EQ(S_OK, ClassObject(*c.clsid)->CreateInstance(nullptr, *c.iid, &object));
        EXPECT_NE(nullptr, object.Get());
    }
}

TEST_F(ModuleTest, AnUnsupportedInterfaceDestroysTheNewObject)
{
    for (const ClassCase& c : kClasses) {
        auto factory = ClassObject(*c.clsid);
        IUnknown* object = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0x5A5A5A5A));
        EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object)))
            << c.name;
        EXPECT_EQ(nullptr, object) << c.name;
        factory.Reset();
        EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "the object of " << c.name << " that answered nothing is gone";
    }
}

TEST_F(ModuleTest, AnOuterObjectMayAskForIUnknownOnly)
{
    // Any unknown will do as the outer one: it is refused before it is used.
    auto outer = Create(CLSID_IniFile);
    for (const ClassCase& c : kClasses) {
        for (REFIID iid : {IID_IIniFormat, IID_IIniFile, IID_IZephFileFormat, IID_IClassFactory}) {
            IUnknown* object = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(0x5A5A5A5A));
            EXPECT_EQ(CLASS_E_NOAGGREGATION,
                      ClassObject(*c.clsid)->CreateInstance(outer.Get(), iid, reinterpret_cast<void**>(&object)))
                << c.name;
            EXPECT_EQ(nullptr, object) << "the out-pointer is null, " << c.name;
        }
    }
    outer.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "no aggregated object was made";
}
