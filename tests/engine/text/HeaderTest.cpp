#include "uHeader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uCharsets.h"

namespace {

// The local names come from the shipped file; the first use decides for the process.
void UseShippedHeaderOrder() {
  std::string saved = ProgramDir();
  SetProgramDir(std::string(TIDELARN_SOURCE_DIR) + "/data");
  InitHeaderOrder();
  SetProgramDir(saved);
}

class ChangedStringlist : public ::testing::Test {
protected:
  TChangedStringlist list;
  void Fill(std::initializer_list<const char*> lines) {
    for (const char* s : lines) list.Add(s);
    list.Changed = false;
  }
};

class Header : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadCharsetTables(); }
  TCharsets charsets{"windows-1252", "us-ascii,iso-8859-1,utf-8"};
  THeader header{&charsets};
  void Fill(std::initializer_list<const char*> lines) {
    for (const char* s : lines) header.AddRaw(s);
    header.Changed = false;
  }
};

}  // namespace

TEST_F(ChangedStringlist, OperationsThatChangeNothingLeaveTheMarkAlone) {
  list.Clear();
  list.AddStrings(std::vector<std::string>{});
  EXPECT_FALSE(list.Changed);
  Fill({"a", "b"});
  list.Put(0, "a");
  list.PutObject(1, 42);
  EXPECT_FALSE(list.Changed);
  EXPECT_EQ(list.GetObject(1), 42);
  EXPECT_EQ(list.IndexOf("B"), 1);
  list.Move(1, 1);
  EXPECT_FALSE(list.Changed);
}

TEST_F(ChangedStringlist, EveryChangingPrimitiveSetsTheMark) {
  const std::vector<std::pair<const char*, std::function<void(TChangedStringlist&)>>> changes = {
      {"Put", [](auto& l) { l.Put(0, "A"); }},
      {"Add", [](auto& l) { l.Add("c"); }},
      {"AddWithObject", [](auto& l) { l.AddWithObject("c", 7); }},
      {"AddStrings", [](auto& l) { l.AddStrings(std::vector<std::string>{"c"}); }},
      {"Insert", [](auto& l) { l.Insert(2, "c"); }},
      {"Delete", [](auto& l) { l.Delete(0); }},
      {"Exchange", [](auto& l) { l.Exchange(0, 1); }},
      {"Clear", [](auto& l) { l.Clear(); }},
      {"Assign", [](auto& l) { l.Assign(std::vector<std::string>{"x"}); }},
      {"SetAllText", [](auto& l) { l.SetAllText("x\r\ny"); }},
      {"SetValue", [](auto& l) { l.SetValue("k", "v"); }},
      {"Move", [](auto& l) { l.Move(0, 1); }},
  };
  for (const auto& [name, change] : changes) {
    TChangedStringlist l;
    l.Add("a");
    l.Add("b");
    l.Changed = false;
    change(l);
    EXPECT_TRUE(l.Changed) << name;
  }
}

TEST_F(ChangedStringlist, TextAndNameValueAccess) {
  list.SetAllText("one\r\ntwo\nthree\rfour\r\n");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetAllText(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  list.SetValue("Key", "1");
  list.SetValue("KEY", "2");
  EXPECT_EQ(list.Count(), 5);
  EXPECT_EQ(list.GetValue("key"), "2");
  EXPECT_EQ(list.Get(4), "KEY=2");  // the name as written last
  list.SetValue("key", "");
  EXPECT_EQ(list.IndexOfName("key"), -1);
  list.Move(0, 3);
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"two", "three", "four", "one"}));
}

TEST_F(ChangedStringlist, IndexErrorsAreExceptions) {
  Fill({"a"});
  EXPECT_THROW(list.Get(1), EStringListError);
  EXPECT_THROW(list.Get(-1), EStringListError);
  EXPECT_THROW(list.Put(3, "x"), EStringListError);
  EXPECT_THROW(list.Delete(1), EStringListError);
  EXPECT_THROW(list.Insert(2, "x"), EStringListError);
  EXPECT_THROW(list.Exchange(0, 1), EStringListError);
  list.Insert(1, "end");
  EXPECT_EQ(list.Get(1), "end");
}

TEST(HeaderNames, FieldPrefix) {
  EXPECT_EQ(HeaderFieldPrefix("Subject"), "Subject: ");
  EXPECT_EQ(HeaderFieldPrefix(" Subject: "), "Subject: ");
  try {
    HeaderFieldPrefix("  ");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), FromUtf8("Übergebener Headername ist leer!"));
  }
}

TEST(HeaderNames, SplitHeaderLine) {
  std::string name = "old", value = "old";
  EXPECT_FALSE(SplitHeaderLine("", name, value));
  EXPECT_FALSE(SplitHeaderLine(" folded: line", name, value));
  EXPECT_FALSE(SplitHeaderLine(":value", name, value));
  EXPECT_FALSE(SplitHeaderLine("no separator", name, value));
  EXPECT_EQ(name, "old");
  ASSERT_TRUE(SplitHeaderLine("Subject:value", name, value));
  EXPECT_EQ(name, "Subject");
  EXPECT_EQ(value, "value");
  ASSERT_TRUE(SplitHeaderLine("Subject:  two", name, value));
  EXPECT_EQ(value, " two");
  ASSERT_TRUE(SplitHeaderLine("X-Name \t: v", name, value));
  EXPECT_EQ(name, "X-Name");
  ASSERT_TRUE(SplitHeaderLine("var=some value", name, value));
  EXPECT_EQ(name, "var");
  EXPECT_EQ(value, "some value");
  ASSERT_TRUE(SplitHeaderLine("a=b: c", name, value));  // the colon wins
  EXPECT_EQ(name, "a=b");
}

TEST(HeaderNames, Validity) {
  UseShippedHeaderOrder();
  int bad = -1;
  EXPECT_TRUE(IsValidHeaderName("X-Mailer", bad));
  EXPECT_EQ(bad, 0);
  EXPECT_TRUE(IsValidHeaderName("", bad));
  EXPECT_TRUE(IsValidHeaderName("A:b\x7F\x80", bad));
  EXPECT_FALSE(IsValidHeaderName(FromUtf8("Grüße"), bad));
  EXPECT_EQ(bad, 3);
  EXPECT_FALSE(IsValidHeaderName("Two words", bad));
  EXPECT_EQ(bad, 4);
  EXPECT_TRUE(IsValidHeaderName("!MAIL FROM", bad));
  EXPECT_TRUE(IsValidHeaderName("!rcpt to", bad));
}

TEST(HeaderOrderFile, ShippedFileHoldsTheEnvelopeNames) {
  UseShippedHeaderOrder();
  std::vector<std::string> shipped =
      SplitLines(ReadFile(std::string(TIDELARN_SOURCE_DIR) + "/data/lHeader.txt"));
  EXPECT_EQ(shipped, (std::vector<std::string>{"!MAIL FROM", "!RCPT TO"}));
  EXPECT_EQ(HeaderOrder(), shipped);
  EXPECT_EQ(HeaderOrderIndexOf("!rcpt TO"), 1);
  EXPECT_EQ(HeaderOrderIndexOf("Subject"), -1);
}

// Loading happens once per process, so each case runs in a fresh child.
int LoadIn(const char* fileText, std::vector<std::string> expected, const char* expectedFile) {
  TempDir dir;
  if (fileText) WriteFile(dir / "lHeader.txt", fileText);
  SetProgramDir(dir.Path());
  bool ok = HeaderOrder() == expected && ReadFile(dir / "lHeader.txt") == expectedFile;
  return ok ? 0 : 1;
}

TEST(HeaderOrderFile, MissingOrEmptyFileGetsTheDefaults) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::vector<std::string> defaults{"!MAIL FROM", "!RCPT TO"};
  EXPECT_EXIT(std::exit(LoadIn(nullptr, defaults, "!MAIL FROM\r\n!RCPT TO\r\n")),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(std::exit(LoadIn("", defaults, "!MAIL FROM\r\n!RCPT TO\r\n")),
              ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(std::exit(LoadIn("X-Local\nX-Other\n", {"X-Local", "X-Other"}, "X-Local\nX-Other\n")),
              ::testing::ExitedWithCode(0), "");
}

// The write fails only when the buffered text is flushed at close (a full
// disk): one error, the defaults kept, the stream closed once.
int LoadOntoFullDisk() {
  TempDir dir;
  std::filesystem::create_symlink("/dev/full", dir / "lHeader.txt");
  SetProgramDir(dir.Path());
  try {
    HeaderOrder();
    return 2;
  } catch (const EInOutError&) {
  }
  return HeaderOrder() == std::vector<std::string>{"!MAIL FROM", "!RCPT TO"} ? 0 : 1;
}

TEST(HeaderOrderFile, AFailedCloseIsOneErrorAndKeepsTheDefaults) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(LoadOntoFullDisk()), ::testing::ExitedWithCode(0), "");
}

TEST_F(Header, FieldLookupNeedsTheBlankAfterTheColon) {
  Fill({"To-Be: x", "TO: upper", "To:tight", "Subject: first", "Subject: second"});
  EXPECT_EQ(header.IndexOfField("to"), 1);
  EXPECT_EQ(header.IndexOfField("To:"), 1);
  EXPECT_EQ(header.IndexOfField("Cc"), -1);
  EXPECT_EQ(header.IndexOfField(" \tto-be: "), 0);  // trimmed, and its own colon counts
  EXPECT_EQ(header.IndexOfField("To-B"), -1);
  EXPECT_TRUE(header.HasField("subject"));
  EXPECT_EQ(header.GetField("Subject", true), "first");
  EXPECT_EQ(header.GetField("Cc", true), "");
  EXPECT_EQ(header.FieldNameAt(2), "");
  EXPECT_EQ(header.FieldNameAt(0), "To-Be");
  EXPECT_EQ(header.GetFieldAt(2, true), "ight");  // the character after the colon is always skipped
  EXPECT_THROW(header.GetFieldAt(5, true), EStringListError);
  EXPECT_THROW(header.IndexOfField(""), Exception);
  EXPECT_THROW(header.IndexOfField(" \t"), Exception);
}

TEST_F(Header, SetFieldReplacesInPlaceAppendsAndDeletes) {
  Fill({"From: a@b.example", "Subject: one", "Subject: two"});
  EXPECT_FALSE(header.SetField("Subject", "one"));
  EXPECT_FALSE(header.Changed);
  EXPECT_TRUE(header.SetField("subject", "new"));
  EXPECT_EQ(header.Get(1), "subject: new");
  EXPECT_TRUE(header.SetField("Lines", "3"));
  EXPECT_EQ(header.Get(3), "Lines: 3");
  EXPECT_TRUE(header.SetField("Subject", ""));
  EXPECT_EQ(header.Lines(),
            (std::vector<std::string>{"From: a@b.example", "Subject: two", "Lines: 3"}));
  header.Changed = false;
  EXPECT_FALSE(header.SetField("Cc", ""));
  EXPECT_FALSE(header.Changed);
  EXPECT_THROW(header.SetField(" ", "x"), Exception);
}

TEST_F(Header, ValuesAreStoredEncodedAndReadDecoded) {
  const std::string subject = FromUtf8("Grüße aus Köln");
  EXPECT_TRUE(header.SetField("Subject", subject));
  EXPECT_EQ(header.Get(0), "Subject: =?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=");
  EXPECT_EQ(header.GetField("Subject", false), subject);
  EXPECT_EQ(header.GetField("Subject", true), "=?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=");
  EXPECT_FALSE(header.SetField("Subject", subject));  // encodes to the stored line

  header.Add(FromUtf8("X-Note: Müll"));
  EXPECT_EQ(header.Get(1), "X-Note: =?iso-8859-1?Q?M=FCll?=");
  header.AddRaw(FromUtf8("X-Raw: Müll"));
  EXPECT_EQ(header.Get(2), FromUtf8("X-Raw: Müll"));
  header.Insert(0, FromUtf8("X-Ins: Müll"));
  EXPECT_EQ(header.Get(0), FromUtf8("X-Ins: Müll"));
}
