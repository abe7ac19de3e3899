#include "platform/windows/SystemMessage.h"

#include <windows.h>

#include <string_view>

#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WideText.h"

namespace platform {

std::u16string SystemMessage(uint32_t code)
{
    UniqueLocalString buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    return std::u16string(AsU16(std::wstring_view(buffer ? buffer.get() : L"", length)));
}

}  // namespace platform
