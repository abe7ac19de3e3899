#pragma once
#include <windows.h>
#include <unknwn.h>

#include <optional>
#include <string>

// "0x8007000E" and the like.
std::string HexCode(HRESULT hr);

// The system's message text for an HRESULT, without its line end; empty when
// the system has none.
std::wstring SystemMessage(HRESULT hr);

// What a plug-in call answered: its HRESULT and, when it failed, the
// description of the error object it left.
struct Outcome {
    HRESULT result;
    std::optional<std::wstring> description;
};

// The outcome of a call of `object`'s interface `iid`: when it failed and
// the object says that `iid` reports through error objects, the thread's
// error object is fetched (which takes it off the thread) for its description.
Outcome Described(HRESULT result, IUnknown* object, REFIID iid);
