#pragma once
// Host values to the text that a write puts after the equals sign.
#include <windows.h>
#include <oaidl.h>

#include <string>

// The text of `value`. A date (exactly VT_DATE, not by reference) is laid out
// by FormatDate for `formatSelector`; every other value, and a date that
// FormatDate declines, takes the platform's coercion to a string
// (VariantChangeType, no flags), cut at the first NUL; a null string gives
// empty text. `value` is never changed.
// Throws HResultError with the platform's HRESULT when the value cannot be
// copied or has no text form, and with E_OUTOFMEMORY when memory runs out.
std::u16string ValueToText(const VARIANT& value, int formatSelector);
