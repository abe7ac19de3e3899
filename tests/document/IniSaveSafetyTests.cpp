// Save replaces the file in one step: whatever fails, the file is left
// exactly as it was and no temporary file stays behind.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "document/DocumentFixture.h"
#include "platform/File.h"
#include "platform/TemporaryName.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/windows/WaitBounds.h"
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace {

constexpr char kOriginal[] = "[s]\r\nk=old\r\n";

// The reasons the file layer gives for a refused save.
#ifdef _WIN32
constexpr platform::SystemError kReadOnly = ERROR_FILE_READ_ONLY;
constexpr platform::SystemError kNoFolder = ERROR_PATH_NOT_FOUND;
constexpr std::u16string_view kSeparators = u"\\";
#else
constexpr platform::SystemError kReadOnly = EACCES;
constexpr platform::SystemError kNoFolder = ENOENT;
constexpr std::u16string_view kSeparators = u"/";
#endif

// The names in a folder, sorted.
std::vector<std::string> Entries(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class SaveSafetyTest : public DocumentTest {
protected:
    void SetUp() override
    {
        LoadBytes(kOriginal);
        document.SetValue(u"s", u"k", u"new");
    }

    void ExpectUntouched(const std::string& what)
    {
        EXPECT_EQ(kOriginal, ReadBytes(file)) << what << ": the file keeps its content";
        EXPECT_EQ(std::vector<std::string>{"test.ini"}, Entries(folder.path())) << what << ": no temporary file is left";
    }
};

TEST_F(SaveSafetyTest, ASaveReplacesTheFileAndLeavesNothingElse)
{
    EXPECT_EQ("[s]\r\nk=new\r\n", SavedBytes());
    EXPECT_EQ(std::vector<std::string>{"test.ini"}, Entries(folder.path()));
}

// The new versions that a killed save of a file left behind are told apart
// from everything else in the folder by their names; with the file there,
// they are removed.
TEST_F(SaveSafetyTest, WhatKilledSavesOfAFileLeftIsFoundAndRemoved)
{
    const unsigned char random[platform::kTemporaryNameRandomBytes] = {0x5A};
    const auto nameFor = [&](const char* target) {
        const std::u16string path = platform::TemporaryNameBeside(U16Path(folder.File(target)), kSeparators, random);
        return std::string(path.begin() + static_cast<std::ptrdiff_t>(path.find_last_of(kSeparators) + 1), path.end());
    };
    const std::u16string target = U16Path(file);
    EXPECT_FALSE(platform::ReplacementUnderway(target));
    const std::string own = nameFor("TEST.INI");  // file names are compared without regard to case
    const std::string others[] = {nameFor("other.ini"), "~ini-test.tmp", own + ".bak", "rf12.tmp"};
    for (const std::string& name : others)
        folder.WriteFile(name, "someone else's");
    EXPECT_FALSE(platform::ReplacementUnderway(target)) << "other files do not count";
    folder.WriteFile(own, "left behind");
    EXPECT_TRUE(platform::ReplacementUnderway(target));

    platform::SettleAbandonedReplacements(target);
    EXPECT_FALSE(platform::ReplacementUnderway(target));
    std::vector<std::string> expected(std::begin(others), std::end(others));
    expected.push_back("test.ini");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Entries(folder.path())) << "only the file's own new versions are removed";
    EXPECT_EQ(kOriginal, ReadBytes(file)) << "the file stays";
}

// A save stopped between the two steps of its replacement leaves no file,
// only its complete new version: that one takes the file's place, and no
// version is removed before it has.
TEST_F(SaveSafetyTest, TheNewestVersionBesideAMissingFileTakesItsPlace)
{
    const std::u16string target = U16Path(file);
    std::filesystem::remove(file);
    const auto now = std::filesystem::file_time_type::clock::now();
    const char* contents[] = {"older", "newest", "oldest"};
    for (unsigned char i = 0; i < 3; ++i) {
        const unsigned char random[platform::kTemporaryNameRandomBytes] = {i};
        const std::u16string name = platform::TemporaryNameBeside(target, kSeparators, random);
        const auto version = folder.WriteFile(std::string(name.begin() + name.find_last_of(kSeparators) + 1, name.end()),
                                              contents[i]);
        std::filesystem::last_write_time(version, now - std::chrono::minutes(i == 1 ? 1 : 10 + i));
    }
    platform::SettleAbandonedReplacements(target);
    EXPECT_EQ("newest", ReadBytes(file));
    EXPECT_EQ(std::vector<std::string>{"test.ini"}, Entries(folder.path())) << "the older versions are removed";
}

TEST_F(SaveSafetyTest, AMissingFileIsCreated)
{
    const auto created = folder.File("created.ini");
    ASSERT_TRUE(document.Save(U16Path(created)));
    EXPECT_EQ("[s]\r\nk=new\r\n", ReadBytes(created));
    EXPECT_EQ((std::vector<std::string>{"created.ini", "test.ini"}), Entries(folder.path()));
}

TEST_F(SaveSafetyTest, AReadOnlyFileIsLeftUntouched)
{
    std::filesystem::permissions(file,
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_FALSE(document.Save(path)) << "a read-only file refuses the save";
    EXPECT_EQ(kReadOnly, document.lastError());
    ExpectUntouched("read-only file");
}

TEST_F(SaveSafetyTest, AMissingFolderFailsTheSave)
{
    EXPECT_FALSE(document.Save(U16Path(folder.File("missing/test.ini"))));
    EXPECT_EQ(kNoFolder, document.lastError());
    ExpectUntouched("missing folder");
}

TEST_F(SaveSafetyTest, AFolderInTheWayFailsTheSave)
{
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_FALSE(document.Save(path));
    EXPECT_EQ(platform::kFolderInTheWay, document.lastError());
    EXPECT_TRUE(std::filesystem::is_directory(file)) << "the folder stays";
    EXPECT_EQ(std::vector<std::string>{"test.ini"}, Entries(folder.path())) << "no temporary file is left";
}

#ifdef _WIN32

TEST_F(SaveSafetyTest, AFileOpenWithoutSharingDeletionIsLeftUntouched)
{
    const HANDLE open = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    // The save waits for such a holder within a bound; a short one here.
    platform::SetWaitBoundsForTesting(std::chrono::milliseconds(100));
    const bool saved = document.Save(path);
    platform::SetWaitBoundsForTesting(std::chrono::milliseconds(0));
    CloseHandle(open);
    EXPECT_FALSE(saved) << "a file that may not be replaced fails the save";
    EXPECT_EQ(ERROR_SHARING_VIOLATION, document.lastError());
    ExpectUntouched("file open elsewhere");
}

TEST_F(SaveSafetyTest, AFileOpenElsewhereCanStillBeLoaded)
{
    const HANDLE open = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    EXPECT_TRUE(document.Load(path)) << "loading shares the file with its writers";
    CloseHandle(open);
    EXPECT_EQ("old", Lookup(u"s", u"k"));
}

#else

TEST_F(SaveSafetyTest, AWriteThatFailsPartWayLeavesTheFileUntouched)
{
    for (int i = 0; i < 20000; ++i)
        document.SetValue(u"s", u"key" + Widened(std::to_string(i)), u"some text to make the file large");
    // Writes beyond 64 KiB fail as on a full disk.
    rlimit original{};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &original));
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = original;
    limited.rlim_cur = 64 * 1024;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limited));
    const bool saved = document.Save(path);
    setrlimit(RLIMIT_FSIZE, &original);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved) << "a failed write fails the save";
    EXPECT_EQ(EFBIG, document.lastError()) << "the reason of the write that failed";
    ExpectUntouched("failed write");
}

TEST_F(SaveSafetyTest, TheNewFileKeepsThePermissionsOfTheOld)
{
    ASSERT_EQ(0, chmod(file.c_str(), 0640));
    ASSERT_TRUE(document.Save(path));
    struct stat status {};
    ASSERT_EQ(0, stat(file.c_str(), &status));
    EXPECT_EQ(0640u, status.st_mode & 07777u);
}

#endif
