#include "uperlre.h"

#include <gtest/gtest.h>

#include <memory>

using Lines = std::vector<std::string>;

namespace {

Lines SplitAll(std::string_view regex, const std::string& subject, bool trim = false) {
  TPerlre re(true, 0);
  Lines pieces;
  re.Split(regex, subject, trim, &pieces);
  return pieces;
}

struct Tagged {
  Lines tags, pieces;
  int count = -1;
};

Tagged SplitTagged(std::string_view regex, const std::string& subject, int maxMatches) {
  TPerlre re(false, 0);
  Tagged t;
  re.SplitTagged(regex, subject, "other", "match", maxMatches, &t.tags, &t.pieces, t.count);
  return t;
}

std::string Join(const Lines& pieces) {
  std::string r;
  for (const auto& p : pieces) r += p;
  return r;
}

}  // namespace

TEST(Perlre, OffsetsAreRelativeToTheSearchStart) {
  TPerlre re(true, 0);
  ASSERT_TRUE(re.Match("a+", "xaay"));
  EXPECT_EQ(re.OffsetVector()[0], 1);
  EXPECT_EQ(re.OffsetVector()[1], 3);
  EXPECT_EQ(re.LastResult(), 1);
  EXPECT_EQ(re.GroupText(), "aa");
  EXPECT_FALSE(re.FindNext());
  EXPECT_EQ(re.MatchBase(), 3u);

  ASSERT_TRUE(re.Match("(b)(x)?(c)", "ab-bc"));
  EXPECT_EQ(re.LastResult(), 4);
  EXPECT_EQ(re.OffsetVector()[0], 3);
  EXPECT_EQ(re.OffsetVector()[4], -1);  // group 2 took no part
  EXPECT_EQ(re.GroupText(3), "c");
  EXPECT_EQ(re.GroupStart(2), std::string::npos);
  EXPECT_EQ(re.GroupStart(3), 4u);

  // Groups the new pattern does not have read as unset, not as the old ones.
  ASSERT_TRUE(re.Match("(a)(b)", "ab"));
  ASSERT_TRUE(re.Match("b", "ab"));
  EXPECT_EQ(re.OffsetVector()[2], -1);
  EXPECT_EQ(re.OffsetVector()[5], -1);
  EXPECT_EQ(re.GroupText(1), "");

  // The second search starts at the end of the first, as a subject of its own.
  ASSERT_TRUE(re.Match("\\d", "1a2"));
  ASSERT_TRUE(re.FindNext());
  EXPECT_EQ(re.MatchBase(), 1u);
  EXPECT_EQ(re.OffsetVector()[0], 1);
  EXPECT_EQ(re.GroupStart(), 2u);
}

TEST(Perlre, EachSearchSeesTheRestAsAFreshSubject) {
  TPerlre re(false, 0);
  re.SetRegex("^a");
  re.SetSubject("aaa");
  int n = 0;
  while (re.FindNext()) ++n;
  EXPECT_EQ(n, 3);  // "^" matches again at every new search start

  re.Reset();
  EXPECT_EQ(re.LastResult(), -1);
  EXPECT_EQ(re.NextPos(), 0u);
}

TEST(Perlre, MoreGroupsThanPairsGiveZero) {
  TPerlre re(true, 0);
  std::string pattern;
  for (int i = 0; i < 15; ++i) pattern += "(a)";
  ASSERT_TRUE(re.Match(pattern, std::string(15, 'a')));
  EXPECT_EQ(re.LastResult(), 0);
  EXPECT_EQ(re.OffsetVector()[27], 13);  // group 13, the last that fits
}

TEST(Perlre, ErrorsCarryThePrefix) {
  TPerlre re(true, 0);
  try {
    re.SetRegex("a(b");
    FAIL();
  } catch (const EPerlRe& e) {
    EXPECT_EQ(e.Message().rfind("Perlre: ", 0), 0u);
    EXPECT_GT(e.Message().size(), 8u);
  }
  EXPECT_FALSE(re.HasPattern());
  try {
    re.FindNext();
    FAIL();
  } catch (const EPerlRe& e) {
    EXPECT_EQ(e.Message(), "Perlre: no regex defined");
  }
  // The same faulty pattern again is compiled again, and fails again.
  EXPECT_THROW(re.UpdateRegex("a(b"), EPerlRe);

  Lines tags;
  int count;
  try {
    re.Split(",", "a,b", false, nullptr);
    FAIL();
  } catch (const EPerlRe& e) {
    EXPECT_EQ(e.Message(), "Perlre: undefined TStrings in split");
  }
  EXPECT_THROW(re.SplitTagged(",", "a", "o", "m", 0, &tags, nullptr, count), EPerlRe);
}

TEST(Perlre, UpdateRegexCompilesOnlyOnChange) {
  TPerlre re(true, 0);
  re.UpdateRegex("b");
  re.SetSubject("abc");
  ASSERT_TRUE(re.FindNext());
  re.UpdateRegex("b");  // unchanged: position kept
  EXPECT_EQ(re.NextPos(), 2u);
  re.UpdateRegex("c");
  EXPECT_EQ(re.NextPos(), 0u);
}

TEST(Perlre, ObjectsWithTheSamePatternStayApart) {
  auto first = std::make_unique<TPerlre>(true, 0);
  TPerlre second(true, 0);
  first->SetRegex("b+");
  second.SetRegex("b+");
  first->SetSubject("abbc");
  second.SetSubject("xxxb");
  ASSERT_TRUE(first->FindNext());
  EXPECT_EQ(first->NextPos(), 3u);
  first.reset();  // the pattern the two shared stays usable
  ASSERT_TRUE(second.FindNext());
  EXPECT_EQ(second.NextPos(), 4u);
  // A pattern that does not compile fails every time and leaves none behind.
  EXPECT_THROW(second.SetRegex("("), EPerlRe);
  EXPECT_THROW(second.SetRegex("("), EPerlRe);
  EXPECT_FALSE(second.HasPattern());
}

TEST(Perlre, StudiedPatternsMatchAlikeBeforeAndAfterTheirCompilation) {
  // Searched often enough, a studied pattern is compiled to machine code; a
  // match too deep for that code's stack is tried again interpreted.
  TPerlre studied(true, 0), plain(false, 0);
  const std::string deep = std::string(20000, 'a') + "c";
  for (int round = 0; round < 20; ++round) {
    for (const std::string& subject : {std::string("xxbac"), deep, std::string("none")}) {
      SCOPED_TRACE(round);
      EXPECT_EQ(studied.Match("(a|b)*c", subject), plain.Match("(a|b)*c", subject));
      EXPECT_EQ(studied.OffsetVector(), plain.OffsetVector());
    }
  }
}

TEST(Perlre, CaseRules) {
  EXPECT_TRUE(SharedPerlre().Match("ABC", "xabcx"));
  EXPECT_TRUE(SharedPerlre().Match("^re:", "RE: x"));
  TPerlre sensitive(true, 0);
  EXPECT_FALSE(sensitive.Match("ABC", "xabcx"));
  TPerlre caseless(false, TPerlre::kCaseless);
  EXPECT_TRUE(caseless.Match("ABC", "xabcx"));
  // Bytes, not UTF-8: a national letter in windows-1252 is one byte and
  // case folding stays ASCII.
  EXPECT_TRUE(sensitive.Match("^.$", "\xE4"));
  EXPECT_FALSE(caseless.Match("\xC4", "\xE4"));
}

TEST(Perlre, SubjectIsSearchedUpToItsFirstNul) {
  TPerlre re(true, 0);
  EXPECT_FALSE(re.Match("b", std::string("a\0b", 3)));
  EXPECT_TRUE(re.Match("a$", std::string("a\0b", 3)));
  // A split keeps the bytes after the NUL in its last piece.
  EXPECT_EQ(SplitAll(",", std::string("a,b\0,c", 6)), (Lines{"a", std::string("b\0,c", 4)}));
}

TEST(Perlre, TestAgreesWithMatchAndKeepsTheSearch) {
  // Test skips the library when the byte every match starts with is missing;
  // it must answer as MatchSubject does, case rules and the NUL included.
  struct Row {
    const char* regex;
    int options;
    std::string text;
  };
  const Row rows[] = {
      {"-----BEGIN PGP*", TPerlre::kCaseless, "x -----begin pgp"},
      {"-----BEGIN PGP*", TPerlre::kCaseless, "no dashes here"},
      {"abc", TPerlre::kCaseless, "xABCx"},
      {"Abc", TPerlre::kCaseless, "xaBCx"},
      {"abc", 0, "xABCx"},
      {"(?i)abc", 0, "xABCx"},
      {"-x", 0, std::string("a\0-x", 4)},
      {"a|b", 0, "xxb"},
      {"\xE4", 0, "\xC4\xE4"},
      {"^$", 0, ""},
  };
  for (const Row& r : rows) {
    TPerlre tested(true, r.options), matched(true, r.options);
    tested.SetRegex(r.regex);
    tested.SetSubject("kept");
    tested.FindNext();
    const size_t nextPos = tested.NextPos();
    EXPECT_EQ(tested.Test(r.text), matched.Match(r.regex, r.text)) << r.regex << " on " << r.text;
    EXPECT_EQ(tested.Subject(), "kept");
    EXPECT_EQ(tested.NextPos(), nextPos);
  }
  TPerlre empty(true, 0);
  empty.SetRegex("^$");
  EXPECT_TRUE(empty.Test(std::string_view()));
  empty.SetRegex("-");
  EXPECT_FALSE(empty.Test(std::string_view()));
  TPerlre none(true, 0);
  EXPECT_THROW(none.Test("x"), EPerlRe);
}

TEST(Perlre, Split) {
  EXPECT_EQ(SplitAll(",", "a,b,,c"), (Lines{"a", "b", "", "c"}));
  EXPECT_EQ(SplitAll(",", ",a,"), (Lines{"", "a"}));
  EXPECT_EQ(SplitAll(",", "abc"), (Lines{"abc"}));
  EXPECT_EQ(SplitAll(",", ""), Lines{});
  EXPECT_EQ(SplitAll(";", " a ;\tb\r; ", true), (Lines{"a", "b"}));

  TPerlre re(true, 0);
  Lines pieces{"kept"};
  re.Split(",", "x", false, &pieces);
  EXPECT_EQ(pieces, (Lines{"kept", "x"}));
}

TEST(Perlre, SplitTagged) {
  Tagged t = SplitTagged("[0-9]", "x1y2z", 1);
  EXPECT_EQ(t.pieces, (Lines{"x", "1", "y2z"}));
  EXPECT_EQ(t.tags, (Lines{"other", "match", "other"}));
  EXPECT_EQ(t.count, 1);

  t = SplitTagged("[0-9]+", "12ab345", 0);
  EXPECT_EQ(t.pieces, (Lines{"12", "ab", "345"}));
  EXPECT_EQ(t.tags, (Lines{"match", "other", "match"}));
  EXPECT_EQ(t.count, 2);

  t = SplitTagged("q", "abc", 0);
  EXPECT_EQ(t.pieces, (Lines{"abc"}));
  EXPECT_EQ(t.count, 0);
}

TEST(Perlre, LoopsEndOnEmptyMatches) {
  for (const char* pattern : {"x*", "", "^", "$", "\\b", "(?=a)", "a*?", "(?<=a)"}) {
    for (const char* subject : {"", "a", "abc", "aaxa", "x"}) {
      SCOPED_TRACE(std::string(pattern) + " on " + subject);
      Tagged t = SplitTagged(pattern, subject, 0);
      EXPECT_EQ(Join(t.pieces), subject);
      for (const auto& p : t.pieces) EXPECT_FALSE(p.empty());
      Lines pieces = SplitAll(pattern, subject);
      EXPECT_LE(pieces.size(), 2 * std::string_view(subject).size() + 2);

      TPerlre re(true, 0);
      re.SetRegex(pattern);
      re.SetSubject(subject);
      int n = 0;
      while (re.FindNext()) ASSERT_LT(++n, 20);
    }
  }
  // Non-empty matches after an empty one are still found where they start.
  Tagged t = SplitTagged("a*", "baa", 0);
  EXPECT_EQ(t.pieces, (Lines{"b", "aa"}));
  EXPECT_EQ(t.tags, (Lines{"other", "match"}));
}

TEST(Perlre, QuoteRegex) {
  EXPECT_EQ(QuoteRegex("a.b(c)"), "a\\.b\\(c\\)");
  EXPECT_EQ(QuoteRegex("Grüße 42 x"), "Grüße 42 x");
  EXPECT_EQ(QuoteRegex(""), "");
  std::string all = "!$()*+,-.:=?[\\]^{|}";
  std::string quoted = QuoteRegex(all);
  EXPECT_EQ(quoted.size(), 2 * all.size());
  TPerlre re(true, 0);
  EXPECT_TRUE(re.Match("^" + quoted + "$", all));
}
