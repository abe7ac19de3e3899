// A minimal host of IniPlugin: what a document-management application does
// to write variables into an INI file, commit them and read them back. It
// needs only the files in IniPlugin's include folder (HostContract.h,
// IniPlugin.h, HostContract_i.c, IniPlugin_i.c) and a registered
// IniPlugin.dll. With mingw-w64, from the folder that holds include\:
//
//   g++ -municode -Iinclude examples\host\ExampleHost.cpp include\HostContract_i.c
//       include\IniPlugin_i.c -lole32 -loleaut32 -luuid -static -o example-host.exe
//   example-host C:\data\report.ini
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <vector>

#include "HostContract.h"
#include "IniPlugin.h"

using Microsoft::WRL::ComPtr;

namespace {

// The records of one call, laid out as the plug-in expects them: contiguous,
// each owning its names and its value.
class Records {
public:
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records()
    {
        for (VariableRecord& record : records_) {
            SysFreeString(record.sectionName);
            SysFreeString(record.keyName);
            VariantClear(&record.value);
        }
    }

    // A record with an empty value (VT_EMPTY), for a read or to be set.
    VariableRecord& Add(const wchar_t* section, const wchar_t* key)
    {
        VariableRecord record = {};
        record.sectionName = SysAllocString(section);
        record.keyName = SysAllocString(key);
        records_.push_back(record);
        return records_.back();
    }

    VariableRecord* data() { return records_.data(); }
    LONG count() const { return static_cast<LONG>(records_.size()); }

private:
    std::vector<VariableRecord> records_;
};

// True when the call failed; then prints its HRESULT and the description
// that the plug-in left in the thread's error object.
bool Failed(const char* call, HRESULT hr)
{
    if (SUCCEEDED(hr))
        return false;
    ComPtr<IErrorInfo> info;
    BSTR description = nullptr;
    if (GetErrorInfo(0, &info) == S_OK)
        info->GetDescription(&description);
    std::printf("%s failed: 0x%08lX %ls\n", call, static_cast<unsigned long>(hr),
                description != nullptr ? description : L"");
    SysFreeString(description);
    return true;
}

int Run(const wchar_t* path)
{
    // The format object: one per host, usable from any thread.
    ComPtr<IZephFileFormat> format;
    if (Failed("CoCreateInstance",
               CoCreateInstance(CLSID_IniFormat, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&format))))
        return 1;
    BSTR vendor = nullptr, description = nullptr, extensions = nullptr;
    if (Failed("GetFormatInfo", format->GetFormatInfo(&vendor, &description, &extensions)))
        return 1;
    std::printf("%ls: %ls (%ls)\n", vendor, description, extensions);
    SysFreeString(vendor);
    SysFreeString(description);
    SysFreeString(extensions);

    // A navigator per file, used on this thread only.
    ComPtr<IZephFileNavigator> navigator;
    if (Failed("CreateNavigator", format->CreateNavigator(path, 0, &navigator)))
        return 1;

    // A text and a date; layout 120 writes the date as 2005-03-07.
    Records writes;
    VariableRecord& title = writes.Add(L"General", L"Title");
    V_VT(&title.value) = VT_BSTR;
    V_BSTR(&title.value) = SysAllocString(L"Annual report");
    VariableRecord& approved = writes.Add(L"Dates", L"Approved");
    V_VT(&approved.value) = VT_DATE;
    V_DATE(&approved.value) = 38418.586909722;  // 7 March 2005, 14:05:09
    if (Failed("WriteVariables", navigator->WriteVariables(0, FALSE, 0, writes.count(), writes.data(), 120)) ||
        Failed("Commit", navigator->Commit()))
        return 1;

    // Every value comes back as text (VT_BSTR); a missing key leaves found 0.
    Records reads;
    reads.Add(L"General", L"Title");
    reads.Add(L"Dates", L"Approved");
    reads.Add(L"General", L"Missing");
    if (Failed("ReadVariables", navigator->ReadVariables(0, FALSE, 0, reads.count(), reads.data())))
        return 1;
    for (LONG i = 0; i < reads.count(); ++i) {
        const VariableRecord& record = reads.data()[i];
        if (record.found)
            std::printf("[%ls] %ls = %ls\n", record.sectionName, record.keyName, V_BSTR(&record.value));
        else
            std::printf("[%ls] %ls (not found)\n", record.sectionName, record.keyName);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: example-host FILE\n");
        return 2;
    }
    // Like a host's user-interface thread: a single-threaded apartment.
    // While a call waits for another navigator's hold on the file, the
    // plug-in dispatches this thread's messages.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    const int status = Run(argv[1]);
    CoUninitialize();
    return status;
}
