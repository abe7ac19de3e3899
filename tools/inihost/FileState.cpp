#include "FileState.h"

#include "platform/windows/UniqueHandle.h"

FileState StateOf(const std::wstring& path)
{
    FileState state;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return state;
    state.exists = true;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        state.bytes.append(buffer, got);
    return state;
}
