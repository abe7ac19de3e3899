#include "platform/windows/Paths.h"

#include <windows.h>

#include "platform/windows/WideText.h"

namespace platform {

std::u16string AbsolutePath(const std::u16string& path)
{
    if (path.empty())
        return path;
    std::u16string absolute(MAX_PATH, u'\0');
    for (;;) {
        const DWORD needed =
            GetFullPathNameW(AsWide(path), static_cast<DWORD>(absolute.size()), AsWide(&absolute[0]), nullptr);
        if (needed == 0)
            return path;
        if (needed < absolute.size()) {
            absolute.resize(needed);
            return absolute;
        }
        absolute.resize(needed);
    }
}

}  // namespace platform
