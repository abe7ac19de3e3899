#pragma once
// The version of Windows that the system reports to this program.

namespace platform {

// Whether the system reports itself as Windows NT 4.0 (GetVersionExW, whose
// answer a program's compatibility settings choose). A system that reports
// no version is not taken for it.
bool ReportsWindowsNt4() noexcept;

}  // namespace platform
