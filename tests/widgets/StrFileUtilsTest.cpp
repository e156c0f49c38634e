// The string, file and command-line helpers of the edit widgets.
#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>

#include <random>

#include "FileUtil.h"
#include "RxStrUtils.h"
#include "TestSupport.h"
#include "VCLUtils.h"
#include "WidgetTestSupport.h"

namespace {

std::pair<std::string, std::string> Split(std::string_view cmd) {
  std::pair<std::string, std::string> r;
  SplitProgramAndParams(cmd, r.first, r.second);
  return r;
}

TEST(RemoveBackSlash, KeepsRootsAndDropsOneTrailingSeparator) {
  EXPECT_EQ(RemoveBackSlash("C:\\"), "C:\\");
  EXPECT_EQ(RemoveBackSlash("C:\\Temp\\"), "C:\\Temp");
  EXPECT_EQ(RemoveBackSlash("/tmp/"), "/tmp");
  EXPECT_EQ(RemoveBackSlash("/"), "/");
  EXPECT_EQ(RemoveBackSlash("\\"), "\\");
  EXPECT_EQ(RemoveBackSlash("a"), "a");
  EXPECT_EQ(RemoveBackSlash(""), "");
}

TEST(ValidFileName, RefusesEmptyNamesAndTheReservedCharacters) {
  EXPECT_FALSE(ValidFileName(""));
  for (const char* bad : {"a|b", "a<b", "a>b", "a\"b", "a[1]", "b]"})
    EXPECT_FALSE(ValidFileName(bad)) << bad;
  EXPECT_TRUE(ValidFileName("name with blanks.txt"));
  EXPECT_TRUE(ValidFileName("c:\\pgp\\pgp.exe"));
}

TEST(ExtractSubstr, WalksADelimitedList) {
  int pos = 1;
  EXPECT_EQ(ExtractSubstr("a;b", pos, ";"), "a");
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(ExtractSubstr("a;b", pos, ";"), "b");
  EXPECT_EQ(pos, 4);
  EXPECT_EQ(ExtractSubstr("a;b", pos, ";"), "");
  EXPECT_EQ(pos, 4);

  pos = 0;  // counts as 1
  EXPECT_EQ(ExtractSubstr(";x,y", pos, ";,"), "");
  EXPECT_EQ(ExtractSubstr(";x,y", pos, ";,"), "x");
  EXPECT_EQ(ExtractSubstr(";x,y", pos, ";,"), "y");
  EXPECT_EQ(pos, 5);
}

TEST(FileNames, LinuxHasOnlyOneNamePerFile) {
  TempDir dir;
  WriteFile(dir / "Long Name.txt", "x");
  EXPECT_TRUE(FolderExists(dir.Path()));
  EXPECT_FALSE(FolderExists(dir / "Long Name.txt"));
  EXPECT_FALSE(FolderExists(dir / "missing"));
  EXPECT_EQ(LongFileName(dir / "Long Name.txt"), "Long Name.txt");
  EXPECT_EQ(ShortFileName(dir / "Long Name.txt"), "Long Name.txt");
  EXPECT_EQ(LongFileName(dir / "missing"), "");
  EXPECT_EQ(ShortFileName(dir / "missing"), "");
  EXPECT_EQ(LongPathName(dir / "Long Name.txt"), dir / "Long Name.txt");
  EXPECT_EQ(ShortPathName("C:\\PROGRA~1\\x"), "C:\\PROGRA~1\\x");
}

TEST(SplitProgramAndParams, QuotedProgramAndParameters) {
  auto [program, params] = Split("\"C:\\Program Files\\pgp.exe\" -sign \"two words\"");
  EXPECT_EQ(program, "C:\\Program Files\\pgp.exe");
  EXPECT_EQ(params, "-sign \"two words\"");

  EXPECT_EQ(Split("c:\\pgp\\pgp.exe"),
            std::make_pair(std::string("c:\\pgp\\pgp.exe"), std::string()));
  EXPECT_EQ(Split(""), std::make_pair(std::string(), std::string()));
  EXPECT_EQ(Split(" \t\r\n "), std::make_pair(std::string(), std::string()));
}

TEST(SplitProgramAndParams, BlanksQuotesAndPairsOfQuotes) {
  // Control bytes separate words; pairs of quotes between words vanish; quotes
  // inside a word only group; an open quote runs to the end.
  EXPECT_EQ(Split("prog\ta\r\nb"), std::make_pair(std::string("prog"), std::string("a b")));
  EXPECT_EQ(Split("\"\" prog \"\" a"), std::make_pair(std::string("prog"), std::string("a")));
  EXPECT_EQ(Split("C:\\\"Program Files\"\\x.exe  y"),
            std::make_pair(std::string("C:\\Program Files\\x.exe"), std::string("y")));
  EXPECT_EQ(Split("prog \"open end"),
            std::make_pair(std::string("prog"), std::string("\"open end\"")));
  // Bytes above 127 belong to words (UTF-8 names).
  EXPECT_EQ(Split("\xC3\xA4.exe \xC3\xB6"),
            std::make_pair(std::string("\xC3\xA4.exe"), std::string("\xC3\xB6")));
}

TEST(SplitProgramAndParams, LongWordsStayWhole) {
  const std::string word(1000, 'w');
  EXPECT_EQ(Split(word + " " + word), std::make_pair(word, word));
}

TEST(SplitProgramAndParams, ParametersSplitAgainToThemselves) {
  std::mt19937 rng(7);
  const char alphabet[] = {'a', 'b', ' ', '"', '\t'};
  for (int round = 0; round < 2000; ++round) {
    std::string cmd;
    for (int n = rng() % 24; n > 0; --n) cmd += alphabet[rng() % sizeof alphabet];
    auto [program, params] = Split(cmd);
    EXPECT_EQ(program.find('"'), std::string::npos) << cmd;
    EXPECT_EQ(Split("x " + params).second, params) << cmd;
  }
}

TEST(KeepRectOnScreen, MovesWithoutResizing) {
  const QRect screen(0, 0, 800, 600);
  EXPECT_EQ(KeepRectOnScreen(QRect(750, 580, 100, 50), screen), QRect(700, 550, 100, 50));
  EXPECT_EQ(KeepRectOnScreen(QRect(-20, -5, 100, 50), screen), QRect(0, 0, 100, 50));
  // Too big: the top-left corner wins.
  EXPECT_EQ(KeepRectOnScreen(QRect(100, 100, 900, 700), screen), QRect(0, 0, 900, 700));
  EXPECT_EQ(KeepRectOnScreen(QRect(10, 10, 20, 20), screen), QRect(10, 10, 20, 20));
}

TEST(MakeEmbossedGlyph, ShadowOverHighlightOnTheBackground) {
  const QColor magenta(255, 0, 255), back(192, 192, 192), shadow(128, 128, 128),
      light(255, 255, 255);
  QImage glyph(3, 3, QImage::Format_RGB32);
  glyph.fill(magenta);
  glyph.setPixelColor(0, 0, Qt::red);
  glyph.setPixelColor(1, 1, Qt::blue);
  const QImage e = MakeEmbossedGlyph(glyph, magenta, back, true, shadow, light);
  EXPECT_EQ(e.pixelColor(0, 0), shadow);
  EXPECT_EQ(e.pixelColor(1, 1), shadow);  // shadow covers the highlight of (0, 0)
  EXPECT_EQ(e.pixelColor(2, 2), light);
  EXPECT_EQ(e.pixelColor(2, 0), back);
  EXPECT_EQ(e.pixelColor(0, 2), back);
  const QImage flat = MakeEmbossedGlyph(glyph, magenta, back, false, shadow, light);
  EXPECT_EQ(flat.pixelColor(2, 2), back);
}

TEST(EllipsizeToWidth, CutsFromTheEnd) {
  EnsureTestApplication();
  const QFontMetrics fm{QFont()};
  const QString text = QStringLiteral("A rather long line of text");
  EXPECT_EQ(EllipsizeToWidth(text, fm, fm.horizontalAdvance(text)), text);
  const QString cut = EllipsizeToWidth(text, fm, fm.horizontalAdvance(text) / 2);
  EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
  EXPECT_TRUE(text.startsWith(cut.chopped(3)));
  EXPECT_LE(fm.horizontalAdvance(cut), fm.horizontalAdvance(text) / 2);
}

}  // namespace
