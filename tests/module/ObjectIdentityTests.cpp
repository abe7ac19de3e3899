// IUnknown of both classes: the interfaces each object answers, the identity
// rules of QueryInterface, and aggregation by an outer object.
#include <atomic>
#include <memory>
#include <vector>

#include "ModuleFixture.h"

namespace {

struct InterfaceCase {
    const char* name;
    const IID* iid;
};

struct ClassInterfaces {
    const char* name;
    const CLSID* clsid;
    std::vector<InterfaceCase> answered;  // in QueryInterface order; the first fixes the identity
    std::vector<InterfaceCase> refused;
};

const ClassInterfaces kInterfaces[] = {
    {"IniFormat", &CLSID_IniFormat,
     {{"IIniFormat", &IID_IIniFormat},
      {"IZephFileFormat", &IID_IZephFileFormat},
      {"ISupportErrorInfo", &IID_ISupportErrorInfo},
      {"IMarshal", &IID_IMarshal}},
     {{"IIniFile", &IID_IIniFile}, {"IZephFileNavigator", &IID_IZephFileNavigator}, {"IDispatch", &IID_IDispatch},
      {"IClassFactory", &IID_IClassFactory}}},
    {"IniFile", &CLSID_IniFile,
     {{"IIniFile", &IID_IIniFile},
      {"IZephFileNavigator", &IID_IZephFileNavigator},
      {"IZephFileNavigatorInit", &IID_IZephFileNavigatorInit},
      {"ISupportErrorInfo", &IID_ISupportErrorInfo}},
     {{"IIniFormat", &IID_IIniFormat}, {"IZephFileFormat", &IID_IZephFileFormat}, {"IMarshal", &IID_IMarshal},
      {"IDispatch", &IID_IDispatch}}},
};

void* Query(IUnknown* object, REFIID iid)
{
    void* result = nullptr;
    if (SUCCEEDED(object->QueryInterface(iid, &result)))
        static_cast<IUnknown*>(result)->Release();  // the object itself is held by the test
    return result;
}

// An outer object of the test that aggregates one plug-in object: it answers
// IUnknown itself and hands every other request to the inner unknown.
class Outer final : public IUnknown {
public:
    HRESULT Aggregate(IClassFactory* factory) { return factory->CreateInstance(this, IID_PPV_ARGS(&inner_)); }
    IUnknown* inner() const { return inner_.Get(); }
    ULONG references() const { return references_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *result = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner_)
            return inner_->QueryInterface(iid, result);
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG count = --references_;
        if (count == 0)
            std::unique_ptr<Outer> destroyed(this);
        return count;
    }

private:
    std::atomic<ULONG> references_{0};  // the first owner's AddRef takes the first reference
    Microsoft::WRL::ComPtr<IUnknown> inner_;
};

}  // namespace

TEST_F(ModuleTest, IUnknownIsTheFirstInterface)
{
    for (const ClassInterfaces& c : kInterfaces) {
        auto object = Create(*c.clsid);
        ASSERT_NE(nullptr, object.Get()) << c.name;
        EXPECT_EQ(Query(object.Get(), *c.answered.front().iid), static_cast<void*>(object.Get()))
            << "IUnknown of " << c.name << " is its " << c.answered.front().name;
    }
}

TEST_F(ModuleTest, QueryInterfaceIsReflexiveSymmetricAndTransitive)
{
    for (const ClassInterfaces& c : kInterfaces) {
        auto object = Create(*c.clsid);
        std::vector<InterfaceCase> all = c.answered;
        all.insert(all.begin(), InterfaceCase{"IUnknown", &IID_IUnknown});
        for (const InterfaceCase& from : all) {
            auto* start = static_cast<IUnknown*>(Query(object.Get(), *from.iid));
            ASSERT_NE(nullptr, start) << c.name << " answers " << from.name;
            EXPECT_EQ(static_cast<void*>(object.Get()), Query(start, IID_IUnknown))
                << "every interface of " << c.name << " leads to the same identity, from " << from.name;
            EXPECT_EQ(static_cast<void*>(start), Query(start, *from.iid)) << "reflexive: " << c.name << " " << from.name;
            for (const InterfaceCase& to : all) {
                auto* reached = static_cast<IUnknown*>(Query(start, *to.iid));
                ASSERT_NE(nullptr, reached) << c.name << ": " << from.name << " reaches " << to.name;
                EXPECT_EQ(static_cast<void*>(start), Query(reached, *from.iid))
                    << "symmetric: " << c.name << " " << to.name << " back to " << from.name;
                for (const InterfaceCase& onward : all)
                    EXPECT_NE(nullptr, Query(reached, *onward.iid))
                        << "transitive: " << c.name << " " << from.name << " > " << to.name << " > " << onward.name;
            }
        }
    }
}

TEST_F(ModuleTest, InterfacesOfTheOtherClassAndOthersAreRefused)
{
    for (const ClassInterfaces& c : kInterfaces) {
        auto object = Create(*c.clsid);
        for (const InterfaceCase& refused : c.refused) {
            void* result = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));
            EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(*refused.iid, &result)) << c.name << " " << refused.name;
            EXPECT_EQ(nullptr, result) << c.name << " " << refused.name;
        }
        EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr)) << c.name;
    }
}

TEST_F(ModuleTest, BothClassesCanBeAggregated)
{
    for (const ClassInterfaces& c : kInterfaces) {
        Microsoft::WRL::ComPtr<Outer> outer(new Outer());
        ASSERT_EQ(S_OK, outer->Aggregate(ClassObject(*c.clsid).Get())) << c.name;
        IUnknown* inner = outer->inner();
        ASSERT_NE(nullptr, inner) << c.name;
        EXPECT_NE(static_cast<IUnknown*>(outer.Get()), inner) << "the creator gets the inner unknown, " << c.name;
        EXPECT_EQ(static_cast<void*>(inner), Query(inner, IID_IUnknown))
            << "the inner unknown answers IUnknown with itself, " << c.name;

        for (const InterfaceCase& answered : c.answered) {
            Microsoft::WRL::ComPtr<IUnknown> part;
            ASSERT_EQ(S_OK, outer->QueryInterface(*answered.iid, &part)) << c.name << " " << answered.name;
            EXPECT_EQ(static_cast<void*>(outer.Get()), Query(part.Get(), IID_IUnknown))
                << "the aggregated " << answered.name << " of " << c.name << " belongs to the outer identity";
            const ULONG before = outer->references();
            EXPECT_EQ(before + 1, part->AddRef()) << "references go to the outer object, " << answered.name;
            EXPECT_EQ(before, part->Release()) << answered.name;
        }
        outer.Reset();
        EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "releasing the outer object destroys the inner " << c.name;
    }
}
