#pragma once
// What the document tests share: a document loaded from bytes written to a
// file in a fresh folder, what it finds, and the bytes it saves.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "document/IniFileReader.h"
#include "support/TestFiles.h"

// UTF-16 text as readable ASCII for messages: other units as \u{hex}.
inline std::string Readable(std::u16string_view text)
{
    std::string readable;
    for (const char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            readable += static_cast<char>(unit);
        } else {
            char escaped[12];
            snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(unit));
            readable += escaped;
        }
    }
    return readable;
}

// Bytes widened one to one into UTF-16 units.
inline std::u16string Widened(std::string_view bytes)
{
    std::u16string units;
    for (const char byte : bytes)
        units += static_cast<char16_t>(static_cast<unsigned char>(byte));
    return units;
}

// Bytes as readable text for messages.
inline std::string ReadableBytes(std::string_view bytes)
{
    std::string readable;
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x20 && value < 0x7F) {
            readable += byte;
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", value);
            readable += escaped;
        }
    }
    return readable;
}

class DocumentTest : public ::testing::Test {
protected:
    // Writes the bytes to the file and loads the document from it.
    void LoadBytes(std::string_view bytes)
    {
        WriteBytes(file, bytes);
        ASSERT_TRUE(document.Load(path)) << "loading " << ReadableBytes(bytes);
    }

    // What a lookup finds, as readable text, or "<absent>".
    std::string Lookup(std::u16string_view section, std::u16string_view key) const
    {
        std::u16string text;
        return document.GetValue(section, key, text) ? Readable(text) : std::string("<absent>");
    }

    // Saves the document to its file and returns the file's bytes.
    std::string SavedBytes()
    {
        EXPECT_TRUE(document.Save(path)) << "saving " << file.string();
        return ReadBytes(file);
    }

    TempFolder folder;
    const std::filesystem::path file = folder.File("test.ini");
    const std::u16string path = U16Path(file);
    IniFileReader document;
};
