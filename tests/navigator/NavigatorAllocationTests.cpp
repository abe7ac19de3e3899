// Every allocation that creating, reading, writing and committing make is
// made to fail in turn, until the operation no longer reaches the one that
// fails: each call answers an HRESULT instead of ending the process, nothing
// of the plug-in stays alive, and the file is either as it was or as the
// operation makes it. And an object is destroyed once, whatever its
// destructor does with its references.
#include <functional>

#include "com/ClassFactory.h"
#include "com/ModuleLock.h"
#include "format/CIniFormat.h"
#include "navigator/NavigatorFixture.h"
#include "platform/windows/FileLock.h"
#include "support/CountdownAllocator.h"

using Microsoft::WRL::ComPtr;

namespace {

// What an operation works on, made before any allocation fails.
struct Subject {
    std::wstring path;
    ComPtr<IZephFileNavigator> navigator;
    Records records;
};

struct Operation {
    const char* name;
    std::function<void(Subject&)> prepare;
    std::function<HRESULT(Subject&)> run;
};

template <class Class, class Interface>
HRESULT CreateThroughClassObject(ComPtr<Interface>& object)
{
    ComPtr<IClassFactory> factory;
    HRESULT hr = ClassFactory<Class>::Create(IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    return SUCCEEDED(hr) ? factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)) : hr;
}

HRESULT WriteDate(Subject& subject)
{
    return subject.navigator->WriteVariables(0, 0, 0, subject.records.count(), subject.records.data(), 120);
}

}  // namespace

class AllocationFailureTest : public NavigatorTest, public ::testing::WithParamInterface<bool> {
protected:
    std::vector<Operation> Operations()
    {
        const auto openWithDate = [this](Subject& subject) {
            subject.navigator = OpenNavigator(subject.path);
            VariableRecord& date = subject.records.Add(L"s", L"k");
            V_VT(&date.value) = VT_DATE;
            V_DATE(&date.value) = 38418.586909722;  // 7 March 2005, 14:05:09
        };
        return {
            {"format class object, format object, CreateNavigator", [](Subject&) {},
             [](Subject& subject) {
                 ComPtr<IZephFileFormat> format;
                 ComPtr<IZephFileNavigator> navigator;
                 const HRESULT hr = CreateThroughClassObject<CIniFormat>(format);
                 return SUCCEEDED(hr) ? format->CreateNavigator(subject.path.c_str(), 0, &navigator) : hr;
             }},
            {"navigator class object, CreateInstance, Init", [](Subject&) {},
             [](Subject& subject) {
                 ComPtr<IZephFileNavigatorInit> init;
                 const HRESULT hr = CreateThroughClassObject<CIniFile>(init);
                 return SUCCEEDED(hr) ? init->Init(subject.path.c_str(), 0) : hr;
             }},
            {"ReadVariables", openWithDate,
             [](Subject& subject) {
                 return subject.navigator->ReadVariables(0, 0, 0, subject.records.count(), subject.records.data());
             }},
            {"WriteVariables", openWithDate, WriteDate},
            {"Commit",
             [openWithDate](Subject& subject) {
                 openWithDate(subject);
                 EXPECT_EQ(S_OK, WriteDate(subject));
             },
             [](Subject& subject) { return subject.navigator->Commit(); }},
        };
    }

    // Runs the operation with allocation `failing` made to fail (0: none);
    // returns whether it reached that allocation. `before` and `after` get
    // the file as it was before the operation and as it left it.
    bool RunFailing(const Operation& operation, long failing, std::string& before, std::string& after)
    {
        WriteBytes(file, original);
        Subject subject{file.wstring(), {}, {}};
        operation.prepare(subject);
        before = ReadBytes(file);
        FailAllocation(failing);
        const HRESULT hr = operation.run(subject);
        const bool failed = AllocationFailed();
        FailAllocation(0);
        EXPECT_TRUE(hr == S_OK || (failed && hr == E_OUTOFMEMORY))
            << "allocation " << failing << " answered 0x" << std::hex << hr;
        after = ReadBytes(file);
        return failed;
    }

    const std::string original = GetParam() ? Utf16LeFile(u"[s]\r\nk=old\r\n") : std::string("[s]\r\nk=old\r\n");
    const std::filesystem::path file = folder.File("test.ini");
};

TEST_P(AllocationFailureTest, EveryFailedAllocationIsAnsweredAndLeavesNothingBehind)
{
    for (const Operation& operation : Operations()) {
        SCOPED_TRACE(operation.name);
        std::string before, made, after;
        RunFailing(operation, 0, before, made);
        long failing = 1;
        for (; RunFailing(operation, failing, before, after); ++failing) {
            EXPECT_TRUE(after == before || after == made) << "allocation " << failing << " left a file of neither form";
            EXPECT_EQ(0, ModuleLockCount()) << "allocation " << failing
                                            << ": an object is left alive, so DllCanUnloadNow would answer S_FALSE";
            ASSERT_LT(failing, 10000) << "the operation never stops allocating";
        }
        EXPECT_GT(failing, 1) << "the operation allocates";
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            EXPECT_TRUE(entry.path() == file || entry.path().filename() == platform::kLockFileName)
                << "left beside the file: " << entry.path().filename();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, AllocationFailureTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utf16" : "Ansi"; });

namespace {

// Takes and gives back a reference while it is destroyed, as a helper it
// aggregated might when it lets go of its outer object.
class ReferencesInDestructor final : public ComObject<ReferencesInDestructor, ApartmentRefCount, IPersist> {
public:
    ~ReferencesInDestructor() override
    {
        AddRef();
        Release();
        ++destroyed;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    static inline int destroyed = 0;
};

}  // namespace

TEST(ObjectLifetime, AnObjectIsDestroyedOnceWhateverItsDestructorDoesWithItsReferences)
{
    ComPtr<IPersist> object;
    ASSERT_EQ(S_OK, ReferencesInDestructor::CreateInstance(nullptr, IID_IPersist, &object));
    object.Reset();
    EXPECT_EQ(1, ReferencesInDestructor::destroyed);
    EXPECT_EQ(0, ModuleLockCount());
}
