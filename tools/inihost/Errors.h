#pragma once
#include <windows.h>

#include <string>

// "0x8007000E" and the like.
std::string HexCode(HRESULT hr);

// The system's message text for an HRESULT, without its line end; empty when
// the system has none.
std::wstring SystemMessage(HRESULT hr);
