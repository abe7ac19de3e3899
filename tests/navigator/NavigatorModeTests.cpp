// The access mode is decided from the Windows version the program sees: the
// test prefix tells one test program that it runs on Windows NT 4.0.
#include <algorithm>

#include "navigator/IniAccessMode.h"
#include "navigator/NavigatorFixture.h"
#include "platform/windows/FileLock.h"
#include "support/ErrorDescription.h"

#ifndef EXPECTED_ACCESS_MODE
#error "each program that runs these tests says which mode its Windows version must give"
#endif

namespace {

// A named pipe of the test's own, which notices whether any client ever
// connects to it.
class PipeServer {
public:
    PipeServer()
        : name_(L"iniplugin-test-" + std::to_wstring(GetCurrentProcessId())),
          pipe_(CreateNamedPipeW((L"\\\\.\\pipe\\" + name_).c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr)),
          connected_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        EXPECT_TRUE(pipe_) << "could not create the pipe";
        overlapped_.hEvent = connected_.get();
        EXPECT_FALSE(ConnectNamedPipe(pipe_.get(), &overlapped_));
        EXPECT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError()) << "no client yet";
    }
    ~PipeServer()
    {
        CancelIo(pipe_.get());
        DWORD ignored;
        GetOverlappedResult(pipe_.get(), &overlapped_, &ignored, TRUE);
    }

    const std::wstring& name() const { return name_; }
    bool SawAClient() const { return WaitForSingleObject(connected_.get(), 0) == WAIT_OBJECT_0; }

private:
    std::wstring name_;
    UniqueFileHandle pipe_;
    UniqueKernelHandle connected_;
    OVERLAPPED overlapped_ = {};
};

// A share that UNC paths reach: Wine finds \\server\share\ in the folder
// dosdevices\unc\server\share of its prefix.
class UncShare {
public:
    UncShare()
    {
        wchar_t prefix[MAX_PATH];
        const DWORD length = GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
        EXPECT_TRUE(length > 0 && length < MAX_PATH) << "the tests run under Wine";
        server_ = std::filesystem::path(L"Z:" + std::wstring(prefix, length)) / L"dosdevices" / L"unc" / server();
        std::filesystem::create_directories(server_ / L"share");
    }
    ~UncShare() { std::filesystem::remove_all(server_); }

    std::wstring server() const { return L"iniplugin-test-" + std::to_wstring(GetCurrentProcessId()); }
    // The UNC path of a file of the share, which holds `bytes`.
    std::wstring File(const wchar_t* name, std::string_view bytes) const
    {
        WriteBytes(server_ / L"share" / name, bytes);
        return L"\\\\" + server() + L"\\share\\" + name;
    }

private:
    std::filesystem::path server_;
};

}  // namespace

TEST_F(NavigatorTest, FirstInitDecidesTheModeFromTheWindowsVersion)
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExW(&version));
#pragma GCC diagnostic pop
    const bool nt4 = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4;
    EXPECT_EQ(EXPECTED_ACCESS_MODE == 1, nt4) << "the test prefix did not give this program the expected version";

    OpenNavigator(IniFile("[a]\r\nk=v\r\n"));
    EXPECT_EQ(static_cast<IniAccessMode>(EXPECTED_ACCESS_MODE), CurrentAccessMode());
}

// The private-profile functions reach paths of up to MAX_PATH - 1 units; a
// longer one is refused rather than read as empty and written elsewhere.
TEST_F(NavigatorTest, APathTheProfileFunctionsCannotReachIsRefused)
{
    const std::wstring base = folder.path().wstring();
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(base.c_str()));
    for (const size_t length : {size_t(MAX_PATH - 1), size_t(MAX_PATH), size_t(MAX_PATH + 40)}) {
        SCOPED_TRACE(length);
        // base\ddd...\f.ini, `length` units in all.
        const std::wstring name = L"f.ini";
        const std::wstring subfolder = base + L"\\" + std::wstring(length - base.size() - 2 - name.size(), L'd');
        const std::wstring file = subfolder + L"\\" + name;
        ASSERT_EQ(length, file.size());
        CreateDirectoryW((L"\\\\?\\" + subfolder).c_str(), nullptr);
        WriteBytes(L"\\\\?\\" + file, "[s]\r\nk=v\r\n");

        Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
        ASSERT_EQ(S_OK, CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init));
        const HRESULT opened = init->Init(file.c_str(), 0);
        const std::wstring initDescription = ErrorDescription(init.Get(), IID_IZephFileNavigatorInit);
        Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
        ASSERT_EQ(S_OK, init.As(&navigator));
        Records read;
        read.Add(L"s", L"k");
        EXPECT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, 1, read.data()));
        Records written;
        written.AddText(L"s", L"new", L"x");
        EXPECT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, 1, written.data(), 0));
        const HRESULT committed = navigator->Commit();
        if (length < MAX_PATH) {
            EXPECT_EQ(S_OK, opened);
            EXPECT_EQ(1, read[0].found) << "a key that is in the file is found";
            EXPECT_EQ(S_OK, committed) << "the commit reaches the file, its temporary file's longer name too";
            EXPECT_EQ("[s]\r\nk=v\r\nnew=x\r\n", ReadBytes(L"\\\\?\\" + file));
        } else {
            EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), opened);
            EXPECT_EQ(L"Cannot open " + file + L": the path is too long.", initDescription);
            EXPECT_EQ(0, read[0].found) << "a refused navigator reads nothing";
            EXPECT_EQ(E_FAIL, committed);
            EXPECT_EQ("[s]\r\nk=v\r\n", ReadBytes(L"\\\\?\\" + file)) << "the file is untouched";
        }
        // The test folder's own clean-up does not reach such paths.
        navigator.Reset();
        init.Reset();
        DeleteFileW((L"\\\\?\\" + file).c_str());
        RemoveDirectoryW((L"\\\\?\\" + subfolder).c_str());
    }
    SetCurrentDirectoryW(previous);
    std::vector<std::wstring> strays;
    for (const auto& entry : std::filesystem::directory_iterator(base)) {
        if (!entry.is_directory())
            strays.push_back(entry.path().filename().wstring());
    }
    EXPECT_TRUE(strays.empty()) << "nothing is written to another file, such as one in the current folder";
}

// Init takes only paths to files on a disk, or to no file yet: a pipe, a
// device or a stream of a file is refused by its spelling before anything
// opens it, the profile functions included, and what the spelling cannot
// tell by what a handle opened for attributes reaches. A navigator refused
// its path reads and writes nothing.
TEST_F(NavigatorTest, InitRefusesEveryPathButThoseOfFilesOnADisk)
{
    const PipeServer pipe;
    const std::wstring plain = IniFile("[s]\r\nk=v\r\n").wstring();
    const std::wstring earlier = IniFile(Utf16LeFile(u"[s]\r\nk=v\r\n"), "earlier.ini").wstring();
    const std::wstring pipeCause = L"the path names a pipe or a mailslot, not a file";
    const std::wstring deviceName = L"the name is reserved for a device";
    const std::wstring devicePath = L"the path is a device path, not the path of a file";
    const std::wstring stream = L"the path names a stream of a file, not a file";
    const std::wstring notOnDisk = L"the path leads to a device, not to a file on a disk";
    const struct {
        std::wstring path;
        std::wstring cause;
    } refused[] = {
        {L"", L"the path is empty"},
        {L"\\\\.\\pipe\\" + pipe.name(), pipeCause},
        {L"//./PIPE/" + pipe.name(), pipeCause},
        {L"\\\\?\\pipe\\" + pipe.name(), pipeCause},
        {L"\\\\localhost\\pipe\\" + pipe.name(), pipeCause},
        {L"\\\\?\\UNC\\localhost\\pipe\\" + pipe.name(), pipeCause},
        {L"\\\\.\\mailslot\\x", pipeCause},
        {L"NUL", deviceName},
        {L"con", deviceName},
        {L"COM1", deviceName},
        {folder.File("lpt1.ini").wstring(), deviceName},
        {L"\\\\.\\C:", devicePath},
        {L"\\\\.\\" + plain, devicePath},
        {L"\\\\?\\GLOBALROOT\\Device\\Null", devicePath},
        {L"\\??\\" + plain, devicePath},
        {plain + L":stream", stream},
        {plain + L"::$DATA", stream},
        // Wine's drive Z: is the Unix root, with its devices.
        {L"Z:\\dev\\null", notOnDisk},
        {L"Z:\\dev\\zero", notOnDisk},
        {folder.File("iniplugin.LOCK").wstring(), L"the name is that of the plug-in's lock file"},
    };
    for (const auto& path : refused) {
        SCOPED_TRACE(testing::Message() << "\"" << std::string(path.path.begin(), path.path.end()) << "\"");
        Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
        ASSERT_EQ(S_OK, CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init));
        EXPECT_EQ(S_OK, init->Init(earlier.c_str(), 0));
        EXPECT_EQ(E_INVALIDARG, init->Init(path.path.c_str(), 0));
        EXPECT_EQ(L"Cannot open " + (path.path.empty() ? L"\"\"" : path.path) + L": " + path.cause + L".",
                  ErrorDescription(init.Get(), IID_IZephFileNavigatorInit));
        Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
        ASSERT_EQ(S_OK, init.As(&navigator));
        Records read;
        read.Add(L"s", L"k");
        EXPECT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, 1, read.data()));
        EXPECT_EQ(0, read[0].found) << "nothing is read, not even the file of the Init before";
        Records written;
        written.AddText(L"s", L"k", L"x");
        EXPECT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, 1, written.data(), 0));
        EXPECT_EQ(E_FAIL, navigator->Commit());
    }
    EXPECT_FALSE(pipe.SawAClient()) << "the pipe was never opened";
    EXPECT_EQ("[s]\r\nk=v\r\n", ReadBytes(plain));
    std::vector<std::wstring> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        if (entry.path().filename() != platform::kLockFileName)
            files.push_back(entry.path().filename().wstring());
    }
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::wstring>{L"earlier.ini", L"test.ini"}), files) << "nothing was created";

    const UncShare share;
    const std::wstring accepted[] = {
        plain,
        L"\\\\?\\" + plain,
        share.File(L"unc.ini", "[s]\r\nk=v\r\n"),
        L"\\\\?\\UNC\\" + share.server() + L"\\share\\unc.ini",
    };
    for (const std::wstring& path : accepted) {
        SCOPED_TRACE(testing::Message() << "\"" << std::string(path.begin(), path.end()) << "\"");
        Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
        ASSERT_EQ(S_OK, CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init));
        ASSERT_EQ(S_OK, init->Init(path.c_str(), 0));
        Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
        ASSERT_EQ(S_OK, init.As(&navigator));
        Records read;
        read.Add(L"s", L"k");
        EXPECT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, 1, read.data()));
        EXPECT_EQ(L"v", ValueText(read[0]));
        Records written;
        written.AddText(L"s", L"added", L"x");
        EXPECT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, 1, written.data(), 0));
        EXPECT_EQ(S_OK, navigator->Commit());
        Records again;
        again.Add(L"s", L"added");
        EXPECT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, 1, again.data()));
        EXPECT_EQ(L"x", ValueText(again[0]));
    }
    // A file yet to be made is no device: in ProfileApi mode Init takes it,
    // in InMemory mode Init fails only because there is nothing to load.
    OpenNavigator(folder.File("new.ini"), EXPECTED_ACCESS_MODE == 1 ? E_FAIL : S_OK);
}
