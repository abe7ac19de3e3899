#pragma once
// The plug-in's error model. Inside the plug-in, failures travel as an
// HResultError; each COM operation turns them back into an HRESULT at its one
// boundary, ComBoundary, so that no exception ever leaves a COM operation.
#include <windows.h>

#include <exception>

class HResultError : public std::exception {
public:
    explicit HResultError(HRESULT code) noexcept : code_(code) {}
    HRESULT code() const noexcept { return code_; }
    const char* what() const noexcept override { return "operation failed with an HRESULT"; }

private:
    HRESULT code_;
};

[[noreturn]] inline void ThrowHResult(HRESULT code) { throw HResultError(code); }

inline void ThrowIfFailed(HRESULT code)
{
    if (FAILED(code))
        throw HResultError(code);
}

// For allocators that report failure as a null result (SysAllocString...).
template <class T>
T* ThrowIfNull(T* allocated)
{
    if (allocated == nullptr)
        throw HResultError(E_OUTOFMEMORY);
    return allocated;
}

// The HRESULT that stands for the exception being handled; call only inside
// a catch block. std::bad_alloc becomes E_OUTOFMEMORY.
HRESULT HResultFromCaughtException() noexcept;

// Runs one COM operation's body and turns any exception it throws into the
// HRESULT the operation returns.
template <class Body>
HRESULT ComBoundary(Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return HResultFromCaughtException();
    }
}
