#pragma once
// What every open of a file by the plug-in adds to its own flags.
#include <windows.h>

namespace platform {

// Should a path lead to a named pipe after all, its server may learn who
// the client is but never act as the host's user: the security quality of
// service is identification, not the impersonation that an open grants by
// default.
constexpr DWORD kNoImpersonation = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

}  // namespace platform
