#include "document/IniFileReader.h"

#include <stdexcept>

#include "platform/Text.h"

namespace {

// The name of a Section as callers give it, in the form its header has.
std::u16string Bracketed(std::u16string_view name)
{
    std::u16string header;
    header.reserve(name.size() + 2);
    header += u'[';
    header += name;
    header += u']';
    return header;
}

}  // namespace

IniFileReader::IniFileReader() = default;

IniFileReader::~IniFileReader() = default;

void IniFileReader::Clear() noexcept
{
    sectionIndex.Clear();
    sectionList.clear();
    addedText.clear();
    loadedText = std::u16string();
    unicode_ = false;
}

bool IniFileReader::GetValue(std::u16string_view section, std::u16string_view key, std::u16string& text) const
{
    const uint32_t position = FindSection(section);
    if (position == document::NameIndex::kAbsent)
        return false;
    const Value* value = sectionList[position].FindValue(key);
    if (value == nullptr)
        return false;
    text = value->text();
    return true;
}

size_t IniFileReader::LookupProbes() const
{
    size_t probes = sectionIndex.LookupProbes();
    for (const Section& section : sectionList)
        probes += section.LookupProbes();
    return probes;
}

void IniFileReader::SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view text)
{
    uint32_t position = FindSection(section);
    if (position == document::NameIndex::kAbsent) {
        // A new Section goes after the last line of the document; its header
        // keeps the name's case as the caller spelled it.
        sectionList.emplace_back().header = addedText.emplace_back(Bracketed(section));
        // Entered under its full position, which the index refuses when it
        // no longer fits the 32 bits that `position` keeps.
        sectionIndex.Enter(sectionList.back().Key(), sectionList.size() - 1, SectionKeyAt{this});
        position = static_cast<uint32_t>(sectionList.size() - 1);
    }
    Section& found = sectionList[position];
    Value* value = found.FindValue(key);
    // A new key keeps the case the caller spelled it in; a key found in the
    // file keeps the form it has there.
    if (value == nullptr)
        found.AddKey(KeyLine(key, text));
    else
        *value = KeyLine(value->name(), text);
}

IniFileReader::Value IniFileReader::KeyLine(std::u16string_view name, std::u16string_view text)
{
    if (name.size() + text.size() >= Value::kLongestLine)
        throw std::length_error("a key line longer than the document holds");
    std::u16string& line = addedText.emplace_back();
    line.reserve(name.size() + 1 + text.size());
    line += name;
    line += u'=';
    line += text;
    return Value::Key(line.data(), name.size(), text.size());
}

IniFileReader::Value IniFileReader::Value::Key(const char16_t* start, size_t nameLength, size_t textLength)
{
    Value value;
    value.start_ = start;
    value.nameLength_ = static_cast<uint32_t>(nameLength);
    value.textLength_ = static_cast<uint32_t>(textLength);
    return value;
}

IniFileReader::Value IniFileReader::Value::Raw(std::u16string_view line)
{
    Value value;
    value.start_ = line.data();
    value.nameLength_ = static_cast<uint32_t>(line.size());
    return value;
}

uint32_t IniFileReader::FindSection(std::u16string_view name) const
{
    return sectionIndex.Find(Bracketed(name), SectionKeyAt{this});
}

std::u16string_view IniFileReader::SectionKeyAt::operator()(size_t position) const
{
    return document->sectionList[position].Key();
}

const document::NameIndex& IniFileReader::Section::Index() const
{
    if (!indexed) {
        size_t keys = 0;
        for (const Value& value : valueList)
            keys += value.rawLine() ? 0 : 1;
        valueIndex.Reserve(keys);
        // In file order, so that the last of several equal keys wins. A
        // failure part way leaves entries that the next try enters again.
        for (size_t position = 0; position < valueList.size(); ++position) {
            if (!valueList[position].rawLine())
                valueIndex.Enter(valueList[position].name(), position, ValueNameAt{this});
        }
        indexed = true;
    }
    return valueIndex;
}

size_t IniFileReader::Section::LookupProbes() const { return Index().LookupProbes(); }

const IniFileReader::Value* IniFileReader::Section::FindValue(std::u16string_view key) const
{
    const uint32_t position = Index().Find(key, ValueNameAt{this});
    return position == document::NameIndex::kAbsent ? nullptr : &valueList[position];
}

IniFileReader::Value* IniFileReader::Section::FindValue(std::u16string_view key)
{
    return const_cast<Value*>(static_cast<const Section*>(this)->FindValue(key));
}

IniFileReader::Value& IniFileReader::Section::AddKey(const Value& key)
{
    // After the last line of the Section, blank lines and comments included.
    Index();
    valueList.push_back(key);
    valueIndex.Enter(key.name(), valueList.size() - 1, ValueNameAt{this});
    return valueList.back();
}

std::u16string_view IniFileReader::Section::Key() const noexcept
{
    std::u16string_view key = header;
    while (!key.empty() && platform::IsSpace(key.front()))
        key.remove_prefix(1);
    while (!key.empty() && platform::IsSpace(key.back()))
        key.remove_suffix(1);
    return key;
}
