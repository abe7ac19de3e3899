// inihost: plays the host of the INI plug-in, to try it on real files, to
// script checks and to see what it writes.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Errors.h"
#include "FileState.h"
#include "Host.h"
#include "Plugin.h"
#include "RecordArray.h"
#include "Session.h"
#include "Utf8.h"
#include "Values.h"
#include "Version.h"

namespace {

enum ExitCode { kSucceeded = 0, kPluginFailed = 1, kUsageError = 2, kUnavailable = 3, kNoSuchFile = 4 };

constexpr char kUsage[] =
    "usage:\n"
    "  inihost [--dll PATH] info\n"
    "  inihost [--dll PATH] read FILE [--first] SECTION KEY [SECTION KEY ...]\n"
    "  inihost [--dll PATH] write FILE [--first] [--format N] [--no-commit] SECTION KEY VALUE [...]\n"
    "  inihost [--dll PATH] run\n"
    "  inihost [--dll PATH] --version\n"
    "  inihost --help\n"
    "Options may stand anywhere on the line. Without --dll the registered plug-in is used.\n"
    "VALUE is text, or int:N, real:X, bool:true|false, date:YYYY-MM-DD[THH:MM[:SS]], text:T\n"
    "Exit status: 0 every plug-in call succeeded, 1 a call failed, 2 usage error,\n"
    "3 the plug-in cannot be loaded, 4 the FILE to read does not exist.\n";

struct UsageError {
    std::string message;
};

void Print(const std::wstring& line) { std::cout << ToUtf8(line) << '\n'; }

// Prints a failed plug-in call, and under it the description of the error
// object it left; true when it failed.
bool Failed(const char* call, const Outcome& outcome)
{
    if (SUCCEEDED(outcome.result))
        return false;
    std::cout << call << " failed: " << HexCode(outcome.result) << ' ' << ToUtf8(SystemMessage(outcome.result)) << '\n';
    if (outcome.description)
        std::cout << "  " << ToUtf8(*outcome.description) << '\n';
    return true;
}

// The outcome of a call of the open navigator.
Outcome OfNavigator(const Host& host, HRESULT result)
{
    return Described(result, host.navigator(), IID_IZephFileNavigator);
}

// The options that hold for every command, taken from anywhere on the line.
struct GlobalOptions {
    std::optional<std::wstring> dll;
    bool help = false;
    bool version = false;
    std::vector<std::wstring> rest;  // the command and what follows it
};

GlobalOptions TakeGlobalOptions(const std::vector<std::wstring>& args)
{
    GlobalOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--dll") {
            if (++i == args.size())
                throw UsageError{"--dll needs a PATH"};
            if (options.dll)
                throw UsageError{"--dll is given twice"};
            options.dll = args[i];
        } else if (args[i] == L"--help") {
            options.help = true;
        } else if (args[i] == L"--version") {
            options.version = true;
        } else {
            options.rest.push_back(args[i]);
        }
    }
    return options;
}

// The options of read and write.
struct Options {
    bool first = false;
    bool commit = true;
    LONG format = 0;
    std::vector<std::wstring> operands;
};

Options ParseOptions(std::vector<std::wstring> args, bool forWrite)
{
    Options options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--first") {
            options.first = true;
        } else if (forWrite && args[i] == L"--no-commit") {
            options.commit = false;
        } else if (forWrite && args[i] == L"--format") {
            if (++i == args.size())
                throw UsageError{"--format needs a number"};
            wchar_t* end = nullptr;
            options.format = static_cast<LONG>(std::wcstol(args[i].c_str(), &end, 10));
            if (args[i].empty() || *end != L'\0')
                throw UsageError{"--format needs a number"};
        } else {
            options.operands.push_back(args[i]);
        }
    }
    return options;
}

// The `found` that a record carries into a call: the plug-in writes 0 or 1
// into every record it tries, so a record that still holds this one was not
// tried.
constexpr LONG kNotTried = -1;

std::wstring Label(const VariableRecord& record)
{
    return L"[" + std::wstring(record.sectionName ? record.sectionName : L"") + L"] " +
           std::wstring(record.keyName ? record.keyName : L"");
}

int Info(const Host& host)
{
    const FormatInfo info = host.Info();
    if (Failed("GetFormatInfo", Described(info.result, host.format(), IID_IZephFileFormat)))
        return kPluginFailed;
    Print(L"vendor: " + info.vendor.value_or(L""));
    Print(L"description: " + info.description.value_or(L""));
    Print(L"extensions: " + info.extensions.value_or(L""));
    return kSucceeded;
}

// The plug-in's version, read from the version resource of the DLL that
// serves its format object.
int Version(const Host& host)
{
    const std::wstring path = ModulePathOf(host.format());
    const std::wstring version = FileVersionOf(path);
    Print(L"IniPlugin " + (version.empty() ? L"(no version resource)" : version) + L" (" + path + L")");
    return kSucceeded;
}

// A file that is not there: the plug-in would read every pair as not found.
bool IsMissing(const std::wstring& file)
{
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES)
        return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

int Read(Host& host, const std::wstring& file, const Options& options)
{
    if (options.operands.empty() || options.operands.size() % 2 != 0)
        throw UsageError{"read takes SECTION KEY pairs"};
    if (IsMissing(file)) {
        std::cerr << "inihost: " << ToUtf8(file) << " does not exist\n";
        return kNoSuchFile;
    }
    if (Failed("CreateNavigator", host.Open(file.c_str(), false)))
        return kPluginFailed;
    RecordArray records;
    for (size_t i = 0; i < options.operands.size(); i += 2) {
        VARIANT empty;
        VariantInit(&empty);
        records.Add(options.operands[i], options.operands[i + 1], empty, kNotTried);
    }
    const HRESULT hr = host.navigator()->ReadVariables(0, options.first, 0, static_cast<LONG>(records.size()),
                                                        records.data());
    if (Failed("ReadVariables", OfNavigator(host, hr)))
        return kPluginFailed;
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].found == 1)
            Print(Label(records[i]) + L" = " + ValueForDisplay(records[i].value));
        else
            Print(Label(records[i]) + (records[i].found == kNotTried ? L" (not tried)" : L" (not found)"));
    }
    return kSucceeded;
}

// What a write that was not committed did to the file, seen from the file.
void PrintUncommitted(const FileState& before, const FileState& after)
{
    switch (ChangeBetween(before, after)) {
    case FileChange::Replaced:
        Print(L"committed by the plug-in itself: with --first, a write to a key that already holds a value is "
              L"committed at once");
        break;
    case FileChange::Written:
        Print(L"not committed, but the file already holds the writes: the system's private-profile functions "
              L"wrote them at once; the plug-in's own rewrite of the file did not run");
        break;
    case FileChange::None:
        Print(L"not committed: the file is unchanged; the pending writes are discarded with the navigator");
        break;
    }
}

int Write(Host& host, const std::wstring& file, const Options& options)
{
    if (options.operands.empty() || options.operands.size() % 3 != 0)
        throw UsageError{"write takes SECTION KEY VALUE triples"};
    RecordArray records;
    for (size_t i = 0; i < options.operands.size(); i += 3) {
        VARIANT value;
        try {
            value = ValueFromArgument(options.operands[i + 2]);
        } catch (const std::invalid_argument& error) {
            throw UsageError{error.what()};
        }
        records.Add(options.operands[i], options.operands[i + 1], value, kNotTried);
    }
    if (Failed("CreateNavigator", host.Open(file.c_str(), false)))
        return kPluginFailed;
    const FileState before = StateOf(file);
    const Outcome written = OfNavigator(host, host.navigator()->WriteVariables(
                                                    0, options.first, 0, static_cast<LONG>(records.size()),
                                                    records.data(), options.format));
    for (size_t i = 0; i < records.size(); ++i) {
        const LONG found = records[i].found;
        Print(Label(records[i]) + (found == 1 ? L": written" : found == kNotTried ? L": not tried" : L": not written"));
    }
    if (Failed("WriteVariables", written) || !options.commit) {
        PrintUncommitted(before, StateOf(file));
        return FAILED(written.result) ? kPluginFailed : kSucceeded;
    }
    if (Failed("Commit", OfNavigator(host, host.navigator()->Commit())))
        return kPluginFailed;
    Print(L"committed");
    return kSucceeded;
}

// Reaches the plug-in, the registered one or the DLL at `dll`, and runs
// `command` as its host.
template <class Command>
int AsHost(const std::optional<std::wstring>& dll, Command&& command)
{
    std::optional<Plugin> plugin;
    if (dll)
        plugin.emplace(*dll);
    else
        plugin.emplace();
    Host host(*plugin);
    if (host.creation() == REGDB_E_CLASSNOTREG) {
        std::cerr << "IniPlugin is not registered: run regsvr32 IniPlugin.dll, or pass --dll PATH\n";
        return kUnavailable;
    }
    if (FAILED(host.creation())) {
        std::cerr << "cannot create the plug-in's format object: " << HexCode(host.creation()) << ' '
                  << ToUtf8(SystemMessage(host.creation())) << '\n';
        return kUnavailable;
    }
    return command(host);
}

int Main(const std::vector<std::wstring>& args)
{
    const GlobalOptions global = TakeGlobalOptions(args);
    const std::vector<std::wstring>& rest = global.rest;
    if (global.help) {
        std::cout << kUsage;
        return kSucceeded;
    }
    if (global.version) {
        if (!rest.empty())
            throw UsageError{"--version takes no command"};
        std::cout << "inihost " << InihostVersion() << '\n';
        return AsHost(global.dll, Version);
    }
    if (rest.empty())
        throw UsageError{"no command given"};
    const std::wstring& command = rest[0];
    const bool needsFile = command == L"read" || command == L"write";
    if (command != L"info" && command != L"run" && !needsFile)
        throw UsageError{"unknown command " + ToUtf8(command)};
    if (needsFile && rest.size() < 2)
        throw UsageError{ToUtf8(command) + " needs a FILE"};
    const Options options = ParseOptions(std::vector<std::wstring>(rest.begin() + (needsFile ? 2 : 1), rest.end()),
                                         command == L"write");
    if ((command == L"info" || command == L"run") && !options.operands.empty())
        throw UsageError{ToUtf8(command) + " takes no operands"};
    return AsHost(global.dll, [&](Host& host) {
        if (command == L"info")
            return Info(host);
        if (command == L"read")
            return Read(host, rest[1], options);
        if (command == L"write")
            return Write(host, rest[1], options);
        RunSession(host, std::cin, std::cout);
        return static_cast<int>(kSucceeded);
    });
}

// Holds a single-threaded apartment, as a host's user-interface thread does.
class Apartment {
public:
    Apartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Binary standard streams: UTF-8 out, and no CR LF translation in JSON.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    Apartment apartment;
    if (FAILED(apartment.result())) {
        std::cerr << "cannot start COM: " << HexCode(apartment.result()) << '\n';
        return kUnavailable;
    }
    try {
        return Main(std::vector<std::wstring>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "inihost: " << error.message << '\n' << kUsage;
        return kUsageError;
    } catch (const PluginUnavailable& error) {
        std::cerr << "inihost: " << ToUtf8(error.message) << '\n';
        return kUnavailable;
    } catch (const std::exception& error) {
        std::cerr << "inihost: " << error.what() << '\n';
        return kPluginFailed;
    }
}
