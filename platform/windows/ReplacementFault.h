#pragma once
// Faults a test can make a replacement meet, at the one moment that matters
// most: between the two steps in which the system puts a new version in the
// place of the old. The plug-in never sets one.
namespace platform {

enum class ReplacementFault {
    None,
    // The old file is gone and the process ends with kStoppedBetweenSteps,
    // as one killed inside ReplaceFileW.
    StopBetweenSteps,
    // The old file is gone, ReplaceFileW reports that it could not move the
    // new version in, and the move that follows fails too.
    MoveFails,
};

constexpr unsigned kStoppedBetweenSteps = 97;

void SetReplacementFaultForTesting(ReplacementFault fault) noexcept;

}  // namespace platform
