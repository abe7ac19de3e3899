#include "com/ComError.h"

#include <new>

HRESULT HResultFromCaughtException() noexcept
{
    try {
        throw;
    } catch (const HResultError& error) {
        return error.code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
