// Drawing of box quotes: frame pieces, title placement and widths of the box
// types, tab expansion of closed boxes, character counts under utf-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "uEinstellungen.h"
#include "uTools.h"

namespace {

using Lines = std::vector<std::string>;

// The default frame pieces of BoxQuotes.ini.
TBoxQuote DefaultStyle(uint8_t type) {
  TBoxQuote s;
  s.BoxType = type;
  s.StartLine = "boxquote1:";
  s.SepLine = "-";
  s.EndLine = "#";
  s.Title = "# [ @ ] #";
  s.TopLeft = " ,";
  s.Top = "-";
  s.TopRight = ".";
  s.Left = "| ";
  s.Right = " |";
  s.BottomLeft = " `";
  s.Bottom = "-";
  s.BottomRight = "\xB4 ";
  s.WidthTop = 4;
  s.WidthDown = 4;
  s.Valid = true;
  return s;
}

Lines Draw(const std::string& title, const TBoxQuote& style, Lines lines) {
  DrawBoxQuote(title, style, lines);
  return lines;
}

class BoxDrawing : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetInternalCharset("windows-1252");
  }
  void TearDown() override { SetInternalCharset("windows-1252"); }
};

}  // namespace

TEST_F(BoxDrawing, TheThreeBoxTypesWithTitle) {
  const Lines text = {"start", "eins", "zwei und drei", "end"};
  // Width 15: the framed title "# [ Titel ] #" plus two, odd like the title.
  EXPECT_EQ(Draw("Titel", DefaultStyle(2), text), (Lines{
                                                     " ,-# [ Titel ] #-.",
                                                     "|  eins           |",
                                                     "|  zwei und drei  |",
                                                     " `---------------\xB4 ",
                                                 }));
  EXPECT_EQ(Draw("Titel", DefaultStyle(1), text), (Lines{
                                                     " ,-# [ Titel ] #-",
                                                     "|  eins",
                                                     "|  zwei und drei",
                                                     " `---------------",
                                                 }));
  EXPECT_EQ(Draw("Titel", DefaultStyle(0), text), (Lines{
                                                     " ,----# [ Titel ] #",
                                                     "|  eins",
                                                     "|  zwei und drei",
                                                     " `----",
                                                 }));
}

TEST_F(BoxDrawing, TitlePatternWithoutAt) {
  TBoxQuote style = DefaultStyle(1);
  style.Title = "<*>";  // the middle character of an odd pattern is dropped
  EXPECT_EQ(Draw("T", style, {"", "abcdefghij", ""})[0], " ,--<T>--------");
  style.Title = "";
  EXPECT_EQ(Draw("AB", style, {"", "abcdefghij", ""})[0], " ,-AB---------");
  // A title wider than the room before it covers the top-left piece.
  EXPECT_EQ(Draw("T", style, {"", "", ""})[0], "T,---");
}

TEST_F(BoxDrawing, InvalidStyleAndShortListsChangeNothingHarmful) {
  TBoxQuote style = DefaultStyle(2);
  style.Valid = false;
  EXPECT_EQ(Draw("T", style, {"a", "b", "c"}), (Lines{"a", "b", "c"}));
  EXPECT_EQ(Draw("T", DefaultStyle(2), {}), Lines{});
  // One line is top and bottom at once: the bottom wins.
  EXPECT_EQ(Draw("", DefaultStyle(2), {"x"}), (Lines{" `----------\xB4 "}));
  EXPECT_EQ(Draw("", DefaultStyle(2), {"x", "y"}), (Lines{" ,----------.", " `----------\xB4 "}));
}

TEST_F(BoxDrawing, TabsOfClosedBoxesGoToEightColumnStops) {
  const TBoxQuote style = DefaultStyle(2);
  // "|  " takes positions 1..3; a tab at position 4 puts the next character at 9.
  EXPECT_EQ(Draw("", style, {"", "\tb", ""})[1], "|       b    |");
  // A tab at position 3 of the framed line, behind a narrower side piece.
  TBoxQuote narrow = style;
  narrow.Left = "|";
  EXPECT_EQ(Draw("", narrow, {"", "\tb", ""})[1], "|       b   |");
  // A tab standing at position 8 moves one blank, to the stop at 9.
  EXPECT_EQ(Draw("", style, {"", "abcd\tx", ""})[1], "|  abcd x    |");
  // Expanded tabs widen the box: every line keeps the right-hand frame.
  const Lines wide = Draw("", style, {"", "\t\t\tend", "kurz", ""});
  EXPECT_EQ(wide[1], "|" + std::string(23, ' ') + "end  |");
  EXPECT_EQ(wide[2].size(), wide[1].size());
  EXPECT_EQ(wide[2].substr(wide[2].size() - 2), " |");
  EXPECT_EQ(wide[0], " ," + std::string(26, '-') + ".");
}

TEST_F(BoxDrawing, CountsCharactersUnderUtf8) {
  SetInternalCharset("utf-8");
  TBoxQuote style = DefaultStyle(2);
  style.Top = "═";
  style.Bottom = "═";
  style.BottomRight = "´ ";
  style.Title = "«@»";
  const Lines box = Draw("Grüße", style, {"", "äöüäöüäöüäöü", ""});
  // Width 15: twelve characters plus two, made odd like the five of the title.
  EXPECT_EQ(box[0], " ,═«Grüße»═══════.");
  EXPECT_EQ(box[1], "|  äöüäöüäöüäöü   |");
  EXPECT_EQ(box[2], " `═══════════════´ ");
}
