// The module's registrar-script interpreter on scripts of its own. Where the
// format's meaning is shared, each script is also run through the system's
// registrar (Wine's atl.dll) on a twin scratch key and the two registry
// trees must come out the same. Where they part ways, the test says why.
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "SystemRegistrar.h"
#include "module/Registrar.h"
#include "platform/windows/WideText.h"
#include "support/Apartment.h"
#include "support/RegistryTree.h"

namespace {

constexpr wchar_t kScratchRoot[] = L"Software\\IniPluginTests";
// The %MODULE% text the registration code passes: a path whose quote is doubled.
constexpr wchar_t kModule[] = L"C:\\it''s here\\IniPlugin.dll";

std::u16string U16(const std::wstring& text) { return std::u16string(AsU16(text.c_str()), text.size()); }

class RegistrarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoCreateInstance(kClsidSystemRegistrar, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&oracle)))
            << "the system registrar is the oracle of these tests";
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::wstring name = std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::wstring(test->name(), test->name() + strlen(test->name()));
        ours = std::wstring(kScratchRoot) + L"\\Ours-" + name;
        theirs = std::wstring(kScratchRoot) + L"\\Oracle-" + name;
        DeleteRegistryTree(HKEY_CURRENT_USER, ours);
        DeleteRegistryTree(HKEY_CURRENT_USER, theirs);
    }

    void TearDown() override
    {
        DeleteRegistryTree(HKEY_CURRENT_USER, ours);
        DeleteRegistryTree(HKEY_CURRENT_USER, theirs);
    }

    // Runs `script` through the module's registrar; %SCRATCH% is its own key below HKCU.
    HRESULT RunOurs(const std::wstring& script, RegistrarMode mode)
    {
        const RegistrarReplacements replacements = {
            {u"SCRATCH", U16(ours)}, {u"Module", U16(kModule)}, {u"Name", u"Named"}};
        return RunRegistrarScript(U16(script), replacements, mode);
    }

    HRESULT RunOracle(const std::wstring& script, RegistrarMode mode)
    {
        oracle->ClearReplacements();
        oracle->AddReplacement(L"SCRATCH", theirs.c_str());
        oracle->AddReplacement(L"Module", kModule);
        oracle->AddReplacement(L"Name", L"Named");
        return mode == RegistrarMode::Register ? oracle->StringRegister(script.c_str())
                                               : oracle->StringUnregister(script.c_str());
    }

    // Runs `script` both ways and expects the same result and the same tree.
    void ExpectOracleAgrees(const std::wstring& script, RegistrarMode mode)
    {
        const char* modeName = mode == RegistrarMode::Register ? "register" : "unregister";
        const HRESULT theirResult = RunOracle(script, mode);
        EXPECT_EQ(theirResult, RunOurs(script, mode)) << modeName << " mode";
        EXPECT_EQ(ReadRegistryTree(HKEY_CURRENT_USER, theirs), ReadRegistryTree(HKEY_CURRENT_USER, ours))
            << "the oracle's tree (expected) and ours after " << modeName << " mode";
    }

    // Test data, planted alike on both scratch keys.
    void Plant(const std::wstring& path, const std::wstring& name, const std::wstring& text)
    {
        WriteRegistryText(HKEY_CURRENT_USER, ours + L"\\" + path, name, text);
        WriteRegistryText(HKEY_CURRENT_USER, theirs + L"\\" + path, name, text);
    }
    void PlantKey(const std::wstring& path)
    {
        CreateRegistryKey(HKEY_CURRENT_USER, ours + L"\\" + path);
        CreateRegistryKey(HKEY_CURRENT_USER, theirs + L"\\" + path);
    }

    std::optional<RegistryTree> OurTree() const { return ReadRegistryTree(HKEY_CURRENT_USER, ours); }

    Apartment apartment;
    Microsoft::WRL::ComPtr<IRegistrar> oracle;
    std::wstring ours;
    std::wstring theirs;
};

// A tree of one key's content, for the expectations written out by hand.
RegistryTree Tree(std::map<std::wstring, std::wstring> values, std::map<std::wstring, RegistryTree> subkeys = {})
{
    return RegistryTree{std::move(values), std::move(subkeys)};
}

}  // namespace

TEST_F(RegistrarTest, WritesKeysWithDefaultValuesNamedValuesAndNestedBlocks)
{
    const std::wstring script = LR"(
HKCU
{
    NoRemove %SCRATCH%
    {
        Plain
        WithDefault = s 'default text'
        {
            val Named = s 'named text'
            Nested = s 'nested'
            {
                Deeper
                {
                    val x = s 'y'
                }
            }
        }
        'Quoted name with spaces' = s 'it''s ''quoted'''
    }
})";
    ExpectOracleAgrees(script, RegistrarMode::Register);
    const RegistryTree expected = Tree({}, {
        {L"Plain", Tree({})},
        {L"WithDefault", Tree({{L"", L"default text"}, {L"Named", L"named text"}},
                              {{L"Nested", Tree({{L"", L"nested"}}, {{L"Deeper", Tree({{L"x", L"y"}})}})}})},
        {L"Quoted name with spaces", Tree({{L"", L"it's 'quoted'"}})},
    });
    EXPECT_EQ(expected, OurTree());

    ExpectOracleAgrees(script, RegistrarMode::Unregister);
    EXPECT_EQ(Tree({}), OurTree()) << "unregistering takes back every key the script wrote";
}

TEST_F(RegistrarTest, ReplacesVariablesWithoutRegardToCaseAndDoublePercentByOne)
{
    const std::wstring script = LR"(
HKCU
{
    NoRemove %SCRATCH%
    {
        Module = s '%MODULE%'
        LowerCase = s '%module%'
        %Name% = s '100%% sure'
        Mixed = s 'at %Module% and %%Name%%'
    }
})";
    ExpectOracleAgrees(script, RegistrarMode::Register);
    const RegistryTree expected = Tree({}, {
        {L"Module", Tree({{L"", L"C:\\it's here\\IniPlugin.dll"}})},
        {L"LowerCase", Tree({{L"", L"C:\\it's here\\IniPlugin.dll"}})},
        {L"Named", Tree({{L"", L"100% sure"}})},
        {L"Mixed", Tree({{L"", L"at C:\\it's here\\IniPlugin.dll and %Name%"}})},
    });
    EXPECT_EQ(expected, OurTree());
    ExpectOracleAgrees(script, RegistrarMode::Unregister);
}

TEST_F(RegistrarTest, KeywordsAndRootNamesIgnoreCase)
{
    const std::wstring script = LR"(
HKEY_CURRENT_USER
{
    noremove %SCRATCH%
    {
        FORCEREMOVE A = s 'a'
        {
            VAL v = s 'w'
        }
    }
}
hkcu
{
    NOREMOVE %SCRATCH%
    {
        delete B
    }
})";
    PlantKey(L"B\\Child");
    ExpectOracleAgrees(script, RegistrarMode::Register);
    EXPECT_EQ(Tree({}, {{L"A", Tree({{L"", L"a"}, {L"v", L"w"}})}}), OurTree());
    ExpectOracleAgrees(script, RegistrarMode::Unregister);
}

TEST_F(RegistrarTest, RegisteringAgainOverwritesListedValuesAndKeepsTheRest)
{
    Plant(L"A", L"", L"old default");
    Plant(L"A", L"V", L"old value");
    Plant(L"A", L"Other", L"not in the script");
    PlantKey(L"A\\Stale");
    ExpectOracleAgrees(LR"(HKCU { NoRemove %SCRATCH% { A = s 'new default' { val V = s 'new value' } } })",
                       RegistrarMode::Register);
    EXPECT_EQ(Tree({}, {{L"A", Tree({{L"", L"new default"}, {L"V", L"new value"}, {L"Other", L"not in the script"}},
                                    {{L"Stale", Tree({})}})}}),
              OurTree());
}

TEST_F(RegistrarTest, ForceRemoveRebuildsTheKeyWithoutStaleContent)
{
    Plant(L"A", L"Other", L"stale value");
    Plant(L"A\\Stale\\Deeper", L"", L"stale key");
    const std::wstring script = LR"(HKCU { NoRemove %SCRATCH% { ForceRemove A = s 'fresh' { B = s 'b' } } })";
    ExpectOracleAgrees(script, RegistrarMode::Register);
    EXPECT_EQ(Tree({}, {{L"A", Tree({{L"", L"fresh"}}, {{L"B", Tree({{L"", L"b"}})}})}}), OurTree());
    ExpectOracleAgrees(script, RegistrarMode::Unregister);
    EXPECT_EQ(Tree({}), OurTree());
}

TEST_F(RegistrarTest, DeleteRemovesAKeyWithItsSubtreeWhenRegistering)
{
    Plant(L"Old\\Child", L"", L"old");
    const std::wstring script = LR"(HKCU { NoRemove %SCRATCH% { Delete Old Delete Missing Kept = s 'k' } })";
    ExpectOracleAgrees(script, RegistrarMode::Register);
    EXPECT_EQ(Tree({}, {{L"Kept", Tree({{L"", L"k"}})}}), OurTree());

    Plant(L"Old", L"", L"planted again");
    ExpectOracleAgrees(script, RegistrarMode::Unregister);
    EXPECT_EQ(Tree({}, {{L"Old", Tree({{L"", L"planted again"}})}}), OurTree())
        << "unregistering leaves a Delete key alone";
}

TEST_F(RegistrarTest, UnregisteringSkipsKeysThatDoNotExist)
{
    PlantKey(L"");
    ExpectOracleAgrees(LR"(HKCU { NoRemove %SCRATCH% { Missing = s 'm' { Deeper { val v = s 'v' } } } })",
                       RegistrarMode::Unregister);
    EXPECT_EQ(Tree({}), OurTree());
}

TEST_F(RegistrarTest, UnregisteringKeepsNoRemoveKeysAndKeysThatOthersAddedTo)
{
    const std::wstring script = LR"(
HKCU
{
    NoRemove %SCRATCH%
    {
        NoRemove Kept = s 'kept'
        {
            Child = s 'c'
        }
        Shared = s 'shared'
        {
            Ours = s 'o'
        }
        ForceRemove Forced = s 'forced'
        {
            Ours = s 'o'
        }
    }
})";
    ExpectOracleAgrees(script, RegistrarMode::Register);
    Plant(L"Shared\\Foreign", L"", L"someone else's");
    Plant(L"Forced\\Foreign", L"", L"someone else's");
    ExpectOracleAgrees(script, RegistrarMode::Unregister);
    EXPECT_EQ(Tree({}, {
                  {L"Kept", Tree({{L"", L"kept"}})},
                  {L"Shared", Tree({{L"", L"shared"}}, {{L"Foreign", Tree({{L"", L"someone else's"}})}})},
                  {L"Forced", Tree({{L"", L"forced"}}, {{L"Foreign", Tree({{L"", L"someone else's"}})}})},
              }),
              OurTree());
}

TEST_F(RegistrarTest, RunsEveryRootBlockInOrder)
{
    const std::wstring script = LR"(
HKCU { NoRemove %SCRATCH% { A = s 'first' } }
HKCU { NoRemove %SCRATCH% { ForceRemove A = s 'second' B } })";
    ExpectOracleAgrees(script, RegistrarMode::Register);
    EXPECT_EQ(Tree({}, {{L"A", Tree({{L"", L"second"}})}, {L"B", Tree({})}}), OurTree());
    ExpectOracleAgrees(script, RegistrarMode::Unregister);
    EXPECT_EQ(Tree({}), OurTree());
}

TEST_F(RegistrarTest, MalformedScriptsAreRejectedAndWriteNothing)
{
    // The oracle rejects these too (though it may have written part of them).
    const wchar_t* const scripts[] = {
        LR"(HKCU { NoRemove %SCRATCH% { A = s '%UNKNOWN%' } })",
        LR"(HKCU { NoRemove %SCRATCH% { A = s '50% off' } })",
        LR"(HKCU { NoRemove %SCRATCH% { A = s 'unterminated } } })",
        LR"(HKXX { NoRemove %SCRATCH% { A } })",
        LR"(HKCU { NoRemove %SCRATCH% { A } } HKXX { })",
        LR"(HKCU { NoRemove %SCRATCH% { A = q 'not a string type' } })",
        LR"(HKCU { NoRemove %SCRATCH% { val = s 'no name' } })",
        LR"(HKCU NoRemove %SCRATCH% { A } })",
    };
    for (const wchar_t* script : scripts) {
        EXPECT_EQ(DISP_E_EXCEPTION, RunOurs(script, RegistrarMode::Register)) << "script: " << testing::PrintToString(std::wstring(script));
        EXPECT_EQ(std::nullopt, OurTree()) << "a rejected script writes nothing";
        EXPECT_EQ(DISP_E_EXCEPTION, RunOurs(script, RegistrarMode::Unregister));
        EXPECT_TRUE(FAILED(RunOracle(script, RegistrarMode::Register))) << "the oracle rejects it too";
        DeleteRegistryTree(HKEY_CURRENT_USER, theirs);
    }
}

TEST_F(RegistrarTest, RejectsWhatTheFormatDoesNotAllowEvenWhereTheOracleIsLenient)
{
    // The oracle accepts some of these by reading stray tokens as key names,
    // and never returns from a missing closing brace; these run only here.
    const wchar_t* const scripts[] = {
        LR"(HKCU { NoRemove %SCRATCH% { A } )",
        LR"(HKCU { NoRemove %SCRATCH% { A } } })",
        LR"(HKCU { NoRemove %SCRATCH% { A = d '5' } })",
        LR"(HKCU { NoRemove %SCRATCH% { A = s } })",
        LR"(HKCU { NoRemove %SCRATCH% { A = s { } } })",
        LR"(HKCU { NoRemove %SCRATCH% { Delete A = s 'a' } })",
        LR"(HKCU { NoRemove %SCRATCH% { Delete A { B } } })",
        // An empty key name stands for the parent itself, which unregistering would delete.
        LR"(HKCU { NoRemove %SCRATCH% { '' = s 'x' } })",
        LR"(HKCU { NoRemove %SCRATCH% { NoRemove } })",
        LR"(HKCU { NoRemove %SCRATCH% { = s 'x' } })",
        LR"(HKCU)",
        LR"('HKCU' { NoRemove %SCRATCH% { A } })",
    };
    for (const wchar_t* script : scripts) {
        EXPECT_EQ(DISP_E_EXCEPTION, RunOurs(script, RegistrarMode::Register)) << "script: " << testing::PrintToString(std::wstring(script));
        EXPECT_EQ(std::nullopt, OurTree()) << "a rejected script writes nothing";
    }
    EXPECT_EQ(S_OK, RunOurs(L"", RegistrarMode::Register)) << "an empty script is a script without blocks";
}

TEST_F(RegistrarTest, AQuotedWordIsAlwaysAName)
{
    EXPECT_EQ(S_OK, RunOurs(LR"(HKCU { NoRemove %SCRATCH% { 'NoRemove' = s 'x' 'val' { 'Delete' } } })",
                            RegistrarMode::Register));
    EXPECT_EQ(Tree({}, {{L"NoRemove", Tree({{L"", L"x"}})}, {L"val", Tree({}, {{L"Delete", Tree({})}})}}), OurTree());
}

TEST_F(RegistrarTest, UnregisteringDeletesTheListedValuesOfKeysThatStay)
{
    // The oracle leaves the named values of keys it keeps; a value the script
    // wrote is the script's to take back, and the key's other values stay.
    const std::wstring script = LR"(
HKCU
{
    NoRemove %SCRATCH%
    {
        NoRemove Kept
        {
            val Listed = s 'l'
        }
        Shared
        {
            val Listed = s 'l'
        }
    }
})";
    ASSERT_EQ(S_OK, RunOurs(script, RegistrarMode::Register));
    WriteRegistryText(HKEY_CURRENT_USER, ours + L"\\Kept", L"Other", L"someone else's");
    CreateRegistryKey(HKEY_CURRENT_USER, ours + L"\\Shared\\Foreign");
    ASSERT_EQ(S_OK, RunOurs(script, RegistrarMode::Unregister));
    EXPECT_EQ(Tree({}, {{L"Kept", Tree({{L"Other", L"someone else's"}})}, {L"Shared", Tree({}, {{L"Foreign", Tree({})}})}}),
              OurTree());
    EXPECT_EQ(S_OK, RunOurs(script, RegistrarMode::Unregister)) << "values already gone are no error";
}

TEST_F(RegistrarTest, AFailedBlockIsTakenBackAndEarlierBlocksStay)
{
    // A key name longer than the registry allows makes the second block fail
    // after it has written its first keys.
    const std::wstring tooLong(300, L'k');
    const std::wstring script = LR"(
HKCU { NoRemove %SCRATCH% { First = s 'first' } }
HKCU { NoRemove %SCRATCH% { Second = s 'second' { val v = s 'v' Child } )" + tooLong + LR"( } }
HKCU { NoRemove %SCRATCH% { Third } })";
    const HRESULT result = RunOurs(script, RegistrarMode::Register);
    EXPECT_TRUE(FAILED(result)) << "the failure is returned";
    EXPECT_NE(DISP_E_EXCEPTION, result) << "the script itself is well formed";
    EXPECT_EQ(Tree({}, {{L"First", Tree({{L"", L"first"}})}}), OurTree())
        << "the failed block is taken back, the block before it stays, the block after it is not run";
}
