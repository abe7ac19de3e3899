// Names made to collide in the document's index: a file of them costs what
// an ordinary file costs, unless the process hashes with the very key they
// were made for. The test sets a key, finds names for it, and loads them
// under that key, under another, and under the process's own.
#include <string>
#include <vector>

#include "document/DocumentFixture.h"
#include "document/NameIndex.h"

namespace {

using document::NameHashKey;

constexpr NameHashKey kCraftingKey{0x0123456789ABCDEFu, 0x0F1E2D3C4B5A6978u};
constexpr NameHashKey kOtherKey{0x243F6A8885A308D3u, 0x13198A2E03707344u};

constexpr unsigned kNames = 2000;
// Names whose hashes begin with this many zero bits have their home slots
// in the first 64th of the table, and linear probing lines them up in one
// run: each is then found only past about half of the others.
constexpr int kSharedBits = 6;

// Restores the process's key when the test ends, however it ends.
class KeyInUse {
public:
    KeyInUse() : process_(document::ProcessNameHashKey()) {}
    ~KeyInUse() { document::SetNameHashKeyForTesting(process_); }
    const NameHashKey& process() const { return process_; }

private:
    const NameHashKey process_;
};

std::u16string Numbered(const char* prefix, unsigned number)
{
    const std::string text = prefix + std::to_string(number);
    return std::u16string(text.begin(), text.end());
}

// What the index holds for name number `number`: a section's header with
// its brackets, or a key's name.
std::u16string Indexed(bool sections, unsigned number)
{
    return sections ? u"[" + Numbered("s", number) + u"]" : Numbered("k", number);
}

// The first kNames numbers whose names collide under `key`.
std::vector<unsigned> CollidingNumbers(bool sections, const NameHashKey& key)
{
    std::vector<unsigned> numbers;
    for (unsigned number = 0; numbers.size() < kNames; ++number) {
        if (document::FoldedHash(Indexed(sections, number), key) >> (32 - kSharedBits) == 0)
            numbers.push_back(number);
    }
    return numbers;
}

// One section of keys, or as many sections of one key each.
std::string FileOf(bool sections, const std::vector<unsigned>& numbers)
{
    std::string text = sections ? "" : "[s]\r\n";
    for (const unsigned number : numbers) {
        const std::string name = std::to_string(number);
        text += sections ? "[s" + name + "]\r\nk=v\r\n" : "k" + name + "=v\r\n";
    }
    return text;
}

}  // namespace

TEST_F(DocumentTest, NamesMadeToCollideCostOnlyUnderTheKeyTheyWereMadeFor)
{
    const KeyInUse restore;
    struct Row {
        const char* key;
        NameHashKey value;
        bool crowded;
    };
    const Row rows[] = {
        {"the key the names were made for", kCraftingKey, true},
        {"another key", kOtherKey, false},
        {"the process's own key", restore.process(), false},
    };
    for (const bool sections : {false, true}) {
        const std::vector<unsigned> numbers = CollidingNumbers(sections, kCraftingKey);
        const std::string text = FileOf(sections, numbers);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(sections ? "sections" : "keys") + " under " + row.key);
            document::SetNameHashKeyForTesting(row.value);
            LoadBytes(text);
            const size_t probes = document.LookupProbes();
            if (row.crowded)
                EXPECT_GT(probes, size_t{kNames} * kNames / 4) << "the names crowd into one run of slots";
            else
                EXPECT_LT(probes, size_t{4} * kNames) << "the names spread over the table";
            size_t found = 0;
            for (const unsigned number : numbers) {
                found += sections ? Lookup(Numbered("S", number), u"K") == "v"
                                  : Lookup(u"S", Numbered("K", number)) == "v";
            }
            EXPECT_EQ(kNames, found) << "every name is found";
        }
    }
}
