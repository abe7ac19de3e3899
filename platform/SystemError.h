#pragma once
// Why a call to the system failed, in the system's own terms: a Win32 error
// code on Windows, an errno value elsewhere; 0 stands for no failure. The
// portable core only carries these codes from the failing call to its caller;
// the Windows layers put them into words. This header includes nothing of
// Windows.
#include <cerrno>
#include <cstdint>

namespace platform {

using SystemError = std::uint32_t;

// Text that cannot be converted between UTF-16 and the ANSI code page, a
// folder that stands where a file is to be saved, and a file in an encoding
// that the document reads but does not write back.
#ifdef _WIN32
inline constexpr SystemError kUnconvertibleText = 1113;  // ERROR_NO_UNICODE_TRANSLATION
inline constexpr SystemError kFolderInTheWay = 336;      // ERROR_DIRECTORY_NOT_SUPPORTED
inline constexpr SystemError kUnwrittenEncoding = 1630;  // ERROR_UNSUPPORTED_TYPE
#else
inline constexpr SystemError kUnconvertibleText = EILSEQ;
inline constexpr SystemError kFolderInTheWay = EISDIR;
inline constexpr SystemError kUnwrittenEncoding = ENOTSUP;
#endif

}  // namespace platform
