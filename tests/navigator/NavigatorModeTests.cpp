// The access mode is decided from the Windows version the program sees: the
// test prefix tells one test program that it runs on Windows NT 4.0.
#include "navigator/IniAccessMode.h"
#include "navigator/NavigatorFixture.h"

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
