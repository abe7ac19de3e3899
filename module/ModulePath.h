#pragma once
// The module's own file, as the registration steps need it.
#include <windows.h>

#include <string>
#include <string_view>

// The module's full path, read into a buffer of MAX_PATH units. A path that
// fills the buffer may have been cut, so it fails with
// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER); throws HResultError.
std::u16string ModuleFileName(HMODULE module);

// `text` with every single quote doubled, as a quoted registrar string needs.
std::u16string DoubledQuotes(std::u16string_view text);
