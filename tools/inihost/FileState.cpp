#include "FileState.h"

#include "platform/windows/UniqueHandle.h"

FileState StateOf(const std::wstring& path)
{
    FileState state;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    if (!file || !GetFileInformationByHandle(file.get(), &information))
        return state;
    state.exists = true;
    state.volume = information.dwVolumeSerialNumber;
    state.number = (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        state.bytes.append(buffer, got);
    return state;
}

FileChange ChangeBetween(const FileState& before, const FileState& after)
{
    if (before.exists && after.exists && (before.volume != after.volume || before.number != after.number))
        return FileChange::Replaced;
    if (before.exists != after.exists || before.bytes != after.bytes)
        return FileChange::Written;
    return FileChange::None;
}
