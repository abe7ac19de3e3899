#pragma once
// How every navigator of the process reaches its files, decided once from the
// operating system's version by the first Init: InMemory on Windows NT 4.0,
// whose private-profile functions the in-memory path stands in for on UTF-16
// files, ProfileApi everywhere else.
enum class IniAccessMode : int {
    ProfileApi = 0,
    InMemory = 1,
    Undetermined = 2,
};

IniAccessMode CurrentAccessMode() noexcept;

// Decides the mode if it is still Undetermined and returns it. Concurrent
// first calls compute the same value, so whichever stores it first agrees
// with the others.
IniAccessMode DecideAccessMode() noexcept;
