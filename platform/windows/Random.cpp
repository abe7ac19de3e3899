#include <windows.h>
#include <bcrypt.h>

#include "platform/Random.h"

namespace platform {

bool RandomBytes(void* buffer, size_t count) noexcept
{
    return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer), static_cast<ULONG>(count),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

}  // namespace platform
