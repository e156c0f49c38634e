#include "uTools.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ProgramDir.h"
#include "TestSupport.h"

using Lines = std::vector<std::string>;

namespace {

// Runs a test with a program directory of its own and restores the old one.
class InProgramDir : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    saved_ = ProgramDir();
    SetProgramDir(dir_.Path());
  }
  void TearDown() override {
    SetProgramDir(saved_);
    SetInternalCharset("");
  }
  TempDir dir_;
  std::string saved_;
};

class Utf8Internal : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetInternalCharset("utf-8");
  }
  void TearDown() override { SetInternalCharset(""); }
};

const std::string kAe = "\xC3\xA4";            // ä
const std::string kEuro = "\xE2\x82\xAC";      // €
const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600

std::string WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

Lines ListDir(const std::string& dir) {
  Lines names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST_F(InProgramDir, InternalCharsetComesFromSpecialsIni) {
  InitInternalCharset();
  EXPECT_EQ(InternalCharsetName(), "windows-1252");  // charset 0 of the tables
  EXPECT_FALSE(InternalCharsetIsUtf8());

  WriteFile(dir_ / "Specials.ini", "[Charsets]\r\nInternal=utf-8\r\n");
  InitInternalCharset();
  EXPECT_TRUE(InternalCharsetIsUtf8());
  EXPECT_EQ(hooks::Length(kAe + "b"), 2);
  EXPECT_EQ(FromUtf8("ä"), kAe);  // texts of the source arrive unchanged

  // The tables know the name in any case; the hooks follow them.
  WriteFile(dir_ / "Specials.ini", "[Charsets]\r\nInternal=UTF-8\r\n");
  InitInternalCharset();
  EXPECT_EQ(InternalCharsetName(), "utf-8");
  EXPECT_EQ(hooks::Length(kAe + "b"), 2);

  WriteFile(dir_ / "Specials.ini", "[Charsets]\r\nInternal=no-such-charset\r\n");
  InitInternalCharset();
  EXPECT_EQ(InternalCharsetName(), "windows-1252");
  EXPECT_EQ(hooks::Length(kAe + "b"), 3);
  EXPECT_EQ(FromUtf8("ä"), "\xE4");
}

TEST_F(Utf8Internal, HooksCountCharacters) {
  std::string umlauts = kAe + "\xC3\xB6\xC3\xBC";  // äöü
  EXPECT_EQ(hooks::Length(umlauts), 3);
  EXPECT_EQ(hooks::Copy(umlauts, 2, 1), "\xC3\xB6");
  EXPECT_EQ(hooks::Ord(kEuro), 8364);
  EXPECT_EQ(hooks::Pos("\xC3\xBC", umlauts), 3);

  SetInternalCharset("iso-8859-1");
  EXPECT_EQ(hooks::Length(umlauts), 6);
  EXPECT_EQ(hooks::Copy(umlauts, 2, 1), "\xA4");
  EXPECT_EQ(hooks::Ord(umlauts), 0xC3);
  EXPECT_EQ(hooks::Pos("\xC3\xBC", umlauts), 5);
}

TEST(Utf8, Length) {
  EXPECT_EQ(Utf8Length(""), 0);
  EXPECT_EQ(Utf8Length("a" + kAe + kEuro + kEmoji), 4);
  EXPECT_EQ(Utf8Length(std::string("ab\0cd", 5)), 2);  // stops at NUL
  EXPECT_EQ(Utf8Length("a" + kEuro.substr(0, 2)), 1);  // cut sequence not counted
  EXPECT_EQ(Utf8Length("\x80\x80"), 1);               // stray continuation: 2 bytes
  EXPECT_EQ(Utf8Length("\xFF"), 0);
}

TEST(Utf8, Copy) {
  std::string s = "a" + kAe + kEuro + "z";
  EXPECT_EQ(Utf8Copy(s, 2, 2), kAe + kEuro);
  EXPECT_EQ(Utf8Copy(s, 3, 99), kEuro + "z");
  EXPECT_EQ(Utf8Copy(s, 0, 2), "a" + kAe);
  EXPECT_EQ(Utf8Copy(s, 4, 1), "z");
  EXPECT_EQ(Utf8Copy(s, 5, 1), "");
  EXPECT_EQ(Utf8Copy(s, 1, 0), "");
  EXPECT_EQ(Utf8Copy(s, 1, -3), "");
  EXPECT_EQ(Utf8Copy("", 1, 1), "");
  EXPECT_EQ(Utf8Copy(std::string("ab\0cd", 5), 2, 5), "b");
  EXPECT_EQ(Utf8Copy("a" + kEuro.substr(0, 2), 1, 5), "a");
  EXPECT_EQ(Utf8Copy("a" + kEuro.substr(0, 2), 2, 1), "");
  EXPECT_EQ(Utf8Copy("x", INT64_MAX, INT64_MAX), "");
}

TEST(Utf8, Ord) {
  EXPECT_EQ(Utf8Ord(""), 0);
  EXPECT_EQ(Utf8Ord("A"), 65);
  EXPECT_EQ(Utf8Ord(kAe), 0xE4);
  EXPECT_EQ(Utf8Ord(kEuro), 8364);
  EXPECT_EQ(Utf8Ord(kEmoji), 0);
  EXPECT_EQ(Utf8Ord("\x80"), 0);
  EXPECT_EQ(Utf8Ord("\xC3"), 0);      // cut by the end
  EXPECT_EQ(Utf8Ord("\xC3" "A"), 0);  // continuation below 128
  EXPECT_EQ(ByteOrd(""), 0);
  EXPECT_EQ(ByteOrd("\xFF"), 255);
}

TEST(Utf8, Pos) {
  std::string s = kAe + kEuro + "ab";
  EXPECT_EQ(Utf8Pos("ab", s), 3);
  EXPECT_EQ(Utf8Pos(kAe, s), 1);
  EXPECT_EQ(Utf8Pos("q", s), 0);
  EXPECT_EQ(Utf8Pos("", s), 0);
  EXPECT_EQ(Utf8Pos("b", "ab"), 2);
}

TEST(Tools, FillPattern) {
  EXPECT_EQ(FillPattern("-=", 5), "-=-=-");
  EXPECT_EQ(FillPattern("-=", 4), "-=-=");
  EXPECT_EQ(FillPattern("abc", 2), "ab");
  EXPECT_EQ(FillPattern("", 5), "");
  EXPECT_EQ(FillPattern("-", 0), "");
  EXPECT_EQ(FillPattern("-", -7), "");
}

TEST_F(Utf8Internal, FillPatternCountsCharacters) {
  EXPECT_EQ(FillPattern(kAe + "-", 3), kAe + "-" + kAe);
}

TEST(RunAndWait, PassesQuotedParametersInTheProgramsFolder) {
  TempDir dir;
  std::string script = WriteScript(dir / "echoargs",
                                   "for a in \"$@\"; do printf '[%s]' \"$a\"; done > args\npwd > where\n");
  ASSERT_TRUE(RunAndWait(script, R"(one "two words" "a ""quoted"" word" C:\path\)"));
  EXPECT_EQ(ReadFile(dir / "args"), R"([one][two words][a "quoted" word][C:\path\])");
  EXPECT_EQ(ReadFile(dir / "where"), dir.Path() + "\n");

  ASSERT_TRUE(RunAndWait(script, ""));
  EXPECT_EQ(ReadFile(dir / "args"), "");
}

TEST(RunAndWait, RelativeNamesAndFailures) {
  TempDir dir;
  mkdir((dir / "bin").c_str(), 0755);
  WriteScript(dir / "bin/fails", "echo ran > ran\nexit 3\n");
  std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  bool started = RunAndWait("bin\\fails", "");
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(started);  // a non-zero exit is still a start
  EXPECT_EQ(ReadFile(dir / "bin/ran"), "ran\n");

  EXPECT_FALSE(RunAndWait(dir / "missing", "x"));
  EXPECT_FALSE(RunAndWait("", ""));
  WriteFile(dir / "document.txt", "not a program");
  EXPECT_FALSE(RunAndWait(dir / "document.txt", ""));
  EXPECT_TRUE(RunAndWait("true", ""));  // found on PATH
}

TEST_F(InProgramDir, MakeTempFileName) {
  std::string a = MakeTempFileName();
  std::string b = MakeTempFileName();
  EXPECT_NE(a, b);
  EXPECT_EQ(ExtractFilePath(a), ProgramDir());
  EXPECT_EQ(ExtractFileName(a).substr(0, 3), "VQ-");
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(ReadFile(a), "");
}

TEST(Win32Error, MessagesAndCode) {
  try {
    RaiseWin32Error(ENOENT);
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode, uint32_t(ENOENT));
    EXPECT_EQ(e.Message().rfind("Win32-Fehler. Code: 2.'#10'", 0), 0u);
    EXPECT_GT(e.Message().size(), std::string("Win32-Fehler. Code: 2.'#10'").size());
  }
  try {
    RaiseWin32Error(0);
  } catch (const EWin32Error& e) {
    EXPECT_EQ(e.ErrorCode, 0u);
    EXPECT_EQ(e.Message(), "Eine Win32-API-Funktion ist fehlgeschlagen");
  }
}

TEST(SaveToUniqueFile, NumbersTheStar) {
  TempDir dir;
  std::string name;
  SaveToUniqueFile(dir.Path(), "Copy_*.html", "one", name, 0);
  EXPECT_EQ(name, dir / "Copy_1.html");
  SaveToUniqueFile(dir.Path(), "Copy_*.html", "two", name, 0);
  EXPECT_EQ(name, dir / "Copy_2.html");
  EXPECT_EQ(ReadFile(dir / "Copy_1.html"), "one");
  EXPECT_EQ(ReadFile(dir / "Copy_2.html"), "two");
  // Only the last star is the number's place.
  SaveToUniqueFile(dir.Path(), "a*b*.txt", "x", name, 0);
  EXPECT_EQ(name, dir / "a_b1.txt");
}

TEST(SaveToUniqueFile, ExistingFileByMode) {
  TempDir dir;
  std::string name;
  SaveToUniqueFile(dir.Path() + "/", "part.txt", "first", name, 0);
  EXPECT_EQ(name, dir / "part.txt");
  SaveToUniqueFile(dir.Path(), "part.txt", "kept?", name, 0);
  EXPECT_EQ(name, "");
  EXPECT_EQ(ReadFile(dir / "part.txt"), "first");
  SaveToUniqueFile(dir.Path(), "part.txt", "beside", name, 2);
  EXPECT_EQ(name, dir / "part[1].txt");
  SaveToUniqueFile(dir.Path(), "part.txt", "beside again", name, 2);
  EXPECT_EQ(name, dir / "part[2].txt");
  SaveToUniqueFile(dir.Path(), "part.txt", std::string("new\0text", 8), name, 1);
  EXPECT_EQ(name, dir / "part.txt");
  EXPECT_EQ(ReadFile(dir / "part.txt"), std::string("new\0text", 8));
  EXPECT_EQ(ListDir(dir.Path()), (Lines{"part.txt", "part[1].txt", "part[2].txt"}));
}

TEST(SaveToUniqueFile, HostileNames) {
  TempDir dir;
  mkdir((dir / "sub").c_str(), 0755);
  std::string name;
  for (const char* hostile : {"", ".", ".."}) {
    SaveToUniqueFile(dir / "sub", hostile, "x", name, 2);
    EXPECT_EQ(ExtractFileName(name).substr(0, 9), "AutoSave_");
  }
  EXPECT_EQ(ListDir(dir / "sub"), (Lines{"AutoSave_", "AutoSave_[1]", "AutoSave_[2]"}));

  SaveToUniqueFile(dir / "sub", "../../etc/passwd", "x", name, 1);
  EXPECT_EQ(name, dir / "sub/.._.._etc_passwd");
  SaveToUniqueFile(dir / "sub", std::string("a\0b\r\n\x1B\x7F<>?\\|:\"c", 15), "x", name, 1);
  EXPECT_EQ(name, dir / ("sub/a_b" + std::string(11, '_') + "c"));

  // Long names are cut to 200 bytes and keep their extension.
  SaveToUniqueFile(dir.Path(), std::string(300, 'n') + ".pdf", "x", name, 1);
  EXPECT_EQ(ExtractFileName(name), std::string(196, 'n') + ".pdf");
  SaveToUniqueFile(dir.Path(), "x." + std::string(300, 'e'), "x", name, 1);
  EXPECT_EQ(ExtractFileName(name).size(), 200u);
}

TEST(SaveToUniqueFile, NeverFollowsALink) {
  TempDir dir;
  WriteFile(dir / "target", "precious");
  ASSERT_EQ(symlink((dir / "target").c_str(), (dir / "att.txt").c_str()), 0);
  ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "att_1.txt").c_str()), 0);
  std::string name;
  SaveToUniqueFile(dir.Path(), "att.txt", "evil", name, 1);
  EXPECT_EQ(name, dir / "att[1].txt");
  SaveToUniqueFile(dir.Path(), "att_*.txt", "evil", name, 1);
  EXPECT_EQ(name, dir / "att_2.txt");
  EXPECT_EQ(ReadFile(dir / "target"), "precious");
  EXPECT_FALSE(FileExists(dir / "nowhere"));

  // An existing folder of that name is no file to overwrite either.
  mkdir((dir / "folder").c_str(), 0755);
  SaveToUniqueFile(dir.Path(), "folder", "x", name, 1);
  EXPECT_EQ(name, dir / "folder[1]");
}

TEST(SaveToUniqueFile, PrivateInASharedFolderAndNoTemporaryStays) {
  TempDir dir;
  const mode_t old = umask(022);
  std::string name;
  for (mode_t folderMode : {0755, 01777}) {
    chmod(dir.Path().c_str(), folderMode);
    for (uint8_t mode : {0, 1, 2}) {
      SaveToUniqueFile(dir.Path(), "a.txt", "x", name, mode);
      struct stat st {};
      stat(name.empty() ? (dir / "a.txt").c_str() : name.c_str(), &st);
      EXPECT_EQ(st.st_mode & 0777, folderMode == 0755 ? 0644u : 0600u) << name;
    }
    EXPECT_EQ(ListDir(dir.Path()), (Lines{"a.txt", "a[1].txt"}));
    unlink((dir / "a.txt").c_str());
    unlink((dir / "a[1].txt").c_str());
  }
  umask(old);
}

TEST(SaveToUniqueFile, FileSystemErrorsRaise) {
  std::string name;
  EXPECT_THROW(SaveToUniqueFile("/nonexistent-folder", "a.txt", "x", name, 1), EInOutError);
  EXPECT_EQ(name, "");
}

TEST(Address, Parse) {
  std::string name, shortName, address;
  ParseAddress("  Max Muster <max@example.org> ", name, shortName, address);
  EXPECT_EQ(name, "Max Muster");
  EXPECT_EQ(shortName, "Max");
  EXPECT_EQ(address, "max@example.org");

  ParseAddress("max@example.org (Muster, Max)", name, shortName, address);
  EXPECT_EQ(name, "Muster, Max");
  EXPECT_EQ(shortName, "Max");
  EXPECT_EQ(address, "max@example.org");

  ParseAddress("\"Muster, Max\" <max@example.org>", name, shortName, address);
  EXPECT_EQ(name, "Muster, Max");
  EXPECT_EQ(shortName, "Max");

  ParseAddress("<max@example.org>", name, shortName, address);
  EXPECT_EQ(name, "max@example.org");
  EXPECT_EQ(shortName, "max@example.org");
  EXPECT_EQ(address, "max@example.org");

  ParseAddress("Max <MAX@EXAMPLE.ORG>", name, shortName, address);
  EXPECT_EQ(name, "Max");
  EXPECT_EQ(shortName, "MAX@EXAMPLE.ORG");  // one word: no short name of its own

  ParseAddress("just text", name, shortName, address);
  EXPECT_EQ(address, "just text");
  EXPECT_EQ(name, "just text");

  ParseAddress("", name, shortName, address);
  EXPECT_EQ(name + shortName + address, "");
}

TEST(Address, SingleQuoteAsName) {
  std::string name, shortName, address;
  ParseAddress("\" <a@b.c>", name, shortName, address);
  EXPECT_EQ(address, "a@b.c");
  EXPECT_EQ(name, "a@b.c");
  ParseAddress("a@b.c (\")", name, shortName, address);
  EXPECT_EQ(address, "a@b.c");
  EXPECT_EQ(name, "a@b.c");
  ParseAddress("\"\" <a@b.c>", name, shortName, address);
  EXPECT_EQ(name, "a@b.c");
}

TEST(Address, Build) {
  EXPECT_EQ(BuildAddress("Max Muster", "max@example.org"), "Max Muster <max@example.org>");
  EXPECT_EQ(BuildAddress("Muster, Max", "m@x"), "\"Muster, Max\" <m@x>");
  EXPECT_EQ(BuildAddress("\"Max M.\"", "m@x"), "\"Max M.\" <m@x>");
  EXPECT_EQ(BuildAddress("\"Max\"", "m@x"), "Max <m@x>");
  EXPECT_EQ(BuildAddress("Say \"hi\"", "m@x"), "\"Say \\\"hi\\\"\" <m@x>");
  EXPECT_EQ(BuildAddress("a\\\"b", "m@x"), "\"a\\\"b\" <m@x>");
  EXPECT_EQ(BuildAddress("m@x", "m@x"), "<m@x>");
  EXPECT_EQ(BuildAddress("", "<m@x>"), "<m@x>");
  EXPECT_EQ(BuildAddress("Max", ""), "Max ");
  EXPECT_EQ(BuildAddress("\"", "m@x"), "\"\\\"\" <m@x>");

  // What BuildAddress writes, ParseAddress reads back.
  std::string name, shortName, address;
  ParseAddress(BuildAddress("Muster, Max", "m@x.de"), name, shortName, address);
  EXPECT_EQ(name, "Muster, Max");
  EXPECT_EQ(address, "m@x.de");
}

TEST(Tools, CutFirstItem) {
  std::string list = " a , b,c ";
  bool more;
  std::string item;
  CutFirstItem(list, more, item);
  EXPECT_TRUE(more);
  EXPECT_EQ(item, "a");
  EXPECT_EQ(list, "b,c");
  CutFirstItem(list, more, item);
  CutFirstItem(list, more, item);
  EXPECT_FALSE(more);
  EXPECT_EQ(item, "c");
  EXPECT_EQ(list, "");
}

TEST(Tools, PickSignature) {
  const Lines blocks{"A1", "A2", "--", "B1", "", "-- ", "C1", "  "};
  Lines lines = blocks;
  PickSignature(lines, 2);
  EXPECT_EQ(lines, (Lines{"B1"}));
  lines = blocks;
  PickSignature(lines, 1);
  EXPECT_EQ(lines, (Lines{"A1", "A2"}));
  lines = blocks;
  PickSignature(lines, 3);
  EXPECT_EQ(lines, (Lines{"C1"}));
  lines = blocks;
  PickSignature(lines, 4);
  EXPECT_EQ(lines, Lines{});
  lines = {};
  PickSignature(lines, 1);
  EXPECT_EQ(lines, Lines{});

  // At random: always one whole block, and over many picks every block.
  std::set<Lines> seen;
  for (int i = 0; i < 200; ++i) {
    lines = blocks;
    PickSignature(lines, 0);
    seen.insert(lines);
  }
  EXPECT_EQ(seen, (std::set<Lines>{{"A1", "A2"}, {"B1"}, {"C1"}}));
}

TEST(Tools, TakeLeadingName) {
  std::string s = "  my-Var_2 = 5";
  std::string name;
  EXPECT_TRUE(TakeLeadingName(s, name));
  EXPECT_EQ(name, "my-Var_2");
  EXPECT_EQ(s, " = 5");
  s = "  =x ";
  EXPECT_FALSE(TakeLeadingName(s, name));
  EXPECT_EQ(s, "=x");
  s = "";
  EXPECT_FALSE(TakeLeadingName(s, name));
}

TEST(Tools, FindCommandLineWord) {
  std::string line = "Do Run(prog) and wait";
  EXPECT_TRUE(FindCommandLineWord(line, "run", false));
  EXPECT_TRUE(FindCommandLineWord(line, "PROG", false));
  EXPECT_FALSE(FindCommandLineWord(line, "an", false));
  EXPECT_TRUE(FindCommandLineWord(line, "and", true));
  EXPECT_EQ(line, " wait");

  line = "x \"and\" 'AND' y";
  EXPECT_FALSE(FindCommandLineWord(line, "and", false));  // quoted text keeps its case and quotes
  EXPECT_FALSE(FindCommandLineWord(line, "AND", false));
  line = "a \"b c\"d";
  EXPECT_TRUE(FindCommandLineWord(line, "d", true));  // the closing quote counts as a blank
  EXPECT_EQ(line, "");
  line = "[wait]";
  EXPECT_TRUE(FindCommandLineWord(line, "wait", true));
  EXPECT_EQ(line, "]");
}

TEST(Tools, StripTrailingCRLFAndSign) {
  EXPECT_EQ(StripTrailingCRLF("x\r\n\r\n\r\n"), "x");
  EXPECT_EQ(StripTrailingCRLF("\r\n"), "\r\n");
  EXPECT_EQ(StripTrailingCRLF("\r\n\r\n"), "\r\n");
  EXPECT_EQ(StripTrailingCRLF("x\n"), "x\n");
  EXPECT_EQ(Sign(-0.5), -1);
  EXPECT_EQ(Sign(0.0), 0);
  EXPECT_EQ(Sign(3), 1);
}
