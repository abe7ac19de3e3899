// Updating a document and what Save writes: where set keys and new sections
// land, the encodings, and loading again into the same document.
#include "document/DocumentFixture.h"

TEST_F(DocumentTest, SettingAnExistingKeyChangesOnlyItsText)
{
    LoadBytes("[General]\r\nTitle=abc\r\nOther=1\r\n");
    document.SetValue(u"GENERAL", u"TITLE", u"new");
    EXPECT_EQ("[General]\r\nTitle=new\r\nOther=1\r\n", SavedBytes())
        << "the line stays in place and header and key keep their case";
}

TEST_F(DocumentTest, AKeyWithSpacesBeforeTheEqualsSignIsADifferentKey)
{
    LoadBytes("[s]\r\nTitle = abc\r\n");
    document.SetValue(u"s", u"Title", u"new");
    EXPECT_EQ("[s]\r\nTitle = abc\r\nTitle=new\r\n", SavedBytes());
}

TEST_F(DocumentTest, ANewKeyGoesAfterTheLastLineOfItsSection)
{
    LoadBytes("[a]\r\nx=1\r\n\r\n; end of a\r\n[b]\r\ny=2\r\n");
    document.SetValue(u"a", u"New", u"v");
    EXPECT_EQ("[a]\r\nx=1\r\n\r\n; end of a\r\nNew=v\r\n[b]\r\ny=2\r\n", SavedBytes());
}

TEST_F(DocumentTest, ANewSectionGoesAtTheEndWithTheCallersSpelling)
{
    LoadBytes("[a]\r\nx=1");
    document.SetValue(u"New Section", u"First", u"1");
    document.SetValue(u"new section", u"Second", u"");
    EXPECT_EQ("[a]\r\nx=1\r\n[New Section]\r\nFirst=1\r\nSecond=\r\n", SavedBytes())
        << "one header for both keys, in the order of the writes, and no blank line before it";
}

TEST_F(DocumentTest, TwoWritesToOneNewKeyGiveOneLine)
{
    LoadBytes("[a]\r\n");
    document.SetValue(u"a", u"Key", u"first");
    document.SetValue(u"A", u"KEY", u"second");
    EXPECT_EQ("[a]\r\nKey=second\r\n", SavedBytes());
    EXPECT_EQ("second", Lookup(u"a", u"key"));
}

TEST_F(DocumentTest, WritesReachTheLastOfDuplicates)
{
    LoadBytes("[d]\r\nk=1\r\nk=2\r\n[D]\r\nk=3\r\nk=4\r\n");
    document.SetValue(u"d", u"K", u"x");
    EXPECT_EQ("[d]\r\nk=1\r\nk=2\r\n[D]\r\nk=3\r\nk=x\r\n", SavedBytes());
}

TEST_F(DocumentTest, SettingAKeyOfTheUnindexedLeadingSectionAddsANewSection)
{
    LoadBytes("; comment\r\nk=1\r\n");
    document.SetValue(u"", u"k", u"2");
    EXPECT_EQ("; comment\r\nk=1\r\n[]\r\nk=2\r\n", SavedBytes());
}

TEST_F(DocumentTest, AnEmptyDocumentSavesAsAnEmptyFile)
{
    LoadBytes("");
    EXPECT_EQ("", SavedBytes());
    document.SetValue(u"s", u"k", u"v");
    EXPECT_EQ("[s]\r\nk=v\r\n", SavedBytes()) << "a write to an empty document starts the file";
}

TEST_F(DocumentTest, AnsiIsWrittenWithCrLfLineEndsAndNoMark)
{
    LoadBytes("[s]\nk=1\n  indented=2\n  ; comment kept\n  other line\n   \n[t]");
    EXPECT_EQ("[s]\r\nk=1\r\nindented=2\r\n  ; comment kept\r\nother line\r\n   \r\n[t]\r\n", SavedBytes());
}

TEST_F(DocumentTest, AnsiLineFeedsInsideATextAreWrittenAsCrLf)
{
    LoadBytes("[s]\r\n");
    document.SetValue(u"s", u"k", u"a\nb\rc");
    EXPECT_EQ("[s]\r\nk=a\r\nb\rc\r\n", SavedBytes());
}

// Every position of a line feed or of a character beyond ASCII in a text,
// inside and across the blocks in which ASCII is narrowed.
TEST_F(DocumentTest, AnsiTextIsWrittenAlikeWhereverItsSpecialUnitsStand)
{
    LoadBytes("[s]\r\n");
    for (const char16_t special : {u'\n', u'\u00E9', u'\u4E16'}) {
        const std::string written = special == u'\n' ? "\r\n" : special == u'\u00E9' ? "\xE9" : "?";
        for (size_t at = 0; at < 20; ++at) {
            std::u16string text(20, u'x');
            text[at] = special;
            text += u"0123456789";
            document.SetValue(u"s", u"k", text);
            std::string expected = std::string(20, 'x');
            expected.replace(at, 1, written);
            EXPECT_EQ(ReadableBytes("[s]\r\nk=" + expected + "0123456789\r\n"), ReadableBytes(SavedBytes()))
                << Readable(text);
        }
    }
}

TEST_F(DocumentTest, AnsiCharactersTheCodePageLacksBecomeQuestionMarks)
{
    LoadBytes("[s]\r\n");
    document.SetValue(u"s", u"k", u"\u00E9\u4E16");
    EXPECT_EQ("[s]\r\nk=\xE9?\r\n", SavedBytes());
}

TEST_F(DocumentTest, Utf16IsWrittenWithTheMarkAndCrLfLineEnds)
{
    LoadBytes(Utf16LeFile(u"[s]\nk=\u4E16\n"));
    document.SetValue(u"s", u"n", u"a\nb");
    EXPECT_EQ(Utf16LeFile(u"[s]\r\nk=\u4E16\r\nn=a\nb\r\n"), SavedBytes())
        << "units are written unconverted, a line feed inside a text included";

    LoadBytes(Utf16LeFile(u""));
    EXPECT_EQ(Utf16LeFile(u"\r\n"), SavedBytes()) << "a file of only the mark has one empty line";
}

TEST_F(DocumentTest, SaveLeavesTheDocumentAsItWas)
{
    LoadBytes("[s]\r\nk=1\r\n");
    const std::string first = SavedBytes();
    EXPECT_EQ(first, SavedBytes()) << "a second save writes the same bytes";
    EXPECT_FALSE(document.unicode());
}

TEST_F(DocumentTest, LoadingAgainReplacesTheWholeContent)
{
    LoadBytes(Utf16LeFile(u"[a]\r\nx=1\r\n[b]\r\ny=2\r\n"));
    ASSERT_TRUE(document.unicode());
    LoadBytes("[b]\r\nz=3\r\n");
    EXPECT_FALSE(document.unicode()) << "the flag follows the file last loaded";
    EXPECT_EQ("<absent>", Lookup(u"a", u"x")) << "sections of the first file are gone from the index";
    EXPECT_EQ("<absent>", Lookup(u"b", u"y"));
    EXPECT_EQ("3", Lookup(u"b", u"z"));
    EXPECT_EQ("[b]\r\nz=3\r\n", SavedBytes()) << "and from the lines";
}

TEST_F(DocumentTest, AFailedLoadKeepsTheContent)
{
    LoadBytes(Utf16LeFile(u"[a]\r\nx=1\r\n"));
    EXPECT_FALSE(document.Load(U16Path(folder.File("missing.ini"))));
    EXPECT_FALSE(document.Load(U16Path(folder.path()))) << "a folder is not a file";
    EXPECT_TRUE(document.unicode());
    EXPECT_EQ("1", Lookup(u"a", u"x"));
}

TEST_F(DocumentTest, LoadIfUnicodeReadsOnlyUtf16Files)
{
    WriteBytes(file, Utf16LeFile(u"[a]\r\nx=1\r\n"));
    ASSERT_TRUE(document.LoadIfUnicode(path));
    EXPECT_TRUE(document.unicode());
    EXPECT_EQ("1", Lookup(u"a", u"x")) << "a UTF-16 file is loaded whole";

    for (const std::string ansi : {"[a]\r\nx=2\r\n", "\xFF", ""}) {
        WriteBytes(file, ansi);
        ASSERT_TRUE(document.LoadIfUnicode(path)) << ReadableBytes(ansi);
        EXPECT_FALSE(document.unicode()) << ReadableBytes(ansi);
        EXPECT_EQ("<absent>", Lookup(u"a", u"x")) << "any other file leaves the document empty";
    }
    EXPECT_EQ("", SavedBytes());

    LoadBytes(Utf16LeFile(u"[a]\r\nx=1\r\n"));
    EXPECT_FALSE(document.LoadIfUnicode(U16Path(folder.File("missing.ini"))));
    EXPECT_FALSE(document.LoadIfUnicode(U16Path(folder.path()))) << "a folder is not a file";
    EXPECT_EQ("1", Lookup(u"a", u"x")) << "a file that cannot be read leaves the document as it was";
}

TEST_F(DocumentTest, AnOddLastByteOfAUtf16FileIsNotAUnit)
{
    LoadBytes(Utf16LeFile(u"[a]\r\nx=1") + "\x41");
    EXPECT_EQ("1", Lookup(u"a", u"x"));
    EXPECT_EQ(Utf16LeFile(u"[a]\r\nx=1\r\n"), SavedBytes());
}
