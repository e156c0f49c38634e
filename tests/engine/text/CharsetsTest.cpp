#include "uCharsets.h"

#include <gtest/gtest.h>

#include <random>

#include "SysUtils.h"
#include "TestSupport.h"
#include "uTools.h"

namespace {

class Charsets : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadCharsetTables(); }
  const TCSInfos& infos = GetCSInfos();
  const TCSInfo& cs(std::string_view name) { return *infos.Items(infos.IndexOf(name)); }
};

std::string WriteTable(const TempDir& dir, const std::string& text) {
  std::string path = dir / "charsets.dat";
  WriteFile(path, text);
  return path;
}

std::u16string U(std::initializer_list<char16_t> codes) { return std::u16string(codes); }

}  // namespace

TEST_F(Charsets, ShippedTableOrderNamesAndAliases) {
  ASSERT_EQ(infos.Count(), 23);
  EXPECT_EQ(infos.Items(0)->Name, "windows-1252");
  EXPECT_EQ(infos.Items(0)->MimeName, "windows-1252");
  EXPECT_EQ(infos.Items(-1), nullptr);
  EXPECT_EQ(infos.Items(infos.Count()), nullptr);
  EXPECT_EQ(infos.IndexOf("CP1252"), 0);
  EXPECT_EQ(infos.Items(infos.IndexOf("ISO-8859-1"))->Name, "iso-8859-1");
  EXPECT_EQ(infos.Items(infos.IndexOf("Latin1"))->Name, "iso-8859-1");
  EXPECT_EQ(infos.Items(infos.IndexOf("ascii"))->MimeName, "us-ascii");
  EXPECT_EQ(infos.IndexOf("no-such-charset"), 0);
  EXPECT_EQ(infos.IndexOf(""), 0);
  EXPECT_FALSE(infos.Known("no-such-charset"));
  EXPECT_TRUE(infos.Known("KOI8-R"));

  const TCSInfo* utf7 = infos.Items(infos.Count() - 2);
  const TCSInfo* utf8 = infos.Items(infos.Count() - 1);
  EXPECT_EQ(utf7->Name, "utf-7");
  EXPECT_EQ(utf7->UnicodeKind, TCSInfo::ukUtf7);
  EXPECT_EQ(utf7->Description, "Unicode (7-Bit)");
  EXPECT_EQ(utf8->MimeName, "utf-8");
  EXPECT_EQ(utf8->UnicodeKind, TCSInfo::ukUtf8);
  EXPECT_EQ(infos.IndexOf("UTF-8"), infos.Count() - 1);

  ASSERT_FALSE(infos.Sets.empty());
  EXPECT_EQ(infos.Sets.front(), "us-ascii,iso-8859-1,iso-8859-15,utf-8");
  // Every charset a preset names exists.
  for (const std::string& set : infos.Sets) {
    TCharsets c("", set);
    for (const std::string& entry : SplitLines(StringReplace(set, ",", "\n")))
      EXPECT_TRUE(infos.Known(entry)) << entry;
  }
}

TEST_F(Charsets, RepeatedLookupsKeepTheirAnswers) {
  // Conversions line by line ask for the same names over and over, in turns.
  const int latin1 = infos.IndexOf("iso-8859-1");
  const int utf8 = infos.IndexOf("utf-8");
  const int koi8 = infos.IndexOf("koi8-r");
  ASSERT_TRUE(latin1 != utf8 && utf8 != koi8 && latin1 != koi8);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(infos.IndexOf("iso-8859-1"), latin1);
    EXPECT_EQ(infos.IndexOf("UTF-8"), utf8);
    EXPECT_EQ(infos.IndexOf("koi8-r"), koi8);
    EXPECT_FALSE(infos.Known("no-such-charset"));
    EXPECT_TRUE(infos.Known("Latin1"));
    EXPECT_EQ(infos.IndexOf(""), 0);
  }
}

TEST_F(Charsets, EveryMappableCharacterRoundTrips) {
  for (int i = 0; i < infos.Count(); ++i) {
    const TCSInfo& c = *infos.Items(i);
    if (c.UnicodeKind != TCSInfo::ukTable) continue;
    for (int b = 1; b < 256; ++b) {
      uint16_t code = b < 128 ? uint16_t(b) : c.ToUTF[size_t(b - 128)];
      if (code == 0) continue;
      std::u16string ucs(1, char16_t(code));
      bool lossy = false;
      std::string bytes = TCharsets::Encode(ucs, c, lossy);
      EXPECT_FALSE(lossy) << c.Name << " " << b;
      EXPECT_EQ(TCharsets::Decode(bytes, c), ucs) << c.Name << " " << b;
      EXPECT_EQ(TCharsets::Decode(std::string(1, char(b)), c), ucs) << c.Name << " " << b;
    }
  }
  // Every 16-bit character and a few beyond survive both Unicode charsets.
  std::u16string all;
  for (uint32_t code = 1; code < 0x10000; ++code)
    if (code < 0xD800 || code > 0xDFFF) all += char16_t(code);
  all += U({0xD83D, 0xDE00, 'x', 0xDBFF, 0xDFFF});
  for (const char* name : {"utf-8", "utf-7"}) {
    bool lossy = false;
    std::string bytes = TCharsets::Encode(all, cs(name), lossy);
    EXPECT_FALSE(lossy) << name;
    EXPECT_EQ(TCharsets::Decode(bytes, cs(name)), all) << name;
  }
}

TEST_F(Charsets, EncodingMarksLostCharacters) {
  bool lossy = false;
  EXPECT_EQ(TCharsets::Encode(u"Gr\u00fc\u00dfe", cs("us-ascii"), lossy), "Gr??e");
  EXPECT_TRUE(lossy);
  lossy = false;
  EXPECT_EQ(TCharsets::Encode(u"Gr\u00fc\u00dfe", cs("iso-8859-1"), lossy), "Gr\xfc\xdf" "e");
  EXPECT_FALSE(lossy);
  // An emoji is one character: one question mark, not two.
  EXPECT_EQ(TCharsets::Encode(U({'a', 0xD83D, 0xDE00, 'b'}), cs("iso-8859-1"), lossy), "a?b");
  // Lone surrogates and "no character" cannot be written in UTF-8 either.
  lossy = false;
  EXPECT_EQ(TCharsets::Encode(U({0xD800, 'a', 0xDC00, 0}), cs("utf-8"), lossy), "?a??");
  EXPECT_TRUE(lossy);
  // A byte the table does not map decodes to "no character".
  EXPECT_EQ(TCharsets::Decode("\x81", cs("windows-1252")), U({0}));
}

TEST_F(Charsets, Utf8HandlesFourByteSequencesAndBrokenInput) {
  const TCSInfo& utf8 = cs("utf-8");
  EXPECT_EQ(TCharsets::Decode("\xF0\x9F\x98\x80", utf8), U({0xD83D, 0xDE00}));
  bool lossy = false;
  EXPECT_EQ(TCharsets::Encode(U({0xD83D, 0xDE00}), utf8, lossy), "\xF0\x9F\x98\x80");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(TCharsets::Decode("\xE2\x82\xAC", utf8), U({0x20AC}));
  // Broken input leaves a mark (code 0) instead of vanishing.
  EXPECT_EQ(TCharsets::Decode("a\x80" "b", utf8), U({'a', 0, 'b'}));
  EXPECT_EQ(TCharsets::Decode("a\xE4" "b", utf8), U({'a', 0, 'b'}));
  EXPECT_EQ(TCharsets::Decode("\xC0\xAF", utf8), U({0, 0}));          // overlong
  EXPECT_EQ(TCharsets::Decode("\xED\xA0\x80", utf8), U({0}));         // encoded surrogate
  EXPECT_EQ(TCharsets::Decode("\xF4\x90\x80\x80", utf8), U({0}));     // beyond U+10FFFF
  EXPECT_EQ(TCharsets::Decode("\xE2\x82", utf8), U({0}));             // cut at the end
  lossy = false;
  EXPECT_EQ(ConvertByIndex("Gr\xC3\xBC\xC3", infos.IndexOf("utf-8"), 0, lossy), "Gr\xFC?");
  EXPECT_TRUE(lossy);
}

TEST_F(Charsets, Utf7FollowsRfc2152) {
  const TCSInfo& utf7 = cs("utf-7");
  bool lossy = false;
  EXPECT_EQ(TCharsets::Encode(u"\u00e4", utf7, lossy), "+AOQ-");
  EXPECT_EQ(TCharsets::Encode(u"a+b~\\", utf7, lossy), "a+-b+AH4-+AFw-");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(TCharsets::Decode("+AOQ-", utf7), u"\u00e4");
  EXPECT_EQ(TCharsets::Decode("+-", utf7), u"+");
  // Runs of several characters, with and without the closing "-".
  EXPECT_EQ(TCharsets::Decode("Hi Mom -+Jjo--!", utf7), u"Hi Mom -\u263a-!");
  EXPECT_EQ(TCharsets::Decode("+ZeVnLIqe-", utf7), u"\u65e5\u672c\u8a9e");
  EXPECT_EQ(TCharsets::Decode("A+ImIDkQ.", utf7), u"A\u2262\u0391.");
  EXPECT_EQ(TCharsets::Decode("+AOQA5A", utf7), u"\u00e4\u00e4");
  // A "+" that opens nothing stays; leftover bits of a cut character are a loss.
  EXPECT_EQ(TCharsets::Decode("1 + 1", utf7), u"1 + 1");
  EXPECT_EQ(TCharsets::Decode("+AOQA-x", utf7), U({0xE4, 0, 'x'}));
}

TEST_F(Charsets, BestCharsetTakesTheFirstAllowedThatHoldsTheText) {
  TCharsets c("windows-1252", "iso-8859-1, iso-8859-15 ,utf-8");
  EXPECT_EQ(c.AllowedIndexes.size(), 3u);
  EXPECT_EQ(c.BestCharset("plain text").Name, "iso-8859-1");
  EXPECT_EQ(c.BestCharset("Gr\xfc\xdf" "e").Name, "iso-8859-1");
  EXPECT_EQ(c.BestCharset("5 \x80").Name, "iso-8859-15");
  EXPECT_EQ(c.BestCharset("5 \x80 \x84").Name, "utf-8");  // no ISO table has both
  c.SetAllowed("iso-8859-1");
  EXPECT_EQ(c.BestCharset("5 \x80").Name, "windows-1252");  // charset 0
  c.SetAllowed("");  // ignored
  EXPECT_EQ(c.Allowed, "iso-8859-1");
  c.SetAllowed("us-ascii,koi8-r,utf-8");
  EXPECT_EQ(c.BestCharset("abc").Name, "us-ascii");
  EXPECT_EQ(c.BestCharset("\xe4").Name, "utf-8");

  TCharsets u("utf-8", "us-ascii,koi8-r,iso-8859-5,utf-8");
  EXPECT_EQ(u.BestCharset("\xD0\x9F\xD1\x80\xD0\xB8").Name, "koi8-r");
  EXPECT_EQ(u.BestCharset("\xF0\x9F\x98\x80").Name, "utf-8");
  TCharsets none("utf-8", "");
  EXPECT_EQ(none.BestCharset("x").Name, "windows-1252");
  TCharsets unknown("bogus", "bogus");
  EXPECT_EQ(unknown.SourceIndex, 0);
  EXPECT_EQ(unknown.AllowedIndexes, std::vector<int32_t>{0});
}

TEST_F(Charsets, FastConversionsAgreeWithTheGeneralOne) {
  std::mt19937 rng(42);
  std::vector<std::string> texts = {"", "plain ascii only", std::string("nul\0byte", 8)};
  for (int n = 0; n < 60; ++n) {
    std::string t;
    int len = int(rng() % 40);
    for (int i = 0; i < len; ++i) t += char(rng() % 3 ? 'a' + rng() % 26 : rng() % 256);
    texts.push_back(t);
  }
  // Long ASCII runs between 8-bit and NUL bytes, as whole words are skipped.
  for (int n = 0; n < 20; ++n) {
    std::string t;
    for (int k = int(rng() % 5); k >= 0; --k)
      t += std::string(rng() % 30, char('a' + rng() % 26)) + char(rng() % 2 ? 0x80 + rng() % 128 : 0);
    texts.push_back(t);
  }
  texts.push_back("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80");
  for (const std::string& text : texts) {
    for (int from = 0; from < infos.Count(); from += 3) {
      for (int to : {0, 2, 10, infos.Count() - 2, infos.Count() - 1}) {
        bool fast = false, slow = false;
        std::string a = ConvertByIndex(text, from, to, fast);
        std::string b = TCharsets::Encode(TCharsets::Decode(text, *infos.Items(from)),
                                          *infos.Items(to), slow);
        if (from == to && infos.Items(from)->UnicodeKind == TCSInfo::ukUtf8 && !slow) b = text;
        EXPECT_EQ(a, b) << from << "->" << to;
        EXPECT_EQ(fast, slow) << from << "->" << to;
      }
    }
  }
}

TEST(AsciiPrefix, StopsAtTheFirst8BitOrNulByteWherever) {
  for (size_t len = 0; len < 70; ++len) {
    const std::string ascii(len, 'a');
    EXPECT_EQ(AsciiPrefixLength(ascii), len);
    for (size_t at = 0; at < len; ++at)
      for (char stop : {'\0', '\x80', '\xff'}) {
        std::string t = ascii;
        t[at] = stop;
        EXPECT_EQ(AsciiPrefixLength(t), at) << len << " " << at;
      }
  }
}

TEST_F(Charsets, InternalCharsetDrivesFromUtf8AndToUtf8) {
  EXPECT_EQ(FromUtf8("\xC3\xA4\xE2\x82\xAC"), "\xE4\x80");
  EXPECT_EQ(ToUtf8("\xE4\x80"), "\xC3\xA4\xE2\x82\xAC");
  SetInternalCharset("utf-8");
  EXPECT_EQ(FromUtf8("\xC3\xA4"), "\xC3\xA4");
  SetInternalCharset("koi8-r");
  EXPECT_EQ(FromUtf8("\xD0\x9F"), "\xF0");
  SetInternalCharset("");
  EXPECT_EQ(InternalCharsetIndex(), 0);
  EXPECT_EQ(FromUtf8("\xC3\xA4"), "\xE4");
}

// Scripts and the files they name come from editors: UTF-8 now, the internal
// charset (windows-1252) from Windows. Each row: internal charset, file bytes,
// the text read, and whether writing that text back gives the bytes again.
TEST_F(Charsets, EditorFilesAreReadInTheEncodingTheyWereSavedIn) {
  struct Row {
    const char* internal;
    std::string file, text;
    bool roundTrip;
  };
  const std::vector<Row> rows = {
      {"", "Sub main\r\n", "Sub main\r\n", true},
      {"", "Gr\xC3\xBC\xC3\x9F" "e", "Gr\xFC\xDF" "e", true},
      {"", "Gr\xFC\xDF" "e", "Gr\xFC\xDF" "e", true},
      {"", "\xEF\xBB\xBF" "a\xC3\xA4", "a\xE4", true},
      {"", "\xC5\x82\xE2\x82\xAC", "?\x80", false},         // no "ł" in windows-1252
      {"", "\xC3\xA4\xFC", "\xC3\xA4\xFC", true},            // broken UTF-8
      {"", std::string("\xC3\xA4\0", 3), std::string("\xC3\xA4\0", 3), true},
      {"utf-8", "Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e", true},
      {"utf-8", "Gr\xFC\xDF" "e", "Gr\xC3\xBC\xC3\x9F" "e", true},
      {"utf-8", "\xEF\xBB\xBF" "x\xC5\x82", "x\xC5\x82", true},
      // Bytes windows-1252 has no character for stand for the codes of their
      // own number and go back as they came; a NUL is no character.
      {"utf-8", "\x81\x8D\x8F\x90\x9D\xE4", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC3\xA4", true},
      {"", "\xC2\x81\xC2\x9D\xC3\xA4", "\x81\x9D\xE4", true},
      {"utf-8", std::string("a\0\x81", 3), "a?\xC2\x81", false},
      {"koi8-r", "\xD0\x9F", "\xF0", true},
      {"koi8-r", "\xF0", "\xF0", true},
  };
  for (const Row& row : rows) {
    SetInternalCharset(row.internal);
    const std::string text = EditorTextToInternal(row.file);
    EXPECT_EQ(text, row.text) << row.internal << " " << row.file;
    if (row.roundTrip) {
      EXPECT_EQ(InternalToEditorText(text, row.file), row.file) << row.file;
    }
  }
  // What an edit adds to a plain ASCII file is written as a Linux editor would.
  SetInternalCharset("utf-8");
  EXPECT_EQ(InternalToEditorText("\xC3\xA4", "a\n"), "\xC3\xA4");
  SetInternalCharset("");
  EXPECT_EQ(InternalToEditorText("\xE4", "a\n"), "\xC3\xA4");
}

TEST(CharsetFile, ReadsDefinitionsTablesAndSets) {
  TempDir dir;
  std::string table(128 * 4, '0');
  table.replace(0, 4, "00E4");     // byte 128 -> U+00E4
  table.replace(4, 4, "00e4");     // lower-case digits count as 0: wrong codes
  table.replace(8, 4, "0041");     // a code below 128 is not entered backwards
  table.replace(12, 4, "00E4");    // the higher byte wins
  // More aliases than the name table was sized for.
  std::string many;
  for (int i = 0; i < 100; ++i) many += (i ? ",m" : "m") + std::to_string(i);
  std::string path = WriteTable(dir,
                                "[Define]\r\n"
                                "mine=V1#My charset#x-mine, alias-two\r\n"
                                "broken=no version\r\n"
                                "short=V1#Short#x-short, alias-two\r\n"
                                "many=V1#Many#" + many + "\r\n"
                                "[ToUTF]\r\n"
                                "mine=" + table + "\r\n"
                                "short=00F6\r\n"
                                "[Sets]\r\n"
                                "first=mine,utf-8\r\n"
                                "empty=\r\n"
                                "second=short\r\n");
  TCSInfos t(path);
  ASSERT_EQ(t.Count(), 6);
  const TCSInfo& mine = *t.Items(0);
  EXPECT_EQ(mine.Name, "mine");
  EXPECT_EQ(mine.MimeName, "x-mine");
  EXPECT_EQ(mine.Description, "My charset");
  EXPECT_EQ(mine.ToUTF[0], 0xE4);
  EXPECT_EQ(mine.ToUTF[1], 0x0004);  // "e" read as 0
  EXPECT_EQ(mine.FromUTF[0xE4], 131);
  EXPECT_EQ(mine.ByteOf('A'), 'A');
  EXPECT_EQ(t.IndexOf("ALIAS-TWO"), 0);
  const TCSInfo& broken = *t.Items(1);
  EXPECT_EQ(broken.Name, "broken");
  EXPECT_TRUE(broken.MimeName.empty());
  EXPECT_EQ(t.Items(2)->ToUTF[0], 0xF6);
  EXPECT_EQ(t.Items(2)->ToUTF[1], 0);
  EXPECT_EQ(t.IndexOf("x-short"), 2);
  EXPECT_EQ(t.IndexOf("alias-two"), 0);  // the first charset naming an alias has it
  EXPECT_EQ(t.IndexOf("M0"), 3);
  EXPECT_EQ(t.IndexOf("m99"), 3);
  EXPECT_EQ(t.IndexOf("many"), 3);
  EXPECT_TRUE(t.Known("utf-7"));
  EXPECT_FALSE(t.Known("m100"));
  EXPECT_EQ(t.Sets, (std::vector<std::string>{"mine,utf-8", "short"}));
}

TEST(CharsetFile, MissingOrEmptyFileIsRefused) {
  TempDir dir;
  std::string expected = FromUtf8("FEHLER! \"Charsets.dat\" nicht vorhanden bzw. nicht korrekt");
  try {
    TCSInfos t(dir / "charsets.dat");
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), expected);
  }
  std::string path = WriteTable(dir, "[Define]\r\n[ToUTF]\r\nx=0000\r\n");
  EXPECT_THROW(TCSInfos t(path), Exception);
}
