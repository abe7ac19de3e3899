#include "format/CIniFormat.h"

#include "com/Bstr.h"
#include "com/ComError.h"
#include "com/ModuleState.h"
#include "navigator/CIniFile.h"
#include "navigator/ErrorInfo.h"

namespace {

constexpr char16_t kVendor[] = u"TORVELLINE";
constexpr char16_t kDescription[] = u"Plugin for Windows ini-files.";
constexpr char16_t kExtensions[] = u"ini,taf";

}  // namespace

HRESULT CIniFormat::FinalConstruct() noexcept
{
    return CoCreateFreeThreadedMarshaler(ControllingUnknown(), &marshaler);
}

HRESULT CIniFormat::QueryExtraInterface(REFIID iid, void** result) noexcept
{
    *result = nullptr;
    if (!IsEqualIID(iid, IID_IMarshal))
        return E_NOINTERFACE;
    return marshaler->QueryInterface(iid, result);
}

HRESULT CIniFormat::GetFormatInfo(BSTR* vendor, BSTR* description, BSTR* extensions)
{
    ModuleStateScope moduleState;
    // Its failures need no description; none from earlier may stand for them.
    ClearErrorObject();
    if (vendor == nullptr || description == nullptr || extensions == nullptr)
        return E_POINTER;
    return ComBoundary([&] {
        // All three are made before any is handed out, so a failure leaves
        // every out-parameter as it was and frees what was made.
        UniqueBstr vendorText = MakeBstr(kVendor);
        UniqueBstr descriptionText = MakeBstr(kDescription);
        UniqueBstr extensionsText = MakeBstr(kExtensions);
        *vendor = vendorText.release();
        *description = descriptionText.release();
        *extensions = extensionsText.release();
        return S_OK;
    });
}

HRESULT CIniFormat::GetExtensionValue(BSTR, LONG* value)
{
    ModuleStateScope moduleState;
    if (value == nullptr)
        return E_POINTER;
    *value = kExtensionValue;
    return S_OK;
}

HRESULT CIniFormat::CreateNavigator(LPCWSTR path, LONG_PTR context, IZephFileNavigator** navigator)
{
    ModuleStateScope moduleState;
    // Created directly rather than through COM activation: the navigator
    // belongs to the calling thread whatever its apartment.
    Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
    const HRESULT created = ReportingBoundary(IID_IZephFileFormat, FileStep::Open, HostText(path), [&]() -> HRESULT {
        if (navigator == nullptr)
            return E_POINTER;
        *navigator = nullptr;
        return CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init);
    });
    if (FAILED(created))
        return created;
    // A failed Init returns its HRESULT and has described its failure;
    // releasing `init` destroys the navigator.
    const HRESULT initialised = init->Init(path, context);
    if (FAILED(initialised))
        return initialised;
    return init->QueryInterface(IID_IZephFileNavigator, reinterpret_cast<void**>(navigator));
}

HRESULT CIniFormat::FormatOperation4(LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR, void* arg5)
{
    ModuleStateScope moduleState;
    return arg5 == nullptr ? E_POINTER : E_NOTIMPL;
}

HRESULT CIniFormat::FormatOperation5(LONG_PTR, void* arg2)
{
    ModuleStateScope moduleState;
    return arg2 == nullptr ? E_POINTER : E_NOTIMPL;
}
