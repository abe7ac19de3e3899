#include "Errors.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>

#include "com/Bstr.h"
#include "platform/windows/UniqueHandle.h"

std::string HexCode(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::wstring SystemMessage(HRESULT hr)
{
    UniqueLocalString buffer;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(buffer.put()), 0, nullptr);
    std::wstring message(buffer ? buffer.get() : L"", length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

Outcome Described(HRESULT result, IUnknown* object, REFIID iid)
{
    Outcome outcome{result, std::nullopt};
    Microsoft::WRL::ComPtr<ISupportErrorInfo> support;
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    UniqueBstr description;
    if (FAILED(result) && object != nullptr && SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&support))) &&
        support->InterfaceSupportsErrorInfo(iid) == S_OK && GetErrorInfo(0, &info) == S_OK && info &&
        SUCCEEDED(info->GetDescription(description.put())) && description.get() != nullptr)
        outcome.description.emplace(description.get(), SysStringLen(description.get()));
    return outcome;
}
