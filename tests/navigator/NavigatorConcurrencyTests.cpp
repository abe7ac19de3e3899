// Many navigators on one file, in separate processes: committed writes are
// never lost, readers never miss a key that is always there, and a lock that
// is held too long or by a killed process blocks nobody for good.
//
// The other processes are this program again, started with a role in the
// environment; ConcurrencyWorker.Run plays the role and reports through its
// exit code. Workers lock the file around every private-profile call as
// Windows does (Wine does not), so that a lock the plug-in held on the file
// itself would hang them; a worker that hangs is killed and fails its test.
#include "navigator/NavigatorFixture.h"

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "com/ModuleLock.h"
#include "platform/TemporaryName.h"
#include "platform/windows/FileLock.h"
#include "platform/windows/ProfileFile.h"
#include "platform/windows/ReplacementFault.h"
#include "support/Apartment.h"
#include "platform/windows/WideText.h"
#include "support/ErrorDescription.h"

namespace {

constexpr wchar_t kRoleVariable[] = L"INIPLUGIN_TEST_ROLE";
// Separates the words of a role: paths may hold spaces.
constexpr wchar_t kRoleSeparator = L'|';

// Nobody writes the comment and the untouched section; every writer adds keys
// to [main], where "always" is there from the start. No blank lines: Wine's
// profile writer drops them.
constexpr char16_t kBase[] = u"; shared settings\r\n[untouched]\r\nkeep=1\r\n[main]\r\nalways=here\r\n";

std::string FileBytes(bool utf16)
{
    const std::u16string text(kBase);
    return utf16 ? Utf16LeFile(text) : std::string(text.begin(), text.end());
}

std::string TextOf(const std::string& bytes)
{
    if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE')
        return bytes;
    std::string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text += bytes[i + 1] == 0 ? bytes[i] : '?';
    return text;
}

// A navigator created as the format object creates one.
Microsoft::WRL::ComPtr<IZephFileNavigator> Open(const std::wstring& file, HRESULT& initResult)
{
    Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
    if (FAILED(CIniFile::CreateInstance(nullptr, IID_IZephFileNavigatorInit, &init))) {
        initResult = E_FAIL;
        return nullptr;
    }
    initResult = init->Init(file.c_str(), 0);
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
    init.As(&navigator);
    return navigator;
}

HRESULT WriteAndCommit(const std::wstring& file, const std::wstring& key)
{
    HRESULT hr;
    auto navigator = Open(file, hr);
    if (FAILED(hr))
        return hr;
    Records records;
    records.AddText(L"main", key.c_str(), L"v");
    hr = navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0);
    return SUCCEEDED(hr) ? navigator->Commit() : hr;
}

// Exit codes of the roles: 0, or how many of their operations went wrong.
int CommitRole(const std::wstring& file, int worker, int rounds)
{
    int failed = 0;
    for (int round = 0; round < rounds; ++round) {
        if (WriteAndCommit(file, L"w" + std::to_wstring(worker) + L"r" + std::to_wstring(round)) != S_OK)
            ++failed;
    }
    return failed;
}

int ReadRole(const std::wstring& file, const std::wstring& stopFile)
{
    int failed = 0;
    while (GetFileAttributesW(stopFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        HRESULT hr;
        auto navigator = Open(file, hr);
        Records records;
        records.Add(L"main", L"always");
        if (FAILED(hr) || navigator->ReadVariables(0, 0, 0, 1, records.data()) != S_OK || records[0].found != 1)
            ++failed;
    }
    return failed;
}

// Every operation in one thread: reads, immediate writes, the alternatives
// form and commits; in ProfileApi mode also on a file that does not exist
// yet, which the immediate write creates.
int EveryOperationRole(const std::wstring& file)
{
    int failed = 0;
    std::vector<std::wstring> paths = {file};
    if (EXPECTED_ACCESS_MODE == 0)
        paths.push_back(file + L".new.ini");
    for (const std::wstring& path : paths) {
        HRESULT hr;
        auto navigator = Open(path, hr);
        Records read;
        read.Add(L"main", L"always");
        Records write;
        write.AddText(L"main", L"written", L"1");
        write.AddText(L"other", L"written", L"2");
        Records alternatives;
        alternatives.AddText(L"main", L"written", L"3");
        if (FAILED(hr) || navigator->ReadVariables(0, 0, 0, 1, read.data()) != S_OK ||
            navigator->WriteVariables(0, 0, 0, write.count(), write.data(), 0) != S_OK ||
            navigator->Commit() != S_OK ||
            navigator->WriteVariables(0, 1, 0, alternatives.count(), alternatives.data(), 0) != S_OK ||
            navigator->ReadVariables(0, 0, 0, 1, alternatives.data()) != S_OK || alternatives[0].found != 1 ||
            ValueText(alternatives[0]) != L"3")
            ++failed;
    }
    return failed;
}

// Commits a write and is stopped between the two steps of the replacement.
int StopInReplacementRole(const std::wstring& file)
{
    platform::SetReplacementFaultForTesting(platform::ReplacementFault::StopBetweenSteps);
    return WriteAndCommit(file, L"committed") == S_OK ? 0 : 1;
}

// Writes one value at once, without a commit.
int WriteOnceRole(const std::wstring& file)
{
    HRESULT hr;
    auto navigator = Open(file, hr);
    Records records;
    records.AddText(L"s500", L"k", L"written");
    return SUCCEEDED(hr) && navigator->WriteVariables(0, 0, 0, 1, records.data(), 0) == S_OK ? 0 : 1;
}

// Reads keys once; exits with how many were not found.
int ReadOnceRole(const std::wstring& file, const std::vector<std::wstring>& keys)
{
    HRESULT hr;
    auto navigator = Open(file, hr);
    if (FAILED(hr))
        return 100;
    Records records;
    for (const std::wstring& key : keys)
        records.Add(L"main", key.c_str());
    if (navigator->ReadVariables(0, 0, 0, records.count(), records.data()) != S_OK)
        return 100;
    int missed = 0;
    for (size_t index = 0; index < keys.size(); ++index)
        missed += records[index].found == 1 ? 0 : 1;
    return missed;
}

int HoldRole(const std::wstring& file, const std::wstring& readyFile)
{
    platform::FileLockSite site;
    site.Bind(std::u16string(AsU16(file)));
    const auto lock = site.Acquire(platform::FileLockMode::Exclusive, platform::WaitKind::Commit);
    if (!lock.held())
        return 1;
    WriteBytes(readyFile, "");
    Sleep(INFINITE);
    return 0;
}

// Another process of this program, playing `role`.
class Worker {
public:
    explicit Worker(const std::wstring& role)
    {
        wchar_t program[MAX_PATH];
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --gtest_filter=ConcurrencyWorker.Run";
        SetEnvironmentVariableW(kRoleVariable, role.c_str());
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        // The worker's output would only clutter the test's.
        startup.dwFlags = STARTF_USESTDHANDLES;
        PROCESS_INFORMATION started = {};
        if (CreateProcessW(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &started)) {
            process_.reset(started.hProcess);
            thread_.reset(started.hThread);
        }
        SetEnvironmentVariableW(kRoleVariable, nullptr);
        EXPECT_TRUE(process_) << "could not start a worker";
    }
    ~Worker()
    {
        if (process_)
            TerminateProcess(process_.get(), 99);
    }

    // The worker's exit code once it has ended; -1 when it could not start,
    // kHung when it had not ended two minutes after its start and was killed.
    static constexpr int kHung = -2;
    int Finish()
    {
        if (!process_)
            return -1;
        const ULONGLONG waited = GetTickCount64() - started_;
        if (WaitForSingleObject(process_.get(), waited < kLongest ? static_cast<DWORD>(kLongest - waited) : 0) !=
            WAIT_OBJECT_0) {
            Kill();
            return kHung;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return static_cast<int>(code);
    }

    void Kill()
    {
        TerminateProcess(process_.get(), 98);
        WaitForSingleObject(process_.get(), INFINITE);
    }

private:
    static constexpr ULONGLONG kLongest = 120000;
    const ULONGLONG started_ = GetTickCount64();
    UniqueKernelHandle process_;
    UniqueKernelHandle thread_;
};

// Waits for a worker's sign that it is ready; false after a minute.
bool AwaitFile(const std::filesystem::path& file)
{
    for (int tries = 0; tries < 6000; ++tries) {
        if (std::filesystem::exists(file))
            return true;
        Sleep(10);
    }
    return false;
}

// The files in the folder other than `file` and the lock file.
std::vector<std::string> OthersBeside(const std::filesystem::path& file)
{
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        if (entry.path() != file && entry.path().filename() != platform::kLockFileName)
            others.push_back(entry.path().filename().string());
    }
    return others;
}

}  // namespace

// The roles the tests below start other processes for; skipped in a plain run.
TEST(ConcurrencyWorker, Run)
{
    const wchar_t* role = _wgetenv(kRoleVariable);
    if (role == nullptr)
        GTEST_SKIP() << "plays a role only when a test starts it";
    // Like a host's thread on Windows: a single-threaded apartment, and
    // profile functions that lock the file.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    platform::LockProfileFilesLikeWindowsForTesting(true);
    std::vector<std::wstring> words(1);
    for (const wchar_t* unit = role; *unit != L'\0'; ++unit) {
        if (*unit == kRoleSeparator)
            words.emplace_back();
        else
            words.back() += *unit;
    }
    if (words[0] == L"commit" && words.size() == 4)
        std::exit(CommitRole(words[1], std::stoi(words[2]), std::stoi(words[3])));
    if (words[0] == L"read" && words.size() == 3)
        std::exit(ReadRole(words[1], words[2]));
    if (words[0] == L"every" && words.size() == 2)
        std::exit(EveryOperationRole(words[1]));
    if (words[0] == L"stop-in-replacement" && words.size() == 2)
        std::exit(StopInReplacementRole(words[1]));
    if (words[0] == L"write-once" && words.size() == 2)
        std::exit(WriteOnceRole(words[1]));
    if (words[0] == L"read-once" && words.size() > 2)
        std::exit(ReadOnceRole(words[1], std::vector<std::wstring>(words.begin() + 2, words.end())));
    if (words[0] == L"hold" && words.size() == 3)
        std::exit(HoldRole(words[1], words[2]));
    std::exit(100);
}

class NavigatorConcurrencyTest : public NavigatorTest {
protected:
    static std::wstring Role(std::initializer_list<std::wstring> words)
    {
        std::wstring role;
        for (const std::wstring& word : words)
            role += (role.empty() ? L"" : std::wstring(1, kRoleSeparator)) + word;
        return role;
    }
    static std::wstring Path(const std::filesystem::path& file) { return file.wstring(); }

    // Another process that holds the file's lock exclusively until it is
    // killed; none when it did not take the lock within a minute.
    std::unique_ptr<Worker> HoldLock(const std::filesystem::path& file)
    {
        const auto ready = folder.File("ready");
        auto holder = std::make_unique<Worker>(Role({L"hold", Path(file), Path(ready)}));
        return AwaitFile(ready) ? std::move(holder) : nullptr;
    }
    static std::wstring Number(int number) { return std::to_wstring(number); }
};

TEST_F(NavigatorConcurrencyTest, EveryCommitFromManyProcessesIsKept)
{
    constexpr int kWorkers = 4;
    constexpr int kRounds = 15;
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16 file" : "ANSI file");
        const auto file = IniFile(FileBytes(utf16), utf16 ? "utf16.ini" : "ansi.ini");
        std::vector<std::unique_ptr<Worker>> workers;
        for (int worker = 0; worker < kWorkers; ++worker) {
            workers.push_back(std::make_unique<Worker>(
                Role({L"commit", Path(file), Number(worker), Number(kRounds)})));
        }
        for (int worker = 0; worker < kWorkers; ++worker)
            EXPECT_EQ(0, workers[worker]->Finish()) << "commits of worker " << worker << " that did not return S_OK";

        const std::string bytes = ReadBytes(file);
        EXPECT_EQ(utf16, bytes.rfind("\xFF\xFE", 0) == 0) << "the encoding is kept";
        const std::string text = TextOf(bytes);
        EXPECT_EQ(0u, text.find("; shared settings\r\n[untouched]\r\nkeep=1\r\n[main]\r\nalways=here\r\n"))
            << "what nobody wrote is kept:\n" << text;
        for (int worker = 0; worker < kWorkers; ++worker) {
            for (int round = 0; round < kRounds; ++round) {
                const std::string key = "w" + std::to_string(worker) + "r" + std::to_string(round);
                EXPECT_NE(std::string::npos, text.find("\n" + key + "=v\r\n")) << "lost: " << key;
            }
        }
        EXPECT_EQ(std::vector<std::string>(), OthersBeside(file)) << "files left beside the target";
        std::filesystem::remove(file);
    }
}

TEST_F(NavigatorConcurrencyTest, EveryOperationWorksWithProfileFunctionsThatLockTheFile)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16 file" : "ANSI file");
        const auto file = IniFile(FileBytes(utf16), utf16 ? "utf16.ini" : "ansi.ini");
        Worker worker(Role({L"every", Path(file)}));
        EXPECT_EQ(0, worker.Finish()) << "operations that failed (" << Worker::kHung << ": it hung)";
    }
}

TEST_F(NavigatorConcurrencyTest, ReadersNeverMissAKeyWhileAnotherProcessCommits)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16 file" : "ANSI file");
        const auto file = IniFile(FileBytes(utf16), utf16 ? "utf16.ini" : "ansi.ini");
        const auto stop = folder.File(utf16 ? "stop-utf16" : "stop-ansi");
        std::vector<std::unique_ptr<Worker>> readers;
        for (int reader = 0; reader < 3; ++reader)
            readers.push_back(std::make_unique<Worker>(Role({L"read", Path(file), Path(stop)})));
        Worker committer(Role({L"commit", Path(file), Number(0), Number(100)}));
        EXPECT_EQ(0, committer.Finish()) << "commits that did not return S_OK";
        WriteBytes(stop, "");
        for (auto& reader : readers)
            EXPECT_EQ(0, reader->Finish()) << "opens that failed and reads that missed the key";
    }
}

TEST_F(NavigatorConcurrencyTest, ALockHeldTooLongFailsTheCommitAndKeepsItsWrites)
{
    const auto file = IniFile(FileBytes(false));
    const std::unique_ptr<Worker> holder = HoldLock(file);
    ASSERT_TRUE(holder) << "the holder did not take the lock";

    platform::SetWaitBoundsForTesting(std::chrono::milliseconds(200));
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"main", L"late", L"v");
    EXPECT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0))
        << "a write waits for the commit when the file stays locked";
    EXPECT_EQ(E_FAIL, navigator->Commit());
    EXPECT_EQ(L"Cannot save " + file.wstring() + L": another program has locked the file.",
              ErrorDescription(navigator.Get(), IID_IZephFileNavigator));
    EXPECT_EQ(FileBytes(false), ReadBytes(file)) << "nothing was written while another held the lock";
    Records read;
    read.Add(L"main", L"always");
    EXPECT_EQ(S_OK, navigator->ReadVariables(0, 0, 0, 1, read.data()));
    EXPECT_EQ(1, read[0].found) << "a read goes on after the bound";
    platform::SetWaitBoundsForTesting(std::chrono::milliseconds(0));

    // The holder is killed: the system frees what it held, within the bound.
    holder->Kill();
    EXPECT_EQ(S_OK, navigator->Commit()) << "the writes were kept for the next commit";
    EXPECT_NE(std::string::npos, TextOf(ReadBytes(file)).find("\r\nlate=v\r\n"));
}

TEST_F(NavigatorConcurrencyTest, ACommitRemovesWhatKilledSavesOfItsFileLeftBehind)
{
    const auto file = IniFile(FileBytes(false), "target.ini");
    const unsigned char random[platform::kTemporaryNameRandomBytes] = {0x12, 0xAB};
    const auto nameFor = [&](const char* target) {
        const std::u16string path = platform::TemporaryNameBeside(U16Path(folder.File(target)), u"\\", random);
        return std::filesystem::path(std::wstring(path.begin(), path.end())).filename().string();
    };
    const std::string abandoned = nameFor("TARGET.INI");  // names are compared without regard to case
    const std::string otherFiles = nameFor("other.ini");
    for (const std::string& name : {abandoned, otherFiles, std::string("~ini-other.tmp"), std::string("rf12.tmp")})
        folder.WriteFile(name, "left behind");

    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"main", L"k", L"v");
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0));
    ASSERT_EQ(S_OK, navigator->Commit());
    std::vector<std::string> left = OthersBeside(file);
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected = {otherFiles, "rf12.tmp", "~ini-other.tmp"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, left) << "only the target's own new versions are removed";
}

TEST_F(NavigatorConcurrencyTest, TwoNavigatorsOnOneFileInOneThread)
{
    const auto file = IniFile(FileBytes(false));
    auto first = OpenNavigator(file);
    auto second = OpenNavigator(file);
    Records a, b;
    a.AddText(L"main", L"a", L"1");
    b.AddText(L"main", L"always", L"2");
    ASSERT_EQ(S_OK, first->WriteVariables(0, 0, 0, a.count(), a.data(), 0));
    // The alternatives form commits under the lock it already holds.
    ASSERT_EQ(S_OK, second->WriteVariables(0, 1, 0, b.count(), b.data(), 0));
    ASSERT_EQ(S_OK, first->Commit());
    EXPECT_EQ("; shared settings\r\n[untouched]\r\nkeep=1\r\n[main]\r\nalways=2\r\na=1\r\n", TextOf(ReadBytes(file)));
}

TEST_F(NavigatorConcurrencyTest, ACommitStoppedInItsReplacementIsFinishedByTheNextNavigator)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "UTF-16 file" : "ANSI file");
        const auto file = IniFile(FileBytes(utf16), utf16 ? "utf16.ini" : "ansi.ini");
        Worker committer(Role({L"stop-in-replacement", Path(file)}));
        ASSERT_EQ(static_cast<int>(platform::kStoppedBetweenSteps), committer.Finish());
        ASSERT_FALSE(std::filesystem::exists(file)) << "the stop left no file, only the new version";

        Worker reader(Role({L"read-once", Path(file), L"always", L"committed"}));
        EXPECT_EQ(0, reader.Finish()) << "keys the next navigator did not find";
        const std::string text = TextOf(ReadBytes(file));
        EXPECT_EQ(0u, text.find(TextOf(FileBytes(false)))) << text;
        EXPECT_NE(std::string::npos, text.find("\ncommitted=v\r\n")) << text;
        EXPECT_EQ(std::vector<std::string>(), OthersBeside(file)) << "files left beside the target";
        std::filesystem::remove(file);
    }
}

TEST_F(NavigatorConcurrencyTest, ANewVersionTheSystemCouldNotMoveInIsKeptForTheNextCommit)
{
    const auto file = IniFile(FileBytes(false));
    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"main", L"k", L"v");
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0));
    platform::SetReplacementFaultForTesting(platform::ReplacementFault::MoveFails);
    EXPECT_EQ(E_FAIL, navigator->Commit());
    platform::SetReplacementFaultForTesting(platform::ReplacementFault::None);
    EXPECT_EQ(L"Cannot save " + file.wstring() + L": access is denied.",
              ErrorDescription(navigator.Get(), IID_IZephFileNavigator));
    EXPECT_EQ(1u, OthersBeside(file).size()) << "the new version, the only copy, is kept";

    EXPECT_EQ(S_OK, navigator->Commit()) << "the write was kept for the next commit";
    EXPECT_EQ(TextOf(FileBytes(false)) + "k=v\r\n", TextOf(ReadBytes(file)));
    EXPECT_EQ(std::vector<std::string>(), OthersBeside(file));
}

namespace {

// A window whose message runs `hostCode`, as a host's would while a
// navigator waits for the lock. Another thread sends the message at once;
// this thread takes it the next time it dispatches messages.
class HostCodeWindow {
public:
    explicit HostCodeWindow(std::function<void()> hostCode) : hostCode_(std::move(hostCode))
    {
        WNDCLASSW type = {};
        type.lpfnWndProc = Procedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"HostCodeWindow";
        RegisterClassW(&type);
        window_ = CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance,
                                  nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        sender_ = std::thread([this] {
            DWORD_PTR result;
            SendMessageTimeoutW(window_, WM_APP, 0, 0, SMTO_NORMAL, 60000, &result);
        });
    }
    ~HostCodeWindow()
    {
        sender_.join();
        DestroyWindow(window_);
    }

    bool ran = false;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<HostCodeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != WM_APP || self == nullptr)
            return DefWindowProcW(window, message, wParam, lParam);
        self->hostCode_();
        self->ran = true;
        return 0;
    }

    std::function<void()> hostCode_;
    HWND window_ = nullptr;
    std::thread sender_;
};

}  // namespace

TEST_F(NavigatorConcurrencyTest, HostCodeRunWhileANavigatorWaitsCannotRebindOrFreeIt)
{
    Apartment apartment;
    const auto file = IniFile(FileBytes(false));
    const std::unique_ptr<Worker> holder = HoldLock(file);
    ASSERT_TRUE(holder) << "the holder did not take the lock";
    platform::SetWaitBoundsForTesting(std::chrono::milliseconds(300));
    {
        auto navigator = OpenNavigator(file);
        Records records;
        records.AddText(L"main", L"k", L"v");
        ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, records.count(), records.data(), 0));
        IZephFileNavigator* const onlyReference = navigator.Detach();
        const auto other = IniFile(FileBytes(false), "other.ini");
        HRESULT rebound = S_OK;
        LONG countAfterRelease = -1;
        HostCodeWindow window([&] {
            Microsoft::WRL::ComPtr<IZephFileNavigatorInit> init;
            onlyReference->QueryInterface(IID_PPV_ARGS(&init));
            rebound = init->Init(other.wstring().c_str(), 0);
            init.Reset();
            onlyReference->Release();
            countAfterRelease = ModuleLockCount();
        });
        EXPECT_EQ(E_FAIL, onlyReference->Commit());
        ASSERT_TRUE(window.ran) << "the wait dispatched the window's message";
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BUSY), rebound) << "no Init under a waiting operation";
        EXPECT_GT(countAfterRelease, 0) << "the navigator was destroyed inside its own call";
    }
    platform::SetWaitBoundsForTesting(std::chrono::milliseconds(0));
    EXPECT_EQ(0, ModuleLockCount()) << "the navigator ended when its call returned";
}

// A file of about 30 MB in 1,000 sections.
std::string LargeFile()
{
    std::string text = "; a large file\r\n";
    const std::string line(200, 'v');
    for (int section = 0; section < 1000; ++section) {
        text += "[s" + std::to_string(section) + "]\r\n";
        for (int key = 0; key < 150; ++key)
            text += "k" + std::to_string(key) + "=" + line + "\r\n";
    }
    return text;
}

TEST_F(NavigatorConcurrencyTest, AnImmediateWriteStoppedAnywhereLeavesTheOldOrTheNewFile)
{
    if (EXPECTED_ACCESS_MODE != 0)
        GTEST_SKIP() << "the profile path is the same in both modes; the ProfileApi program runs it";
    const std::string old = LargeFile();
    const auto file = IniFile(old, "large.ini");
    const auto direct = IniFile(old, "direct.ini");
    ASSERT_TRUE(WritePrivateProfileStringW(L"s500", L"k", L"written", direct.wstring().c_str()));
    const std::string written = ReadBytes(direct);
    std::filesystem::remove(direct);

    // A whole write first, to learn how long one takes.
    const ULONGLONG start = GetTickCount64();
    Worker whole(Role({L"write-once", Path(file)}));
    ASSERT_EQ(0, whole.Finish());
    const ULONGLONG length = GetTickCount64() - start;
    ASSERT_EQ(written, ReadBytes(file)) << "what the profile functions make of the file in place";

    std::srand(GetTickCount());
    int keptOld = 0, madeNew = 0, cut = 0;
    for (int trial = 0; trial < 20; ++trial) {
        WriteBytes(file, old);
        Worker writer(Role({L"write-once", Path(file)}));
        Sleep(static_cast<DWORD>(std::rand() % (length + 1)));
        writer.Kill();
        // The next navigator finishes a replacement that the kill cut in two.
        OpenNavigator(file);
        const std::string bytes = std::filesystem::exists(file) ? ReadBytes(file) : std::string();
        ++(bytes == old ? keptOld : bytes == written ? madeNew : cut);
        EXPECT_TRUE(bytes == old || bytes == written) << "trial " << trial << ": a file of " << bytes.size() << " bytes";
    }
    std::printf("killed immediate writes: %d left the old file, %d the new one, %d neither\n", keptOld, madeNew, cut);

    auto navigator = OpenNavigator(file);
    Records records;
    records.AddText(L"s0", L"k0", L"v");
    ASSERT_EQ(S_OK, navigator->WriteVariables(0, 0, 0, 1, records.data(), 0));
    ASSERT_EQ(S_OK, navigator->Commit());
    EXPECT_EQ(std::vector<std::string>(), OthersBeside(file)) << "no temporary file survives the next commit";
}
