#pragma once
// The calling thread's COM error object: the description of a failure that a
// host fetches with GetErrorInfo once a method of an interface that the
// object names in ISupportErrorInfo has failed.
#include <windows.h>

#include <initializer_list>
#include <string_view>

// Leaves the thread an error object that describes a failure of a method of
// `iid`, made by the class `source` (its ProgID). Never fails: when the error
// object cannot be made, the thread is left with none rather than with one
// from an earlier failure.
void SetErrorObject(REFIID iid, const wchar_t* source, std::u16string_view description) noexcept;

// Leaves the thread without an error object, as a method that succeeded must.
void ClearErrorObject() noexcept;

// ISupportErrorInfo::InterfaceSupportsErrorInfo for an object whose methods
// of the `reporting` interfaces always set or clear the error object.
HRESULT SupportsErrorInfo(REFIID iid, std::initializer_list<const IID*> reporting) noexcept;
