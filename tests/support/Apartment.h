#pragma once
// The calling thread's COM apartment for the length of a scope.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

class Apartment {
public:
    explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED)
    {
        const HRESULT hr = CoInitializeEx(nullptr, model);
        EXPECT_TRUE(SUCCEEDED(hr)) << "CoInitializeEx failed: " << std::hex << hr;
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() { CoUninitialize(); }
};

// Waits for `handle` as a single-threaded apartment must: pumping messages,
// so calls from other apartments into this one are served meanwhile.
inline bool WaitPumping(HANDLE handle, DWORD milliseconds = 60000)
{
    DWORD index = 0;
    return CoWaitForMultipleHandles(0, milliseconds, 1, &handle, &index) == S_OK;
}
