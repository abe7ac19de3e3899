#include <sys/random.h>

#include <cerrno>

#include "platform/Random.h"

namespace platform {

bool RandomBytes(void* buffer, size_t count) noexcept
{
    auto* next = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t got = getrandom(next, count, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        next += got;
        count -= static_cast<size_t>(got);
    }
    return true;
}

}  // namespace platform
