#include "module/RegistrarScript.h"

#include <array>

#include "com/ComError.h"
#include "platform/Text.h"

namespace {

[[noreturn]] void Malformed() { ThrowHResult(DISP_E_EXCEPTION); }

bool SameText(std::u16string_view a, std::u16string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (platform::ToLower(a[i]) != platform::ToLower(b[i]))
            return false;
    }
    return true;
}

// Replaces every %NAME% by its text and every %% by one percent sign.
std::u16string Expand(std::u16string_view script, const RegistrarReplacements& replacements)
{
    std::u16string expanded;
    expanded.reserve(script.size());
    size_t position = 0;
    for (;;) {
        const size_t open = script.find(u'%', position);
        if (open == std::u16string_view::npos) {
            expanded.append(script.substr(position));
            return expanded;
        }
        const size_t close = script.find(u'%', open + 1);
        if (close == std::u16string_view::npos)
            Malformed();
        expanded.append(script.substr(position, open - position));
        const std::u16string_view name = script.substr(open + 1, close - open - 1);
        if (name.empty()) {
            expanded.push_back(u'%');
        } else {
            const RegistrarReplacement* found = nullptr;
            for (const RegistrarReplacement& replacement : replacements) {
                if (SameText(replacement.name, name))
                    found = &replacement;
            }
            if (found == nullptr)
                Malformed();
            expanded.append(found->text);
        }
        position = close + 1;
    }
}

struct Token {
    std::u16string text;
    bool quoted = false;
};

std::vector<Token> Tokenize(std::u16string_view script)
{
    std::vector<Token> tokens;
    size_t position = 0;
    for (;;) {
        while (position < script.size() && platform::IsSpace(script[position]))
            ++position;
        if (position == script.size())
            return tokens;
        Token token;
        if (script[position] == u'\'') {
            token.quoted = true;
            for (++position;; ++position) {
                if (position == script.size())
                    Malformed();
                if (script[position] == u'\'') {
                    if (position + 1 < script.size() && script[position + 1] == u'\'')
                        ++position;
                    else
                        break;
                }
                token.text.push_back(script[position]);
            }
            ++position;
        } else {
            const size_t start = position;
            while (position < script.size() && !platform::IsSpace(script[position]))
                ++position;
            token.text.assign(script.substr(start, position - start));
        }
        tokens.push_back(std::move(token));
    }
}

struct RootName {
    std::u16string_view shortName;
    std::u16string_view longName;
    HKEY key;
};

HKEY RootKeyNamed(const Token& token)
{
    static const std::array<RootName, 5> roots = {{
        {u"HKCR", u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {u"HKCU", u"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {u"HKLM", u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {u"HKU", u"HKEY_USERS", HKEY_USERS},
        {u"HKCC", u"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    }};
    if (!token.quoted) {
        for (const RootName& root : roots) {
            if (SameText(token.text, root.shortName) || SameText(token.text, root.longName))
                return root.key;
        }
    }
    Malformed();
}

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::vector<RegistrarRootBlock> Script()
    {
        std::vector<RegistrarRootBlock> blocks;
        while (next_ < tokens_.size()) {
            RegistrarRootBlock block;
            block.root = RootKeyNamed(Take());
            Expect(u"{");
            block.entries = Block();
            blocks.push_back(std::move(block));
        }
        return blocks;
    }

private:
    // The entries of a block whose opening brace has been read, up to and
    // including its closing brace.
    std::vector<RegistrarEntry> Block()
    {
        std::vector<RegistrarEntry> entries;
        while (!NextIs(u"}"))
            entries.push_back(Entry());
        Take();
        return entries;
    }

    RegistrarEntry Entry()
    {
        RegistrarEntry entry;
        Token first = Take();
        if (IsWord(first, u"val")) {
            entry.kind = RegistrarEntry::Kind::Value;
            entry.name = Name(Take());  // an empty name is the default value
            Expect(u"=");
            entry.text = StringValue();
            return entry;
        }
        if (IsWord(first, u"NoRemove"))
            entry.flag = RegistrarEntry::Flag::NoRemove;
        else if (IsWord(first, u"ForceRemove"))
            entry.flag = RegistrarEntry::Flag::ForceRemove;
        else if (IsWord(first, u"Delete"))
            entry.flag = RegistrarEntry::Flag::Delete;
        if (entry.flag != RegistrarEntry::Flag::None)
            first = Take();
        entry.name = Name(first);
        // An empty key name would stand for the parent key itself, which
        // unregistering would then delete.
        if (entry.name.empty())
            Malformed();
        // A key that is deleted takes neither a value nor a block.
        if (entry.flag == RegistrarEntry::Flag::Delete)
            return entry;
        if (NextIs(u"=")) {
            Take();
            entry.text = StringValue();
        }
        if (NextIs(u"{")) {
            Take();
            entry.entries = Block();
        }
        return entry;
    }

    std::u16string StringValue()
    {
        if (!IsWord(Take(), u"s"))
            Malformed();
        return Name(Take());
    }

    // A name or a text: any token except the three punctuation tokens.
    static std::u16string Name(Token token)
    {
        if (IsWord(token, u"{") || IsWord(token, u"}") || IsWord(token, u"="))
            Malformed();
        return std::move(token.text);
    }

    static bool IsWord(const Token& token, std::u16string_view word)
    {
        return !token.quoted && SameText(token.text, word);
    }

    bool NextIs(std::u16string_view word) const { return next_ < tokens_.size() && IsWord(tokens_[next_], word); }

    Token Take()
    {
        if (next_ == tokens_.size())
            Malformed();
        return std::move(tokens_[next_++]);
    }

    void Expect(std::u16string_view word)
    {
        if (!IsWord(Take(), word))
            Malformed();
    }

    std::vector<Token> tokens_;
    size_t next_ = 0;
};

}  // namespace

std::vector<RegistrarRootBlock> ParseRegistrarScript(std::u16string_view script,
                                                     const RegistrarReplacements& replacements)
{
    return Parser(Tokenize(Expand(script, replacements))).Script();
}
