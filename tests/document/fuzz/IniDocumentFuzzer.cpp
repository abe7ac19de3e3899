// Loads arbitrary bytes as an INI file, sets a few keys, saves, and checks
// that a reload finds every key set with the text set, and that saving the
// reloaded document writes the very same bytes again. Bytes that begin with
// the mark of UTF-8 or of UTF-16 BE must be refused instead.
//
// Input layout (what FuzzedDataProvider takes from where): the last byte
// picks the number of writes, 0 to 4; section name, key name and text of
// each write come from the front, each ended by a backslash followed by
// another character; the rest is the file.
//
// The names and texts are made such that a line-based file can hold them,
// since other ones legitimately come back different:
//  - no line feed anywhere: it would split the line (a carriage return is
//    fine, the reader only takes one off right before a line feed);
//  - a key neither empty nor starting with a space, "[" or ";", and without
//    "=": otherwise the line reads back as indentation, a header, a comment,
//    or a different key;
//  - every unit from a byte through the ANSI code page, so that an ANSI file
//    can store it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "document/ByteOrderMark.h"
#include "document/IniFileReader.h"
#include "platform/Text.h"

namespace {

struct Write {
    std::u16string section;
    std::u16string key;
    std::u16string text;
};

// A folder of its own for the run's files, in memory where the system has
// such a folder and lets us write there, else in the temporary folder;
// removed when the run ends.
class RunFolder {
public:
    RunFolder()
    {
        const std::string name = "ini-fuzz-" + std::to_string(std::random_device()());
        std::error_code error;
        path_ = std::filesystem::path("/dev/shm") / name;
        if (!std::filesystem::create_directory(path_, error)) {
            path_ = std::filesystem::temp_directory_path() / name;
            std::filesystem::create_directories(path_);
        }
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    ~RunFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    std::u16string File(const char* name) const { return (path_ / name).u16string(); }

private:
    std::filesystem::path path_;
};

std::u16string TextFrom(const std::string& bytes)
{
    std::u16string text;
    if (!platform::AppendAnsiAsUtf16(bytes, text))
        __builtin_trap();
    text.erase(std::remove(text.begin(), text.end(), u'\n'), text.end());
    return text;
}

std::u16string KeyFrom(const std::string& bytes)
{
    std::u16string key = TextFrom(bytes);
    key.erase(std::remove(key.begin(), key.end(), u'='), key.end());
    if (key.empty() || key[0] == u' ' || key[0] == u'[' || key[0] == u';')
        key.insert(key.begin(), u'k');
    return key;
}

bool SameKey(const Write& left, const Write& right)
{
    return document::FoldedEqual(left.section, right.section) && document::FoldedEqual(left.key, right.key);
}

std::string FileBytes(const std::u16string& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const RunFolder folder;
    static const std::u16string input = folder.File("input.ini");
    static const std::u16string saved = folder.File("saved.ini");
    static const std::u16string savedAgain = folder.File("saved-again.ini");

    FuzzedDataProvider provider(data, size);
    std::vector<Write> writes(provider.ConsumeIntegralInRange<size_t>(0, 4));
    for (Write& write : writes) {
        write.section = TextFrom(provider.ConsumeRandomLengthString(32));
        write.key = KeyFrom(provider.ConsumeRandomLengthString(32));
        write.text = TextFrom(provider.ConsumeRandomLengthString(64));
    }
    const std::string file = provider.ConsumeRemainingBytesAsString();
    std::ofstream(std::filesystem::path(input), std::ios::binary | std::ios::trunc) << file;

    IniFileReader document;
    // A file marked as UTF-8 or as big-endian UTF-16 is refused, whole.
    if (document::IsUnwritten(document::MarkAtStart(file))) {
        Check(!document.Load(input) && document.lastError() == platform::kUnwrittenEncoding);
        return 0;
    }
    Check(document.Load(input));
    for (const Write& write : writes)
        document.SetValue(write.section, write.key, write.text);
    Check(document.Save(saved));

    IniFileReader reloaded;
    Check(reloaded.Load(saved));
    Check(reloaded.unicode() == document.unicode());
    for (size_t i = 0; i < writes.size(); ++i) {
        // The last write to a key decides its text.
        const Write* last = &writes[i];
        for (size_t later = i + 1; later < writes.size(); ++later) {
            if (SameKey(writes[later], writes[i]))
                last = &writes[later];
        }
        std::u16string before, after;
        Check(document.GetValue(writes[i].section, writes[i].key, before) && before == last->text);
        Check(reloaded.GetValue(writes[i].section, writes[i].key, after) && after == last->text);
    }

    // A saved file is already in the form a save gives.
    Check(reloaded.Save(savedAgain));
    Check(FileBytes(saved) == FileBytes(savedAgain));
    return 0;
}
