#pragma once
// How the navigator tells a host why an operation failed. The HRESULTs stay
// what they are; in addition each operation leaves the thread's COM error
// object describing its failure in plain words, naming the file and the
// cause ("Cannot save C:\data\a.ini: the disk is full."), and leaves none
// when it succeeds.
#include <windows.h>

#include <string_view>

#include "com/ComError.h"
#include "platform/SystemError.h"

// What an operation was doing with its file.
enum class FileStep { Open, Read, Write, Save };

// A step on the file that failed for a reason the system gave; E_FAIL.
class FileStepError : public HResultError {
public:
    FileStepError(FileStep step, platform::SystemError reason) noexcept
        : HResultError(E_FAIL), step_(step), reason_(reason)
    {
    }
    FileStep step() const noexcept { return step_; }
    platform::SystemError reason() const noexcept { return reason_; }

private:
    FileStep step_;
    platform::SystemError reason_;
};

// Which text of a write the file cannot hold.
enum class RefusedPart { SectionName, KeyName, Value };

// A name or a value that the file cannot hold; E_INVALIDARG. `name` is the
// refused name, or for a value the name of its key; it must stay valid until
// the operation returns (the host's strings do). `reason` says why, in words
// that follow "cannot be stored: ": a string literal such as
// u"it contains a line break".
class RefusedText : public HResultError {
public:
    RefusedText(RefusedPart part, std::u16string_view name, const char16_t* reason) noexcept
        : HResultError(E_INVALIDARG), part_(part), name_(name), reason_(reason)
    {
    }
    RefusedPart part() const noexcept { return part_; }
    std::u16string_view name() const noexcept { return name_; }
    const char16_t* reason() const noexcept { return reason_; }

private:
    RefusedPart part_;
    std::u16string_view name_;
    const char16_t* reason_;
};

// A path that names no file on a disk; E_INVALIDARG. `reason` says why, in
// words that follow "Cannot open PATH: ": a string literal such as
// u"the path names a pipe or a mailslot, not a file".
class RefusedPath : public HResultError {
public:
    explicit RefusedPath(const char16_t* reason) noexcept : HResultError(E_INVALIDARG), reason_(reason) {}
    const char16_t* reason() const noexcept { return reason_; }

private:
    const char16_t* reason_;
};

// A value that has no text form, with the platform's HRESULT. `key`, the
// name of its key, must stay valid until the operation returns.
class UnwritableValue : public HResultError {
public:
    UnwritableValue(HRESULT code, std::u16string_view key) noexcept : HResultError(code), key_(key) {}
    std::u16string_view key() const noexcept { return key_; }

private:
    std::u16string_view key_;
};

// A date value whose day lies outside the years 100 to 9999, where the
// platform has no text for it; carries the platform's HRESULT and the date
// (an OLE Automation date) as the host passed it.
class DateOutsideCalendar : public UnwritableValue {
public:
    DateOutsideCalendar(HRESULT code, std::u16string_view key, double date) noexcept
        : UnwritableValue(code, key), date_(date)
    {
    }
    double date() const noexcept { return date_; }

private:
    double date_;
};

// The host's zero-terminated text as a view; a null pointer reads as empty.
inline std::u16string_view HostText(const wchar_t* text) noexcept
{
    return text != nullptr ? std::u16string_view(reinterpret_cast<const char16_t*>(text)) : std::u16string_view();
}

// Describes a failed result of an operation of `iid` that was doing `step`
// to the file `path`, or clears the error object after a success.
void ReportResult(HRESULT result, REFIID iid, FileStep step, std::u16string_view path) noexcept;

// Describes the exception being handled (call only inside a catch block) and
// returns its HRESULT, as HResultFromCaughtException does.
HRESULT ReportCaughtFailure(REFIID iid, FileStep step, std::u16string_view path) noexcept;

// Runs the body of one navigator operation of `iid`, like ComBoundary, and
// leaves the thread's error object describing what went wrong, or none.
// `step` and `path` say what the operation does to which file, for failures
// that do not describe themselves.
template <class Body>
HRESULT ReportingBoundary(REFIID iid, FileStep step, std::u16string_view path, Body&& body) noexcept
{
    HRESULT result;
    try {
        result = body();
    } catch (...) {
        return ReportCaughtFailure(iid, step, path);
    }
    ReportResult(result, iid, step, path);
    return result;
}
