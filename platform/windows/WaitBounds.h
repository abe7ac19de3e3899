#pragma once
// How long the plug-in waits for others: for the lock that its navigators
// share, and for another program's momentary use of an INI file. Every wait
// is bounded, so that a holder that stops (a process halted in a debugger,
// a machine that went away) costs a host a bound, not its life.
#include <windows.h>

#include <chrono>

namespace platform {

// A commit, and another program's lock or open handle that stands in the
// way of a load or a replacement: 10 seconds.
constexpr std::chrono::milliseconds kCommitWaitBound{10000};
// A read, which reads anyway once the bound has passed, and an immediate
// write, whose value then waits for the commit: 1 second.
constexpr std::chrono::milliseconds kReadWaitBound{1000};

enum class WaitKind { Read, Commit };

// The end of one bounded wait, counted from its construction.
class Deadline {
public:
    explicit Deadline(WaitKind kind) noexcept;
    // Milliseconds left, 0 once the bound has passed.
    DWORD Remaining() const noexcept;

private:
    ULONGLONG end_;
};

// Sets every bound to `bound` for tests that hold a lock or a file on
// purpose; a zero bound restores the bounds above.
void SetWaitBoundsForTesting(std::chrono::milliseconds bound) noexcept;

}  // namespace platform
