#include "uBodyFix.h"

#include <gtest/gtest.h>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uTools.h"

namespace {

struct Case {
  const char* before;
  const char* after;
};

std::vector<std::string> Corrected(const std::vector<std::string>& lines, const TQuoteOptions& options) {
  TCharsetStringlist body(nullptr);
  body.Assign(lines);
  body.Changed = false;
  const bool changed = CheckBodyLines(body, options);
  EXPECT_EQ(changed, body.Changed);
  EXPECT_EQ(changed, body.Lines() != lines);
  return body.Lines();
}

std::string One(const std::string& line, const TQuoteOptions& options = {}) {
  return Corrected({line}, options)[0];
}

// A plain list (no charset) holding Lines, marked unchanged.
struct TList : TCharsetStringlist {
  explicit TList(const std::vector<std::string>& lines) : TCharsetStringlist(nullptr) {
    Assign(lines);
    Changed = false;
  }
};

}  // namespace

TEST(QuoteLine, PrefixesWithTheDefaults) {
  const Case cases[] = {
      {">>text", ">> text"},
      {"> text", "> text"},
      {">  indented", ">  indented"},
      {"> > >text", ">>> text"},
      {"|>text", "| > text"},
      {">|>x", "> | > x"},
      {">>>", ">>>"},
      {"> > ", ">>"},
      {">", ">"},
      {"text > x", "text > x"},
      {"", ""},
      {">\ttab", "> \ttab"},
      {"> >  deep", ">>  deep"},
  };
  for (const Case& c : cases) EXPECT_EQ(One(c.before), c.after) << c.before;
}

TEST(QuoteLine, SwitchesFromTheProfile) {
  struct Row {
    bool check, spaceText, spaceDiff;
    const char* allowed;
    const char* before;
    const char* after;
  } rows[] = {
      {false, true, true, ">|", ">>text", ">>text"},
      {true, false, true, ">|", ">>text", ">>text"},
      {true, false, true, ">|", "> > text", ">>text"},
      {true, false, true, ">|", ">  indented", ">  indented"},
      {true, true, false, ">|", "|>text", "|> text"},
      {true, true, true, ">", "|>text", "|>text"},
      {true, true, true, ">:", ":>text", ": > text"},
      {true, true, true, "", ">text", ">text"},
  };
  for (const Row& r : rows) {
    TQuoteOptions o;
    o.CheckQuotes = r.check;
    o.AddSpaceBetweenQuoteAndText = r.spaceText;
    o.AddSpaceBetweenDifferentQuoteChars = r.spaceDiff;
    o.AllowedQuoteChars = r.allowed;
    EXPECT_EQ(One(r.before, o), r.after) << r.before << " allowed " << r.allowed;
  }
}

TEST(QuoteLine, ContinuationLinesFollowTheirQuoteLine) {
  // The quote line moves its text one column to the right; the indented line
  // after it follows, an unindented one does not.
  EXPECT_EQ(Corrected({">>text", "  more", "  again"}, {}),
            (std::vector<std::string>{">> text", "   more", "  again"}));
  EXPECT_EQ(Corrected({"> > >text", "      more"}, {}),
            (std::vector<std::string>{">>> text", "     more"}));
  EXPECT_EQ(Corrected({">>text", "", "  more"}, {}),
            (std::vector<std::string>{">> text", "", "  more"}));
  EXPECT_EQ(Corrected({">>text", "plain", "  more"}, {}),
            (std::vector<std::string>{">> text", "plain", "  more"}));
  // A kept indentation after a moved line keeps its text column.
  EXPECT_EQ(Corrected({">>text", ">>   more"}, {}),
            (std::vector<std::string>{">> text", ">>    more"}));
}

TEST(QuoteLine, ProtectedRegions) {
  const std::vector<std::string> body = {
      ">>a", "-----BEGIN PGP SIGNED MESSAGE-----", ">>b", "-----BEGIN PGP SIGNATURE-----",
      ">>c", "-----END PGP SIGNATURE-----", ">>d"};
  EXPECT_EQ(Corrected(body, {}),
            (std::vector<std::string>{">> a", "-----BEGIN PGP SIGNED MESSAGE-----", ">>b",
                                      "-----BEGIN PGP SIGNATURE-----", ">>c",
                                      "-----END PGP SIGNATURE-----", ">> d"}));
  // The END line is corrected like any other line; the BEGIN line is not.
  TQuoteOptions o;
  o.DoNotChangeBegin = "^>>begin";
  o.DoNotChangeEnd = "^>>END";
  EXPECT_EQ(Corrected({">>begin", ">>x", ">>end"}, o),
            (std::vector<std::string>{">>begin", ">>x", ">> end"}));
  // An unclosed region protects the rest.
  EXPECT_EQ(Corrected({"-----begin pgp", ">>x", ">>y"}, {}),
            (std::vector<std::string>{"-----begin pgp", ">>x", ">>y"}));
  o.DoNotChangeBegin = "(";
  EXPECT_THROW(Corrected({"x"}, o), EPerlRe);
  EXPECT_EQ(Corrected({"", ""}, o), (std::vector<std::string>{"", ""}));  // met only on text
}

TEST(QuoteLine, DelAtBeginWorksWithoutTheQuoteCheck) {
  TQuoteOptions o;
  o.DelAtBegin = "| ";
  o.CheckQuotes = false;
  EXPECT_EQ(Corrected({"| >>x", "|x", "a | b"}, o), (std::vector<std::string>{">>x", "|x", "a | b"}));
  o.CheckQuotes = true;
  EXPECT_EQ(One("| >>x", o), ">> x");
  // A quote prefix that needs nothing more keeps the removal.
  EXPECT_EQ(One("| >> x", o), ">> x");
  EXPECT_EQ(One("| >>", o), ">>");
}

TEST(QuoteLine, PiecesOfAMultiLineEntry) {
  EXPECT_EQ(One(">>a\r\n>>b\r\n\r\nc"), ">> a\r\n>> b\r\n\r\nc");
}

TEST(QuoteLine, Utf8QuoteCharactersStayWhole) {
  TQuoteOptions o;
  o.Utf8 = true;
  o.AllowedQuoteChars = ">\xC2\xBB";  // > and »
  EXPECT_EQ(One("\xC2\xBB>text", o), "\xC2\xBB > text");
  EXPECT_EQ(One("\xC2\xBB\xC2\xBBtext", o), "\xC2\xBB\xC2\xBB text");
  EXPECT_EQ(One("\xC2\xABtext", o), "\xC2\xABtext");  // « is no quote character
}

TEST(BodyLines, EmptyLinesAtTheEnd) {
  TList body({"", "", ""});
  TList sig({"", " "});
  EXPECT_TRUE(DeleteEmptyLinesAtEnd(body, &sig));
  EXPECT_EQ(body.Lines(), std::vector<std::string>{""});
  EXPECT_EQ(sig.Count(), 0);
  body.Assign({"a", "", "b", " \t", ""});
  sig.Assign({"s", ""});
  EXPECT_TRUE(DeleteEmptyLinesAtEnd(body, &sig));
  EXPECT_EQ(body.Lines(), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(sig.Lines(), std::vector<std::string>{"s"});
  body.Changed = false;
  EXPECT_FALSE(DeleteEmptyLinesAtEnd(body, nullptr));
  EXPECT_FALSE(body.Changed);
}

TEST(BodyLines, TrailingBlanks) {
  const Case cases[] = {
      {"text   ", "text"}, {"-- ", "-- "}, {"a -- ", "a -- "}, {"tab\t", "tab\t"},
      {"a \t ", "a \t"},  {"   ", ""},    {"", ""},
  };
  for (const Case& c : cases) {
    std::string line = c.before;
    EXPECT_EQ(RTrimLineKeepSigDelimiter(line), std::string(c.before) != c.after) << c.before;
    EXPECT_EQ(line, c.after);
  }
  TList list({"a  ", "b", "-- "});
  EXPECT_TRUE(DeleteBlanksAtEndOfLines(list));
  EXPECT_EQ(list.Lines(), (std::vector<std::string>{"a", "b", "-- "}));
}

TEST(OERepairs, QuoteLevel) {
  EXPECT_EQ(QuoteLevel(""), -1);
  EXPECT_EQ(QuoteLevel("text"), 0);
  EXPECT_EQ(QuoteLevel(" > text"), 0);
  EXPECT_EQ(QuoteLevel("> text"), 1);
  EXPECT_EQ(QuoteLevel("> > >text"), 3);
  EXPECT_EQ(QuoteLevel(">> \t"), -1);
  EXPECT_EQ(QuoteLevel("|> text"), 0);
}

TEST(OERepairs, BrokenQuoteLinesAreJoined) {
  const std::string a70 = ">" + std::string(69, 'a');
  const std::string a60 = ">" + std::string(59, 'a');
  const std::string b10 = "tail words";
  struct Row {
    std::vector<std::string> before, after;
  } rows[] = {
      {{a70, b10, "next"}, {a70 + " " + b10, "next"}},
      {{a70, b10}, {a70, b10}},                                       // the last pair is never examined
      {{a70, "^" + b10, "next"}, {a70, "^" + b10, "next"}},           // a caret line stays
      {{a70, "   ", "next"}, {a70, "   ", "next"}},                   // blanks only
      {{">" + std::string(40, 'a'), b10, "next"}, {">" + std::string(40, 'a'), b10, "next"}},  // short
      {{">" + std::string(85, 'a'), b10, "next"}, {">" + std::string(85, 'a'), b10, "next"}},  // too long
      {{a60, "a" + std::string(20, 'b') + " c", "next"}, {a60, "a" + std::string(20, 'b') + " c", "next"}},
      {{a60, "a b" + std::string(20, 'c'), "next"}, {a60 + " a b" + std::string(20, 'c'), "next"}},
      {{a60, std::string(20, 'c'), "next"}, {a60 + " " + std::string(20, 'c'), "next"}},  // no blank at all
      {{a70, b10, b10, "next"}, {a70 + " " + b10, b10, "next"}},  // the joined line is not joined again
      {{"text", b10, "next"}, {"text", b10, "next"}},
  };
  for (const Row& r : rows) {
    TList body(r.before);
    EXPECT_EQ(RepairOEQuoteLines(body), r.before != r.after);
    EXPECT_EQ(body.Lines(), r.after);
  }
}

TEST(OERepairs, BeginLinesWithADoubledBlank) {
  const Case cases[] = {
      {"begin  644 file.txt", "begin 644 file.txt"},
      {"begin  x", "begin x"},
      {"begin   644 x", "begin   644 x"},
      {"begin  -x", "begin  -x"},
      {"begin  ", "begin  "},
      {"Begin  644 x", "Begin  644 x"},
      {"begin 644 x", "begin 644 x"},
  };
  for (const Case& c : cases) {
    TList lines({c.before});
    EXPECT_EQ(HasOEBeginBug(lines), std::string(c.before) != c.after) << c.before;
    EXPECT_EQ(lines.Get(0), c.after);
  }
}
