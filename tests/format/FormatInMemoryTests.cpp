// CreateNavigator where the navigator's Init loads the file: the test prefix
// tells this program it runs on Windows NT 4.0, which selects the in-memory
// access mode.
#include "FormatFixture.h"
#include "support/ErrorDescription.h"

TEST_F(FormatTest, CreateNavigatorOnAFileThatCannotBeLoadedFailsAndLeavesNoNavigator)
{
    auto format = CreateFormat();
    IZephFileNavigator* navigator = reinterpret_cast<IZephFileNavigator*>(static_cast<uintptr_t>(0x5A5A5A5A));
    const std::wstring missing = folder.File("missing.ini").wstring();
    EXPECT_EQ(E_FAIL, format->CreateNavigator(missing.c_str(), 0, &navigator));
    EXPECT_EQ(nullptr, navigator) << "the out-pointer is null after a failed Init";
    EXPECT_EQ(L"Cannot read " + missing + L": the file does not exist.",
              ErrorDescription(format.Get(), IID_IZephFileFormat)) << "the description of the navigator's Init";
    format.Reset();
    EXPECT_EQ(S_OK, dll.CanUnloadNow()) << "the navigator whose Init failed was destroyed";
}

TEST_F(FormatTest, CreateNavigatorOnALoadableFileSucceeds)
{
    const auto file = IniFile("[s]\r\nk=v\r\n");
    auto format = CreateFormat();
    Microsoft::WRL::ComPtr<IZephFileNavigator> navigator;
    EXPECT_EQ(S_OK, format->CreateNavigator(file.wstring().c_str(), 0, &navigator));
    EXPECT_NE(nullptr, navigator.Get());
}
