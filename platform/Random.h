#pragma once
// The system's cryptographic random source. This header includes nothing of
// Windows.
#include <cstddef>

namespace platform {

// Fills `buffer` with `count` random bytes that nobody can predict. False
// when the system could not give them.
[[nodiscard]] bool RandomBytes(void* buffer, size_t count) noexcept;

}  // namespace platform
