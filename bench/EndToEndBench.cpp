// What the plug-in costs a host end to end, under the Windows API it runs on,
// beside what the same work costs through that API directly. The plug-in is
// loaded like a host loads it (LoadLibrary, DllGetClassObject, the format
// object's CreateNavigator), and every figure is the median of repeated runs
// of wall-clock time.
//
//   end_to_end_profileapi.exe DLL profileapi
//     in ProfileApi mode, on a 20 KB ANSI file: one ReadVariables call of
//     1,000 records against 1,000 GetPrivateProfileStringW calls, and one call
//     of one record against one GetPrivateProfileStringW call.
//   end_to_end_inmemory.exe DLL inmemory
//     in InMemory mode (the program must be told it runs on Windows NT 4.0):
//     the same 1,000 reads on a 1 MB ANSI file, and a commit of one key to a
//     10 MB UTF-16 file, opening the navigator included, against CopyFileW of
//     that file and FlushFileBuffers of the copy; and, on a line before, the
//     part of the commit that is the profile cache's flush.
//
// Each prints its figures last; exit status 0, or 1 with a message when anything
// fails or the plug-in is not in the mode asked for.
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "HostContract.h"
#include "IniPlugin.h"
#include "platform/windows/UniqueHandle.h"

using Microsoft::WRL::ComPtr;

namespace {

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Check(HRESULT hr, const char* what)
{
    if (FAILED(hr)) {
        char message[160];
        std::snprintf(message, sizeof message, "%s failed: 0x%08lX", what, static_cast<unsigned long>(hr));
        throw Failure(message);
    }
}

void CheckWin32(bool done, const char* what) { Check(done ? S_OK : HRESULT_FROM_WIN32(GetLastError()), what); }

// Timing

double Now()
{
    static const double ticksPerMillisecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return static_cast<double>(ticks.QuadPart) / ticksPerMillisecond;
}

// The median wall-clock milliseconds of `repetitions` runs of `work`;
// `prepare` runs before each, untimed.
template <class Prepare, class Work>
double MedianMilliseconds(int repetitions, Prepare&& prepare, Work&& work)
{
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const double start = Now();
        work();
        times.push_back(Now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Files

struct Key {
    std::wstring section;
    std::wstring name;
};

// The text of a file of about `bytes` bytes as the document benchmark makes
// them: sections of 10 to 40 keys, each headed by a comment and ended by a
// blank line; texts of varied length with one letter beyond ASCII.
std::wstring GeneratedText(size_t bytes, std::vector<Key>& keys)
{
    std::mt19937 random(42);
    std::wstring text;
    text.reserve(bytes + 4096);
    wchar_t line[160];
    for (int section = 0; text.size() < bytes; ++section) {
        std::swprintf(line, 160, L"; Settings of module %d, written by the generator\r\n[Module%05d]\r\n", section,
                      section);
        text += line;
        std::swprintf(line, 160, L"Module%05d", section);
        const std::wstring sectionName = line;
        const int count = 10 + static_cast<int>(random() % 31);
        for (int key = 0; key < count; ++key) {
            const int length = 8 + static_cast<int>(random() % 40);
            std::swprintf(line, 160, L"Option%d_%d=%.*ls\r\n", key, section, length,
                          L"value text w\u00E4hrend with some words, numbers 0123456789 and more words");
            text += line;
            std::swprintf(line, 160, L"Option%d_%d", key, section);
            keys.push_back(Key{sectionName, line});
        }
        text += L"\r\n";
    }
    return text;
}

// A scratch folder of the run's own, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        wchar_t temporary[MAX_PATH];
        CheckWin32(GetTempPathW(MAX_PATH, temporary) != 0, "GetTempPathW");
        path_ = std::wstring(temporary) + L"iniplugin-end-to-end-" + std::to_wstring(GetCurrentProcessId());
        CheckWin32(CreateDirectoryW(path_.c_str(), nullptr) != FALSE, "CreateDirectoryW");
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder()
    {
        WIN32_FIND_DATAW found;
        const UniqueFindHandle search(FindFirstFileW((path_ + L"\\*").c_str(), &found));
        if (search) {
            do {
                DeleteFileW(File(found.cFileName).c_str());
            } while (FindNextFileW(search.get(), &found));
        }
        RemoveDirectoryW(path_.c_str());
    }

    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// The file CreateFileW opened; throws when it could not.
UniqueFileHandle OpenedFile(HANDLE opened)
{
    UniqueFileHandle file(opened);
    CheckWin32(file.valid(), "CreateFileW");
    return file;
}

// Writes the file and dates it an hour back: Wine's profile functions read a
// file again on every call while it is younger than about two seconds, and
// these figures are meant for files at rest.
void WriteDatedFile(const std::wstring& path, const std::string& bytes)
{
    {
        const UniqueFileHandle file =
            OpenedFile(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        CheckWin32(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
                       written == bytes.size(),
                   "WriteFile");
    }
    const UniqueFileHandle file =
        OpenedFile(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time{{now.dwLowDateTime, now.dwHighDateTime}};
    time.QuadPart -= 3600ull * 10000000ull;
    const FILETIME anHourAgo{time.LowPart, time.HighPart};
    CheckWin32(SetFileTime(file.get(), nullptr, nullptr, &anHourAgo) != FALSE, "SetFileTime");
}

std::string AnsiBytes(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::string Utf16Bytes(const std::wstring& text)
{
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The plug-in as a host meets it

// A host's array of records, owning their names and values.
class Records {
public:
    explicit Records(const std::vector<Key>& keys) : records_(keys.size())
    {
        for (size_t i = 0; i < keys.size(); ++i) {
            records_[i].sectionName = SysAllocString(keys[i].section.c_str());
            records_[i].keyName = SysAllocString(keys[i].name.c_str());
            VariantInit(&records_[i].value);
        }
    }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records()
    {
        Clear();
        for (VariableRecord& record : records_) {
            SysFreeString(record.sectionName);
            SysFreeString(record.keyName);
        }
    }

    // Empties every value and found flag, as before a new read.
    void Clear()
    {
        for (VariableRecord& record : records_) {
            VariantClear(&record.value);
            record.found = 0;
        }
    }

    void SetText(size_t index, const wchar_t* text)
    {
        VariantClear(&records_[index].value);
        records_[index].value.vt = VT_BSTR;
        records_[index].value.bstrVal = SysAllocString(text);
    }

    std::wstring Text(size_t index) const
    {
        const VARIANT& value = records_[index].value;
        return value.vt == VT_BSTR && value.bstrVal != nullptr ? std::wstring(value.bstrVal) : std::wstring();
    }

    size_t Found() const
    {
        return static_cast<size_t>(std::count_if(records_.begin(), records_.end(),
                                                 [](const VariableRecord& record) { return record.found != 0; }));
    }

    LONG count() const { return static_cast<LONG>(records_.size()); }
    VariableRecord* data() { return records_.data(); }

private:
    std::vector<VariableRecord> records_;
};

// The plug-in DLL loaded by path, with its format object. Declared before
// any navigator, so that they are released before the DLL is freed.
class Plugin {
public:
    explicit Plugin(const std::wstring& dllPath) : module_(LoadLibraryW(dllPath.c_str()))
    {
        CheckWin32(module_.valid(), "LoadLibraryW of the plug-in");
        using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
        CheckWin32(getClassObject != nullptr, "GetProcAddress of DllGetClassObject");
        ComPtr<IClassFactory> factory;
        Check(getClassObject(CLSID_IniFormat, IID_IClassFactory, &factory), "DllGetClassObject");
        Check(factory->CreateInstance(nullptr, IID_IZephFileFormat, &format_), "CreateInstance of IniFormat");
    }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin() { format_.Reset(); }

    ComPtr<IZephFileNavigator> Open(const std::wstring& path) const
    {
        ComPtr<IZephFileNavigator> navigator;
        Check(format_->CreateNavigator(path.c_str(), 0, &navigator), "CreateNavigator");
        return navigator;
    }

private:
    UniqueModule module_;
    ComPtr<IZephFileFormat> format_;
};

// Whether the plug-in reads UTF-16 files from its own document, that is
// whether it is in InMemory mode: only the document keeps the quotes around
// a value; the profile functions strip them.
bool ReadsFromItsDocument(const Plugin& plugin, const ScratchFolder& folder)
{
    const std::wstring path = folder.File(L"mode.ini");
    WriteDatedFile(path, Utf16Bytes(L"[s]\r\nk=\"q\"\r\n"));
    Records records({Key{L"s", L"k"}});
    Check(plugin.Open(path)->ReadVariables(0, 0, 0, records.count(), records.data()), "ReadVariables");
    return records.Text(0) == L"\"q\"";
}

// 1,000 of the file's keys, spread over it; a file of fewer keys gives some
// twice.
std::vector<Key> ThousandKeys(const std::vector<Key>& keys)
{
    std::vector<Key> chosen;
    for (size_t i = 0; i < 1000; ++i)
        chosen.push_back(keys[i * keys.size() / 1000]);
    return chosen;
}

// What one operation costs through the plug-in and done directly.
struct OperationCost {
    double plugin;
    double direct;
};

// One ReadVariables call with these keys against one GetPrivateProfileStringW
// call per key, in milliseconds. The keys are all in the file, or (`absent`)
// none of them.
OperationCost MeasureReads(const Plugin& plugin, const std::wstring& path, const std::vector<Key>& keys, int repetitions,
                      bool absent = false)
{
    const size_t expected = absent ? 0 : keys.size();
    const ComPtr<IZephFileNavigator> navigator = plugin.Open(path);
    Records records(keys);
    OperationCost cost;
    cost.plugin = MedianMilliseconds(
        repetitions, [&] { records.Clear(); },
        [&] { Check(navigator->ReadVariables(0, 0, 0, records.count(), records.data()), "ReadVariables"); });
    if (records.Found() != expected)
        throw Failure(absent ? "the plug-in found a key that is not there" : "the plug-in did not find every key");
    size_t found = 0;
    wchar_t buffer[4096];
    cost.direct = MedianMilliseconds(
        repetitions, [&] { found = 0; },
        [&] {
            for (const Key& key : keys)
                found += GetPrivateProfileStringW(key.section.c_str(), key.name.c_str(), L"", buffer, 4096,
                                                  path.c_str()) != 0;
        });
    if (found != expected)
        throw Failure("GetPrivateProfileStringW did not find what the plug-in found");
    return cost;
}

// One WriteVariables call of one record, without a commit, against one
// WritePrivateProfileStringW call, in milliseconds, on a file of `bytes`
// ANSI bytes. The value changes with every write, as a host's would.
OperationCost MeasureWrite(const Plugin& plugin, const ScratchFolder& folder, size_t bytes, int repetitions)
{
    std::vector<Key> keys;
    const std::wstring path = folder.File(L"write-" + std::to_wstring(bytes) + L".ini");
    WriteDatedFile(path, AnsiBytes(GeneratedText(bytes, keys)));
    const Key& key = keys[keys.size() / 2];
    const ComPtr<IZephFileNavigator> navigator = plugin.Open(path);
    Records records({key});
    int round = 0;
    OperationCost cost;
    cost.plugin = MedianMilliseconds(
        repetitions, [&] { records.SetText(0, std::to_wstring(++round).c_str()); },
        [&] { Check(navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0), "WriteVariables"); });
    cost.direct = MedianMilliseconds(
        repetitions, [&] { ++round; },
        [&] {
            CheckWin32(WritePrivateProfileStringW(key.section.c_str(), key.name.c_str(), std::to_wstring(round).c_str(),
                                                  path.c_str()) != FALSE,
                       "WritePrivateProfileStringW");
        });
    return cost;
}

void RunProfileApi(const Plugin& plugin, const ScratchFolder& folder)
{
    if (ReadsFromItsDocument(plugin, folder))
        throw Failure("the plug-in is in InMemory mode; this program must see Wine's default Windows version");
    std::vector<Key> keys;
    const std::wstring path = folder.File(L"20KB-ansi.ini");
    WriteDatedFile(path, AnsiBytes(GeneratedText(20000, keys)));
    const OperationCost thousand = MeasureReads(plugin, path, ThousandKeys(keys), 31);
    const OperationCost one = MeasureReads(plugin, path, {keys[keys.size() / 2]}, 2001);
    // A key that is not there is read again under the lock.
    const OperationCost missing = MeasureReads(plugin, path, {Key{keys[0].section, L"absent"}}, 2001, true);
    std::printf("end-to-end 20KB ansi profileapi: read 1000 ratio %.2f, read 1 plug-in %.1f us, direct %.1f us "
                "(ratio %.2f), read 1 absent key plug-in %.1f us, direct %.1f us (ratio %.2f)\n",
                thousand.plugin / thousand.direct, one.plugin * 1000, one.direct * 1000, one.plugin / one.direct,
                missing.plugin * 1000, missing.direct * 1000, missing.plugin / missing.direct);
    const OperationCost small = MeasureWrite(plugin, folder, 20000, 101);
    const OperationCost large = MeasureWrite(plugin, folder, 10000000, 7);
    std::printf("end-to-end ansi profileapi: write 1 record 20KB plug-in %.2f ms, direct %.2f ms (ratio %.2f); "
                "10MB plug-in %.1f ms, direct %.1f ms (ratio %.2f)\n",
                small.plugin, small.direct, small.plugin / small.direct, large.plugin, large.direct,
                large.plugin / large.direct);
}

void RunInMemory(const Plugin& plugin, const ScratchFolder& folder)
{
    if (!ReadsFromItsDocument(plugin, folder))
        throw Failure("the plug-in is in ProfileApi mode; this program must be told it runs on Windows NT 4.0");
    std::vector<Key> keys;
    const std::wstring ansiPath = folder.File(L"1MB-ansi.ini");
    WriteDatedFile(ansiPath, AnsiBytes(GeneratedText(1000000, keys)));
    const OperationCost reads = MeasureReads(plugin, ansiPath, ThousandKeys(keys), 11);

    keys.clear();
    const std::wstring path = folder.File(L"10MB-utf16.ini");
    WriteDatedFile(path, Utf16Bytes(GeneratedText(5000000, keys)));
    const Key& middle = keys[keys.size() / 2];
    Records write({middle});
    int round = 0;
    const double commit = MedianMilliseconds(
        7, [&] { write.SetText(0, ++round % 2 != 0 ? L"changed 1" : L"changed 2"); },
        [&] {
            const ComPtr<IZephFileNavigator> navigator = plugin.Open(path);
            Check(navigator->WriteVariables(0, 0, 0, write.count(), write.data(), 0), "WriteVariables");
            Check(navigator->Commit(), "Commit");
        });

    // The part of the commit that is Wine's: flushing the profile cache for
    // the file, which parses the whole file.
    const double profileFlush = MedianMilliseconds(
        7, [] {}, [&] { WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str()); });

    const std::wstring copy = folder.File(L"10MB-utf16-copy.ini");
    const double copyFlush = MedianMilliseconds(
        7, [&] { DeleteFileW(copy.c_str()); },
        [&] {
            CheckWin32(CopyFileW(path.c_str(), copy.c_str(), FALSE) != FALSE, "CopyFileW");
            const UniqueFileHandle file =
                OpenedFile(CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            CheckWin32(FlushFileBuffers(file.get()) != FALSE, "FlushFileBuffers");
        });

    std::printf("end-to-end 10MB utf16: of the commit, the profile cache flush alone %.1f ms\n", profileFlush);
    std::printf("end-to-end 1MB ansi: read 1000 plug-in %.1f ms, direct profile %.1f ms (ratio %.2f); commit 1 key "
                "10MB utf16 inmemory %.1f ms, copy+flush %.1f ms (ratio %.2f)\n",
                reads.plugin, reads.direct, reads.plugin / reads.direct, commit, copyFlush, commit / copyFlush);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 || (std::wstring(argv[2]) != L"profileapi" && std::wstring(argv[2]) != L"inmemory")) {
        std::fprintf(stderr, "usage: end_to_end_* PLUGIN-DLL profileapi|inmemory\n");
        return 2;
    }
    try {
        const ScratchFolder folder;
        const Plugin plugin(argv[1]);
        if (std::wstring(argv[2]) == L"profileapi")
            RunProfileApi(plugin, folder);
        else
            RunInMemory(plugin, folder);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "end-to-end benchmark: %s\n", failure.what());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}
