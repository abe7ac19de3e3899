#pragma once
// Whether a path names a file on a disk. Paths come from the host's
// documents, so anyone may have written one: opening a named pipe connects
// to whoever serves it, who may then act as the host's user, and a device (a
// console, a serial port, a volume) answers reads and writes in its own way.
#include <string>
#include <string_view>

namespace platform {

enum class PathRefusal {
    None,            // a file or folder on a disk, or nothing yet
    Empty,           // no path at all
    DevicePath,      // \\.\, \??\, or a \\?\ path that is neither a drive's nor a UNC path
    PipeOrMailslot,  // the pipe or mailslot namespace, of this machine or of another one
    DeviceName,      // CON, NUL, COM1 and the like, which name devices in every folder
    Stream,          // a stream of a file: a colon after the drive
    NotOnDisk,       // opens something other than a file or folder on a disk
};

// Why the path, as the host spelled it (`given`) and as AbsolutePath made it
// (`absolute`), names no file on a disk, or None. The spellings are looked
// at first, so that a pipe or a device is never opened; then, for what they
// cannot tell (a link that leads to a device), what a handle opened for
// attributes only reaches. A path to nothing, or into a missing folder,
// passes: it names no file yet. So does a path that cannot be opened for
// its attributes, which every later open meets as well.
PathRefusal DiskFileRefusal(std::u16string_view given, const std::u16string& absolute);

}  // namespace platform
