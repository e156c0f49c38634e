#include "uHtml2Text.h"

#include <gtest/gtest.h>

#include <string>

#include "SysUtils.h"
#include "TestSupport.h"
#include "uTools.h"

namespace {

std::string Body(const std::string& html) { return HtmlToText("<body>" + html); }

std::string Repeat(const std::string& s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

}  // namespace

TEST(HtmlToText, WritesOnlyInsideTheBody) {
  EXPECT_EQ(HtmlToText("no markup at all"), "");
  EXPECT_EQ(HtmlToText("<p>paragraph</p>"), "");
  EXPECT_EQ(HtmlToText("<html><head><title>T</title></head><body><p>Hello World</p></body>"
                       "after</html>"),
            "\r\n\r\nHello World\r\n\r\n");
  // A second body tag starts over.
  EXPECT_EQ(HtmlToText("<body>first<BODY bgcolor=white>second"), "second");
  // So does an html tag, and writing then runs until head.
  EXPECT_EQ(HtmlToText("<html>x<head>y"), "x");

  std::string out;
  HtmlToText("<body>z", out);
  EXPECT_EQ(out, "z");
}

TEST(HtmlToText, CollapsesBlanksOfTheInput) {
  EXPECT_EQ(Body("a   b\r\n\tc"), "a b c");
  // A blank after a tag is not one after a blank.
  EXPECT_EQ(Body("a <i> b"), "a b");
  EXPECT_EQ(Body("a <b> b"), "a * b");
  // nbsp is an ordinary blank, but two of them stand.
  EXPECT_EQ(Body("a&nbsp;&nbsp;b"), "a  b");
}

TEST(HtmlToText, ReplacesEntities) {
  EXPECT_EQ(Body("&amp;"), "&");
  EXPECT_EQ(Body("&lt;x&gt; &quot;"), "<x> \"");
  EXPECT_EQ(Body("x&nbsp;y"), "x y");
  EXPECT_EQ(Body("&auml;&szlig;&Ccdil;&ccdil;"), "\xE4\xDF\xC7\xE7");
  EXPECT_EQ(Body("&Ccedil;"), "&Ccedil;");
  EXPECT_EQ(Body("&AUML;"), "&AUML;");
  EXPECT_EQ(Body("&euro; costs"), "&euro; costs");
  EXPECT_EQ(Body("&#65;&#x41;&#X41;&#0065;"), "AAAA");
  EXPECT_EQ(Body("&#132;&#147;"), "\x93\x94");
}

// Entities become their characters in the internal charset, "?" where it has
// none; codes up to 255 are read as windows-1252, larger ones as Unicode.
TEST(HtmlToText, WritesEntitiesInTheInternalCharset) {
  LoadCharsetTables();
  const std::string many = Repeat("9", 5000);
  const struct {
    const char* charset;
    std::string html, text;
  } cases[] = {
      {"windows-1252", "&#8364;&#x20AC;&#X20ac;", "\x80\x80\x80"},
      {"windows-1252", "&#x201E;&#150;&#228;&auml;", "\x84\x96\xE4\xE4"},
      {"windows-1252", "&#256;&#x3B1;&#x1F600;&#1114111;", "????"},
      {"windows-1252", "&#0;&#xD800;&#x110000;&#" + many + ";&#x" + Repeat("f", 5000) + "41;",
       "?????"},
      {"iso-8859-15", "&#8364;&#164;&curren;", "\xA4?&curren;"},
      {"utf-8", "&auml;&#228;&#xE4;&#8364;", "\xC3\xA4\xC3\xA4\xC3\xA4\xE2\x82\xAC"},
      {"utf-8", "&#132;&#150;&#x1F600;&amp;&szlig;",
       "\xE2\x80\x9C\xE2\x80\x93\xF0\x9F\x98\x80&\xC3\x9F"},
      {"utf-8", "&#x110000;&#55296;", "??"},
  };
  for (const auto& c : cases) {
    SetInternalCharset(c.charset);
    EXPECT_EQ(Body(c.html), c.text) << c.charset << " " << c.html.substr(0, 60);
  }
  SetInternalCharset("");
}

TEST(HtmlToText, KeepsWhatIsNoEntity) {
  // The completing character is written with the unknown name, a blank
  // included ...
  EXPECT_EQ(Body("AT&T rocks"), "AT&T rocks");
  EXPECT_EQ(Body("a & b"), "a & b");
  EXPECT_EQ(Body("a &x  b"), "a &x b");
  // ... and is lost behind a known one.
  EXPECT_EQ(Body("&amp x"), "&x");
  // Numbers that are none are kept as they stand.
  EXPECT_EQ(Body("&#zz;"), "&#zz;");
  EXPECT_EQ(Body("&#;"), "&#;");
  EXPECT_EQ(Body("&#x;"), "&#x;");
  EXPECT_EQ(Body("&#12ab;"), "&#12ab;");
  EXPECT_EQ(Body("&##65;"), "&##65;");
  // An entity cut off by the end of the input is dropped.
  EXPECT_EQ(Body("x&amp"), "x");
}

TEST(HtmlToText, TurnsTagsIntoMarks) {
  EXPECT_EQ(Body("<b>bold</B> <u>under</u>"), "*bold* _under_");
  EXPECT_EQ(Body("<table><tr><td>a</td></tr></table>"), "a\r\n\r\n\t");
  EXPECT_EQ(Body("x</div>y"), "x\r\n--------------------------\r\n\r\ny");
  EXPECT_EQ(Body("<h1>T</h1>text"), "\r\n\r\nT\r\n\r\ntext");
  // Attributes do not count; a slash right after the name makes another tag.
  EXPECT_EQ(Body("a<br class=x>b"), "a\r\n\r\nb");
  EXPECT_EQ(Body("a<br />b"), "a\r\n\r\nb");
  EXPECT_EQ(Body("a<br/>b"), "ab");
  EXPECT_EQ(Body("a<br\n>b"), "a\r\n\r\nb");
  EXPECT_EQ(Body("a<h6>b<span>c</span><!-- d -->e"), "abce");
  // Script text is not special.
  EXPECT_EQ(Body("<script>var x;</script>"), "var x;");
}

TEST(HtmlToText, LimitsEmptyLines) {
  EXPECT_EQ(Body("first line<br><br><br>second"), "first line\r\n\r\nsecond");
  EXPECT_EQ(Body("<p>para</p><p>next</p><br>"), "\r\n\r\npara\r\n\r\nnext\r\n\r\n");
}

TEST(HtmlToText, WritesLinksAndAnchors) {
  EXPECT_EQ(Body("<a href=\"target\">x</a>"), " <target> x");
  EXPECT_EQ(Body("see <A class=c HREF=\"http://h/p?a=1\" title=\"t\">here</a>."),
            "see <http://h/p?a=1> here.");
  // An unquoted value runs to the end of the tag.
  EXPECT_EQ(Body("<a href=x title=y>z"), " <x title=y> z");
  EXPECT_EQ(Body("text<a name=\"top\"></a>more"), "text\r\n\r\n(Abschnitt: #top)\r\nmore");
  EXPECT_EQ(Body("a <a> b"), "a b");
}

TEST(HtmlToText, IndentsListItems) {
  EXPECT_EQ(Body("<ul><li>one<ul><li>two</ul><li>three</ul><ol><li>a<li>b</ol>"),
            "\r\n* one\r\n  * two\r\n* three\r\n1. a\r\n2. b");
  // Items and ends outside any list are ignored.
  EXPECT_EQ(Body("<li>x</ul></ol>y"), "xy");
}

TEST(HtmlToText, WrapsLongLinesAtBlanks) {
  std::string words;
  for (int i = 0; i < 40; ++i) words += "word ";
  std::string out = Body(words);
  std::vector<std::string> lines = SplitLines(out);
  ASSERT_GT(lines.size(), 2u);
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), 76u) << line;
    EXPECT_FALSE(line.empty());
  }
  EXPECT_EQ(StringReplace(out, "\r\n", " "), words);

  // A word longer than a line is not broken.
  std::string longWord(120, 'x');
  EXPECT_EQ(Body("a " + longWord), "a\r\n" + longWord);
  EXPECT_EQ(Body(longWord + " b"), longWord + "\r\nb");
}

TEST(HtmlToText, IndentsWrappedListLines) {
  std::string words;
  for (int i = 0; i < 30; ++i) words += "word ";
  std::vector<std::string> lines = SplitLines(Body("<ul><li>x<ul><li>" + words + "</ul></ul>"));
  ASSERT_GT(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(0, 9), "  * word ");
  for (size_t i = 3; i < lines.size(); ++i) EXPECT_EQ(lines[i].substr(0, 5), "    w") << i;
}

TEST(HtmlToText, StaysLinearOnHostileInput) {
  // Deep nesting: the indent stops growing, so the text stays proportional.
  std::string html = "<body>" + Repeat("<ul>", 100000) + Repeat("<li>a b c d e f g", 2000);
  EXPECT_LT(HtmlToText(html).size(), 100 * 2000u);

  // Unclosed tag and unterminated entity swallow the rest.
  EXPECT_EQ(Body("a<p " + Repeat("x", 100000)), "a");
  EXPECT_EQ(Body("a&" + Repeat("x", 100000)), "a");

  // Tabs between line breaks do not make the empty-line limit look back far.
  std::string tabs = Body("a" + Repeat("</tr>", 50000) + Repeat("<br>", 50000) + "b");
  EXPECT_EQ(tabs.substr(tabs.size() - 6), "\t\r\n\r\nb");
}

TEST(GetAttributeValue, FindsKeysWithoutRegardToCase) {
  EXPECT_EQ(GetAttributeValue("HREF=\"Mixed\" x=y", "href="), "Mixed");
  EXPECT_EQ(GetAttributeValue("href=\"open", "href="), "open");
  EXPECT_EQ(GetAttributeValue("href='single' b", "href="), "'single' b");
  EXPECT_EQ(GetAttributeValue("name=x", "href="), "");
  EXPECT_EQ(GetAttributeValue("href=", "href="), "");
  EXPECT_EQ(GetAttributeValue("anything", ""), "");
}
