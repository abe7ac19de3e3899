#pragma once
// The system's own words for why a call failed.
#include <cstdint>
#include <string>

namespace platform {

// The system's message for a Win32 error code or an HRESULT
// (FormatMessageW), as the system gives it, line end included; empty when it
// has none.
std::u16string SystemMessage(uint32_t code);

}  // namespace platform
