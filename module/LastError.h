#pragma once
// The calling thread's last Windows error as an HRESULT, for functions that
// report failure through it. A function that failed without setting it still
// yields a failure.
#include <windows.h>

inline HRESULT LastErrorAsHResult() noexcept
{
    const HRESULT error = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(error) ? error : E_FAIL;
}
