// The module's exports: their ordinals, DllGetClassObject with its class
// table and proxy/stub, and DllCanUnloadNow through the life of the objects.
#include <thread>
#include <vector>

#include "ModuleFixture.h"

namespace {

template <class T>
T* Sentinel() { return reinterpret_cast<T*>(static_cast<uintptr_t>(0x5A5A5A5A)); }

}  // namespace

TEST(ModuleExports, TheFourExportsSitAtOrdinalsOneToFour)
{
    PluginDll dll;
    const char* const names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        const FARPROC byOrdinal = GetProcAddress(dll.handle(), MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(nullptr, byOrdinal) << "ordinal " << ordinal;
        EXPECT_EQ(GetProcAddress(dll.handle(), names[ordinal - 1]), byOrdinal) << names[ordinal - 1] << " is ordinal " << ordinal;
    }
    EXPECT_EQ(nullptr, GetProcAddress(dll.handle(), MAKEINTRESOURCEA(5))) << "nothing else is exported";
}

TEST(ModuleExports, ANewlyLoadedModuleCanBeUnloaded)
{
    ASSERT_EQ(nullptr, GetModuleHandleW(PluginDll::BuiltPath().c_str())) << "the module must not be loaded yet";
    PluginDll dll;
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "no class object exists before the first request";
}

TEST_F(ModuleTest, DllGetClassObjectGivesTheSameClassObjectEachTime)
{
    for (const ClassCase& c : kClasses) {
        Microsoft::WRL::ComPtr<IClassFactory> first, second;
        ASSERT_EQ(S_OK, dll.GetClassObject(*c.clsid, first.GetAddressOf())) << c.name;
        ASSERT_EQ(S_OK, dll.GetClassObject(*c.clsid, second.GetAddressOf())) << c.name;
        EXPECT_EQ(first.Get(), second.Get()) << c.name;
    }
    EXPECT_NE(ClassObject(CLSID_IniFormat).Get(), ClassObject(CLSID_IniFile).Get()) << "one class object per class";
}

TEST_F(ModuleTest, DllGetClassObjectRefusesANullOutPointer)
{
    EXPECT_EQ(E_POINTER, dll.GetClassObject(CLSID_IniFormat, IID_IClassFactory, nullptr));
    EXPECT_EQ(E_POINTER, dll.GetClassObject(IID_IIniFormat, IID_IPSFactoryBuffer, nullptr));
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ModuleTest, AClassThatIsNotInTheTableIsNotAvailable)
{
    for (REFCLSID clsid : {CLSID_NULL, IID_IIniFile, IID_IZephFileFormat, LIBID_INIPLUGINLib}) {
        IClassFactory* factory = Sentinel<IClassFactory>();
        EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, dll.GetClassObject(clsid, &factory));
        EXPECT_EQ(nullptr, factory) << "the out-pointer is null";
    }
}

TEST_F(ModuleTest, AnUnsupportedInterfaceOfAClassObjectIsRefusedAndTheClassObjectStaysCached)
{
    for (const ClassCase& c : kClasses) {
        IUnknown* answer = Sentinel<IUnknown>();
        EXPECT_EQ(E_NOINTERFACE, dll.GetClassObject(*c.clsid, IID_IDispatch, reinterpret_cast<void**>(&answer))) << c.name;
        EXPECT_EQ(nullptr, answer) << c.name;
        EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "only the table holds the class object of " << c.name;
    }
    Microsoft::WRL::ComPtr<IUnknown> asUnknown;
    ASSERT_EQ(S_OK, dll.GetClassObject(CLSID_IniFormat, asUnknown.GetAddressOf()));
    EXPECT_EQ(ClassObject(CLSID_IniFormat).Get(), asUnknown.Get()) << "IUnknown of a class object is its IClassFactory";
}

TEST_F(ModuleTest, TheProxyStubClassIdentifierGivesTheProxyStubFactory)
{
    Microsoft::WRL::ComPtr<IPSFactoryBuffer> factory;
    ASSERT_EQ(S_OK, dll.GetClassObject(IID_IIniFormat, IID_IPSFactoryBuffer, &factory))
        << "the proxy/stub's class identifier is the IID of IIniFormat";
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "the proxy/stub factory is in use";
    factory.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow());
}

TEST_F(ModuleTest, CanUnloadNowOnlyWhenNoObjectLivesForEachClass)
{
    for (const ClassCase& c : kClasses) {
        auto object = Create(*c.clsid);
        ASSERT_NE(nullptr, object.Get()) << c.name;
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "an object of " << c.name << " lives";
        auto second = Create(*c.clsid);
        object.Reset();
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "another object of " << c.name << " lives";
        second.Reset();
        EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "all objects of " << c.name << " are gone";
    }
}

TEST_F(ModuleTest, CanUnloadNowWhileAClassObjectIsHeldOutsideTheTable)
{
    for (const ClassCase& c : kClasses) {
        auto first = ClassObject(*c.clsid);
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "the class object of " << c.name << " is held";
        auto second = first;
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow());
        second.Reset();
        EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "one outside reference is still held";
        first.Reset();
        EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "the class table's own reference does not count";
    }
}

TEST_F(ModuleTest, CanUnloadNowWhileALockServerLockIsHeld)
{
    EXPECT_EQ(S_OK, ClassObject(CLSID_IniFormat)->LockServer(TRUE));
    EXPECT_EQ(S_OK, ClassObject(CLSID_IniFile)->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "two locks held";
    EXPECT_EQ(S_OK, ClassObject(CLSID_IniFormat)->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, dll.CanUnloadNow()) << "one lock held";
    EXPECT_EQ(S_OK, ClassObject(CLSID_IniFile)->LockServer(FALSE));
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "all locks given back";
}

TEST(ModuleExports, TwoThreadsAskingAtOnceGetTheSameClassObject)
{
    Apartment apartment;
    // Each round loads the module afresh, so both threads meet an empty table.
    for (int round = 0; round < 20; ++round) {
        PluginDll dll;
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        Microsoft::WRL::ComPtr<IUnknown> answers[2];
        std::vector<std::thread> threads;
        for (auto& answer : answers) {
            threads.emplace_back([&dll, start, &answer] {
                WaitForSingleObject(start, INFINITE);
                dll.GetClassObject(CLSID_IniFile, answer.GetAddressOf());
            });
        }
        SetEvent(start);
        for (std::thread& thread : threads)
            thread.join();
        CloseHandle(start);
        ASSERT_NE(nullptr, answers[0].Get()) << "round " << round;
        EXPECT_EQ(answers[0].Get(), answers[1].Get()) << "round " << round;
        answers[0].Reset();
        answers[1].Reset();
        EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "round " << round;
    }
}
