#include <gtest/gtest.h>

#include <sys/stat.h>

#include "SysUtils.h"
#include "TestSupport.h"
#include "uSkript.h"

namespace {

TEST(StartsWithKeyword, WholeWordsOnly) {
  std::string t = "SUB main ";
  EXPECT_TRUE(StartsWithKeyword("sub", t));
  EXPECT_EQ(t, "main");

  for (const char* text : {"Subject: x", "Su", "subway"}) {
    t = text;
    EXPECT_FALSE(StartsWithKeyword("Sub", t)) << text;
    EXPECT_EQ(t, text);
  }
  for (const char* text : {"Sub_x", "Sub1", "Sub-x", "Sub(", "Sub\tx", "Sub"}) {
    t = text;
    EXPECT_TRUE(StartsWithKeyword("Sub", t)) << text;
  }
  t = "<=5";
  EXPECT_TRUE(StartsWithKeyword("<=", t)) << "symbol words need no word end";
  EXPECT_EQ(t, "5");
  t = "=x";
  EXPECT_TRUE(StartsWithKeyword("=", t));
  t = "Do Include\t'x' \r\n";
  EXPECT_TRUE(StartsWithKeyword("Do Include", t));
  EXPECT_EQ(t, "'x'");
}

struct KindCase {
  const char* source;
  uint8_t kind;
};
void PrintTo(const KindCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.source) << " is kind " << int(c.kind);
}

class LineKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(LineKinds, Classify) {
  TZeile line;
  line.SetSource(GetParam().source);
  EXPECT_EQ(int(line.Kind()), int(GetParam().kind)) << GetParam().source;
}

using namespace LineKind;
INSTANTIATE_TEST_SUITE_P(
    All, LineKinds,
    ::testing::Values(
        KindCase{"", Empty}, KindCase{" \t ", Empty}, KindCase{"# x", Empty}, KindCase{"  'x", Empty},
        KindCase{"/x", Empty}, KindCase{";x", Empty}, KindCase{"\\x", Empty}, KindCase{" :label", Label},
        KindCase{"Set %a% = 1", Command}, KindCase{"sub", Sub}, KindCase{"SUB main", Sub}, KindCase{"Sub x(a)", Sub},
        KindCase{"Subject: hi", Command}, KindCase{"Sub_x", Sub}, KindCase{"Sub1", Sub}, KindCase{"End Sub", EndSub},
        KindCase{"endsub", EndSub}, KindCase{"End Select", EndSelect}, KindCase{"Endselect", EndSelect},
        KindCase{"End", Command}, KindCase{"End If", Command}, KindCase{"Endif", Command},
        KindCase{"For %i% = 1 to 3 do Set %a% = 1", ForDo}, KindCase{"FOR %i% = 1 to 3 DO x", ForDo},
        KindCase{"For %i% = 1 to 3 do", For}, KindCase{"For %i% = 1 to 3", For}, KindCase{"For %do% = 1", For},
        KindCase{"Next", Next}, KindCase{"next %i%", Next}, KindCase{"While x", While}, KindCase{"Wend", Wend},
        KindCase{"Repeat", Repeat}, KindCase{"Until x", Until}, KindCase{"Endless", Endless}, KindCase{"Loop", Loop},
        KindCase{"Select Case %a%", Select}, KindCase{"Case 1", Case}, KindCase{"Case Else", CaseElse},
        KindCase{"case else x", CaseElse}, KindCase{"Select x", Command}, KindCase{"Select Endsub", EndSub},
        KindCase{"Nextx", Command}, KindCase{"Loops", Command}),
    NamedBy<&KindCase::source>());

TEST(Skript, CommandLinesKnowTheirIfWord) {
  using namespace CommandWord;
  const std::pair<const char*, uint8_t> cases[] = {
      {"  If %a% = 1 then", If}, {"ELSEIF x", ElseIf}, {"else  if x", ElseIf}, {"Else", Else},
      {" else ", Else},          {"Else x", Plain},    {"EndIf", EndIf},        {"endifx", EndIf},
      {"End if", Plain},         {"Iffy: 1", Plain},   {"%a% = 1", Plain},      {"Next", None},
      {"; if", None}};
  TZeile line;
  for (const auto& [source, word] : cases) {
    line.SetSource(source);
    EXPECT_EQ(int(line.Word()), int(word)) << source;
  }

  // Assignments know their target and where the rest of the trimmed line begins.
  line.SetSource("  %ab-1% \t= 1 ");
  EXPECT_EQ(line.Target(), "AB-1");
  EXPECT_EQ(line.TargetEnd(), 8u);
  line.SetSource("%a%");
  EXPECT_EQ(line.Target(), "A");
  EXPECT_EQ(line.TargetEnd(), 3u);
  for (const char* source : {"%a b% = 1", "%% = 1", "%a = 1", "If %a% = 1 then", "X-A: %a%"}) {
    line.SetSource(source);
    EXPECT_EQ(line.Target(), "") << source;
  }
}

TEST(Skript, SetLinesNumbersFromOne) {
  TSkript s;
  EXPECT_EQ(s.CurrentLine, 0);
  s.SetLines("header.def", {"Sub main", "  Set %a% = 1", "End Sub"});
  EXPECT_EQ(s.CurrentLine, 1);
  ASSERT_EQ(s.Count(), 3);
  EXPECT_EQ(s.GetLine(1).Text, "  Set %a% = 1");
  EXPECT_EQ(s.GetLine(1).Source(), "  Set %a% = 1");
  EXPECT_EQ(s.GetLine(1).LineNo, 2);
  EXPECT_EQ(s.GetLine(2).Kind(), EndSub);
  EXPECT_EQ(s.GetFileName(2), "header.def");
  EXPECT_EQ(s.GetLineNo(2), 3);
  EXPECT_THROW(s.GetLine(3), ERangeError);
  EXPECT_THROW(s.GetLine(-1), ERangeError);
  s.Clear();
  EXPECT_EQ(s.Count(), 0);
}

TEST(Skript, IncludeReplacesTheLineAndKeepsOrigins) {
  TempDir dir;
  WriteFile(dir / "inc.txt", "a\r\n\r\nb");
  TSkript s;
  s.SetLines("main.def", {"first", "Do Include 'inc.txt'", "last"});
  s.IncludeFile(1, dir / "inc.txt");
  ASSERT_EQ(s.Count(), 5);
  const char* sources[] = {"first", "a", "", "b", "last"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.GetLine(i).Source(), sources[i]) << i;

  EXPECT_EQ(s.GetLine(1).Text, "Do Include 'inc.txt'");
  EXPECT_EQ(s.GetLine(1).FileName, "main.def");
  EXPECT_EQ(s.GetLine(1).LineNo, 2);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(s.GetFileName(i), dir / "inc.txt");
    EXPECT_EQ(s.GetLineNo(i), i);
  }
  EXPECT_EQ(s.GetLine(2).LineNo, 0);
  EXPECT_EQ(s.GetLine(2).Text, "");
  EXPECT_EQ(s.GetLine(2).FileName, "");
  EXPECT_EQ(s.GetLine(2).Kind(), Empty);
  EXPECT_EQ(s.GetFileName(4), "main.def");
  EXPECT_EQ(s.GetLineNo(4), 3);
}

TEST(Skript, IncludeSplitsAtLineFeedsOnly) {
  TempDir dir;
  WriteFile(dir / "a.inc", "x\ry\n\nSub z\n");
  TSkript s;
  s.SetLines("m", {"Do Include"});
  s.IncludeFile(0, dir / "a.inc");
  ASSERT_EQ(s.Count(), 3);
  EXPECT_EQ(s.GetLine(0).Source(), "xy");
  EXPECT_EQ(s.GetLine(1).Source(), "");
  EXPECT_EQ(s.GetLine(2).Kind(), Sub);
}

TEST(Skript, EmptyOrUnreadableIncludeLeavesAnEmptyLine) {
  TempDir dir;
  WriteFile(dir / "empty.inc", "");
  TSkript s;
  s.SetLines("m", {"Do Include x", "next"});
  s.IncludeFile(0, dir / "empty.inc");
  ASSERT_EQ(s.Count(), 2);
  EXPECT_EQ(s.GetLine(0).Kind(), Empty);

  s.SetLines("m", {"Do Include x"});
  EXPECT_THROW(s.IncludeFile(0, dir / "missing.inc"), EInOutError);
  EXPECT_EQ(s.GetLine(0).Source(), "");
  EXPECT_EQ(s.GetLine(0).Kind(), Empty);
  EXPECT_THROW(s.IncludeFile(0, dir.Path()), EInOutError) << "a folder is no script";
  mkfifo((dir / "fifo").c_str(), 0600);
  EXPECT_THROW(s.IncludeFile(0, dir / "fifo"), EInOutError) << "a pipe must not block the run";
}

}  // namespace
