// The access mode is decided from the Windows version the program sees: the
// test prefix tells one test program that it runs on Windows NT 4.0.
#include "navigator/IniAccessMode.h"
#include "navigator/NavigatorFixture.h"
#include "support/ErrorDescription.h"

#ifndef EXPECTED_ACCESS_MODE
#error "each program that runs these tests says which mode its Windows version must give"
#endif

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
