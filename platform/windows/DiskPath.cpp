#include "platform/windows/DiskPath.h"

#include <windows.h>

#include <algorithm>

#include "platform/Text.h"
#include "platform/windows/OpenFlags.h"
#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WideText.h"

namespace platform {
namespace {

bool IsSeparator(char16_t unit) noexcept { return unit == u'\\' || unit == u'/'; }

// Whether `text` begins with `prefix`, letters in either case and "\"
// standing for either separator, as the system reads paths.
bool BeginsWith(std::u16string_view text, std::u16string_view prefix) noexcept
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (prefix[i] == u'\\' ? !IsSeparator(text[i]) : ToLower(text[i]) != ToLower(prefix[i]))
            return false;
    }
    return true;
}

bool SameName(std::u16string_view name, std::u16string_view wanted) noexcept
{
    return name.size() == wanted.size() && BeginsWith(name, wanted);
}

// The path's first component, up to its first separator.
std::u16string_view FirstComponent(std::u16string_view path) noexcept
{
    size_t end = 0;
    while (end < path.size() && !IsSeparator(path[end]))
        ++end;
    return path.substr(0, end);
}

// "X:" and then a separator or nothing.
bool IsDriveRoot(std::u16string_view path) noexcept
{
    return path.size() >= 2 && ((path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z') && path[1] == u':' &&
           (path.size() == 2 || IsSeparator(path[2]));
}

bool IsPipeOrMailslot(std::u16string_view component) noexcept
{
    return SameName(component, u"pipe") || SameName(component, u"mailslot");
}

// A name that the system takes for a device in every folder: what stands
// before its first "." (spaces at its end left out) is CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, or COM or LPT with a digit or a superscript 1, 2 or 3.
bool IsDeviceName(std::u16string_view name) noexcept
{
    name = name.substr(0, name.find(u'.'));
    while (!name.empty() && name.back() == u' ')
        name.remove_suffix(1);
    for (const std::u16string_view device : {u"con", u"prn", u"aux", u"nul", u"conin$", u"conout$"}) {
        if (SameName(name, device))
            return true;
    }
    if (name.size() != 4 || !(BeginsWith(name, u"com") || BeginsWith(name, u"lpt")))
        return false;
    const char16_t number = name[3];
    return (number >= u'0' && number <= u'9') || number == u'\u00B9' || number == u'\u00B2' || number == u'\u00B3';
}

PathRefusal SpellingRefusal(std::u16string_view path) noexcept
{
    if (path.empty())
        return PathRefusal::Empty;
    // What follows the root of a path on a disk: the drive, or the server
    // and share of a UNC path.
    std::u16string_view local = path;
    std::u16string_view unc;
    if (BeginsWith(path, u"\\\\?\\unc\\")) {
        unc = path.substr(8);
    } else if (BeginsWith(path, u"\\\\?\\") || BeginsWith(path, u"\\\\.\\") || BeginsWith(path, u"\\??\\")) {
        const std::u16string_view device = path.substr(4);
        if (IsPipeOrMailslot(FirstComponent(device)))
            return PathRefusal::PipeOrMailslot;
        // Of the device namespaces only "\\?\" and a drive lead to a file.
        if (!BeginsWith(path, u"\\\\?\\") || !IsDriveRoot(device))
            return PathRefusal::DevicePath;
        local = device.substr(2);
    } else if (BeginsWith(path, u"\\\\")) {
        unc = path.substr(2);
    } else if (path.size() >= 2 && path[1] == u':') {
        local = path.substr(2);  // also "C:name", a file in drive C's current folder
    }
    if (!unc.empty()) {
        const std::u16string_view server = FirstComponent(unc);
        const std::u16string_view afterServer = unc.substr(std::min(server.size() + 1, unc.size()));
        if (IsPipeOrMailslot(FirstComponent(afterServer)))
            return PathRefusal::PipeOrMailslot;
        local = unc;
    }
    if (local.find(u':') != std::u16string_view::npos)
        return PathRefusal::Stream;
    size_t nameStart = local.size();
    while (nameStart > 0 && !IsSeparator(local[nameStart - 1]))
        --nameStart;
    return IsDeviceName(local.substr(nameStart)) ? PathRefusal::DeviceName : PathRefusal::None;
}

}  // namespace

PathRefusal DiskFileRefusal(std::u16string_view given, const std::u16string& absolute)
{
    for (const std::u16string_view path : {given, std::u16string_view(absolute)}) {
        const PathRefusal refusal = SpellingRefusal(path);
        if (refusal != PathRefusal::None)
            return refusal;
    }
    const UniqueFileHandle file(CreateFileW(AsWide(absolute), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | kNoImpersonation, nullptr));
    if (file && GetFileType(file.get()) != FILE_TYPE_DISK)
        return PathRefusal::NotOnDisk;
    return PathRefusal::None;
}

}  // namespace platform
