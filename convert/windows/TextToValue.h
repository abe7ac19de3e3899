#pragma once
// Stores text read from a file into a host value, always as a string: the
// text is never interpreted (a number or a date stays text).
#include <windows.h>
#include <oaidl.h>

// Releases `value`'s old contents and stores `text` (up to its NUL) as a
// VT_BSTR; a null text stores a null string. Returns false when memory runs
// out, leaving `value` a VT_BSTR with a null string.
bool TextToValue(VARIANT& value, const wchar_t* text) noexcept;
