#include "navigator/ErrorInfo.h"

#include <cstdio>
#include <string>

#include "HostContract.h"
#include "com/ErrorObject.h"
#include "platform/windows/SystemMessage.h"

namespace {

// The causes a host or an administrator meets most, in plain words.
struct Cause {
    DWORD error;
    const char16_t* words;
};
constexpr Cause kCauses[] = {
    {ERROR_FILE_NOT_FOUND, u"the file does not exist"},
    {ERROR_PATH_NOT_FOUND, u"the folder does not exist"},
    {ERROR_ACCESS_DENIED, u"access is denied"},
    {ERROR_FILE_READ_ONLY, u"the file is read-only"},
    {platform::kFolderInTheWay, u"a folder has that name"},
    {ERROR_SHARING_VIOLATION, u"another program is using the file"},
    {ERROR_LOCK_VIOLATION, u"another program has locked the file"},
    {ERROR_DISK_FULL, u"the disk is full"},
    {ERROR_HANDLE_DISK_FULL, u"the disk is full"},
    {ERROR_WRITE_PROTECT, u"the disk is write-protected"},
    {ERROR_NOT_READY, u"the drive is not ready"},
    {ERROR_INVALID_NAME, u"the name is not a valid file name"},
    {ERROR_FILENAME_EXCED_RANGE, u"the path is too long"},
    {ERROR_BAD_NETPATH, u"the network path cannot be reached"},
    {ERROR_NETNAME_DELETED, u"the network connection was lost"},
    {ERROR_FILE_TOO_LARGE, u"the file is too large"},
    {ERROR_NO_UNICODE_TRANSLATION, u"its text cannot be converted to or from the system's code page"},
    {platform::kUnwrittenEncoding,
     u"it begins with the byte-order mark of UTF-8 or of UTF-16 big-endian, which the plug-in reads but does not "
     u"write"},
    {ERROR_NOT_ENOUGH_MEMORY, u"there is not enough memory"},
    {ERROR_OUTOFMEMORY, u"there is not enough memory"},
};

// The system's message for `code` as a cause: its first letter lower-cased
// and its final full stop and line end removed; empty when it has none.
std::u16string SystemMessageAsCause(DWORD code)
{
    std::u16string message = platform::SystemMessage(code);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ' ||
                                message.back() == u'.'))
        message.pop_back();
    if (!message.empty() && message[0] >= u'A' && message[0] <= u'Z' &&
        (message.size() == 1 || message[1] < u'A' || message[1] > u'Z'))
        message[0] = static_cast<char16_t>(message[0] + (u'a' - u'A'));
    return message;
}

std::u16string CodeText(const char* format, unsigned code)
{
    char text[32];
    std::snprintf(text, sizeof text, format, code);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

// A date as the host passed it: days since 30 December 1899, with as many
// decimals as it has.
std::u16string DateText(double date)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.15g", date);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string CauseOfError(DWORD error)
{
    for (const Cause& cause : kCauses) {
        if (cause.error == error)
            return cause.words;
    }
    std::u16string message = SystemMessageAsCause(error);
    return !message.empty() ? message : CodeText("system error %u", error);
}

std::u16string CauseOfResult(HRESULT result)
{
    if (HRESULT_FACILITY(result) == FACILITY_WIN32)
        return CauseOfError(HRESULT_CODE(result));
    switch (result) {
    case E_OUTOFMEMORY:
        return u"there is not enough memory";
    case E_POINTER:
        return u"the host passed a null pointer";
    case DISP_E_TYPEMISMATCH:
        return u"its type has no text form";
    default:
        break;
    }
    std::u16string message = SystemMessageAsCause(static_cast<DWORD>(result));
    return !message.empty() ? message : CodeText("error 0x%08X", static_cast<unsigned>(result));
}

std::u16string Doing(FileStep step, std::u16string_view path)
{
    static constexpr const char16_t* kVerbs[] = {u"Cannot open ", u"Cannot read ", u"Cannot write to ", u"Cannot save "};
    std::u16string text = kVerbs[static_cast<int>(step)];
    text += path.empty() ? u"\"\"" : path;
    return text;
}

// A name in double quotes, its line breaks and other controls shown as
// escapes, and cut short when it is long.
std::u16string Quoted(std::u16string_view name)
{
    constexpr size_t kShown = 80;
    std::u16string quoted = u"\"";
    for (size_t i = 0; i < name.size() && i < kShown; ++i) {
        const char16_t unit = name[i];
        if (unit == u'\r')
            quoted += u"\\r";
        else if (unit == u'\n')
            quoted += u"\\n";
        else if (unit < 0x20)
            quoted += CodeText("\\x%02X", unit);
        else
            quoted += unit;
    }
    if (name.size() > kShown)
        quoted += u"...";
    quoted += u'"';
    return quoted;
}

std::u16string RefusalText(const RefusedText& refusal)
{
    static constexpr const char16_t* kParts[] = {u"The section name ", u"The key name ", u"The value of key "};
    std::u16string text = kParts[static_cast<int>(refusal.part())];
    text += Quoted(refusal.name());
    text += u" cannot be stored: ";
    text += refusal.reason();
    return text;
}

const wchar_t* SourceOf(REFIID iid) noexcept
{
    return IsEqualIID(iid, IID_IZephFileFormat) ? L"IniPlugin.IniFormat" : L"IniPlugin.IniFile";
}

void Describe(REFIID iid, const std::u16string& description)
{
    SetErrorObject(iid, SourceOf(iid), description + u".");
}

}  // namespace

void ReportResult(HRESULT result, REFIID iid, FileStep step, std::u16string_view path) noexcept
{
    if (SUCCEEDED(result)) {
        ClearErrorObject();
        return;
    }
    try {
        Describe(iid, Doing(step, path) + u": " + CauseOfResult(result));
    } catch (...) {
        ClearErrorObject();
    }
}

HRESULT ReportCaughtFailure(REFIID iid, FileStep step, std::u16string_view path) noexcept
{
    const HRESULT result = HResultFromCaughtException();
    try {
        try {
            throw;
        } catch (const FileStepError& failure) {
            Describe(iid, Doing(failure.step(), path) + u": " + CauseOfError(failure.reason()));
        } catch (const RefusedText& refusal) {
            Describe(iid, RefusalText(refusal));
        } catch (const RefusedPath& refusal) {
            Describe(iid, Doing(FileStep::Open, path) + u": " + refusal.reason());
        } catch (const DateOutsideCalendar& value) {
            Describe(iid, u"The value of key " + Quoted(value.key()) + u" cannot be written as text: the date " +
                              DateText(value.date()) +
                              u" (days since 30 December 1899) lies outside the years 100 to 9999");
        } catch (const UnwritableValue& value) {
            Describe(iid, u"The value of key " + Quoted(value.key()) + u" cannot be written as text: " +
                              CauseOfResult(value.code()));
        } catch (...) {
            Describe(iid, Doing(step, path) + u": " + CauseOfResult(result));
        }
    } catch (...) {
        ClearErrorObject();
    }
    return result;
}
