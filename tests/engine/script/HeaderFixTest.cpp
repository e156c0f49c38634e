#include "uHeaderFix.h"

#include <gtest/gtest.h>

#include "SysUtils.h"
#include "TestSupport.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uHeader.h"

namespace {

class HeaderFix : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadCharsetTables(); }

  TCharsets charsets{"windows-1252", "us-ascii,iso-8859-1,utf-8"};
  THeader header{&charsets};
  TVQEinstellungen settings;

  void SetHeader(const std::vector<std::string>& lines) {
    header.Assign(lines);
    header.Changed = false;
  }
};

struct Case {
  const char* before;
  const char* after;
};

}  // namespace

TEST(SubjectText, AnswerDesignators) {
  const std::string list = "AW,Antwort,Re^2,Re^3,Re^4";
  const Case cases[] = {
      {"AW: Re: Antwort: Hallo", "Re: Hallo"},
      {"AW: Re: Re^2: x", "Re: x"},
      {"RE: x", "Re: x"},
      {"Re: Re: Re: x", "Re: x"},
      {"Hallo", "Hallo"},
      {"Re, AW: x", "Re, AW: x"},    // a comma before the colon
      {"Re:x", "Re:x"},              // no blank after the colon
      {"Re [2]: x", "Re [2]: x"},    // other text before the colon
      {"Fwd: Re: x", "Fwd: Re: x"},  // not a designator: the scan stops
      {"Re: Fwd: x", "Re: Fwd: x"},
      {"re: ", "Re: "},
  };
  for (const Case& c : cases) {
    std::string t = c.before;
    RemoveAnswerDesignators(t, list);
    EXPECT_EQ(t, c.after) << c.before;
  }
  std::string t = "Re: x";
  EXPECT_TRUE(RemoveAnswerDesignators(t, list));  // applied, though nothing changed
  t = "Antwort: x";
  EXPECT_FALSE(RemoveAnswerDesignators(t, "AW"));  // only the profile's list counts
  EXPECT_EQ(t, "Antwort: x");
}

TEST(SubjectText, WasRemainderAfterAnswer) {
  const Case cases[] = {
      {"Re: new topic (was: old topic)", "Re: new topic"},
      {"RE: neu (WAS: alt)", "RE: neu"},
      {"neu (was: alt)", "neu (was: alt)"},              // not an answer
      {"Re: neu (was: alt) oder?", "Re: neu (was: alt) oder?"},  // does not end with ")"
      {"Re: (x)", "Re: (x)"},
  };
  for (const Case& c : cases) {
    std::string t = c.before;
    KillWasAfterRe(t);
    EXPECT_EQ(t, c.after) << c.before;
  }
}

TEST(SubjectText, EightBitCharactersOfANewThread) {
  LoadCharsetTables();
  const Case cases[] = {
      {"Gr\xf6\xdf" "e (was: Ma\xdf" "e)", "Groesse (was: Ma\xdf" "e)"},
      {"\xc4rger", "Aerger"},
      {"re: \xc4rger", "re: \xc4rger"},
      {"Cancel \xc4rger", "Cancel \xc4rger"},
      {"cmsg cancel <\xe4@x>", "cmsg cancel <\xe4@x>"},
  };
  for (const Case& c : cases) {
    std::string t = c.before;
    ReplaceSubject8Bits(t);
    EXPECT_EQ(t, c.after) << c.before;
  }
}

TEST(ReferencesText, MessageIdBeginsAreCutFromTheLastId) {
  const std::vector<std::string> begins = {"ID-", "X"};
  EXPECT_EQ(KillMessageIDBegin("References: <a@b> <ID-c@d>", begins), "References: <a@b> <c@d>");
  EXPECT_EQ(KillMessageIDBegin("References: <ID-a@b> <c@d>", begins), "References: <ID-a@b> <c@d>");
  EXPECT_EQ(KillMessageIDBegin("References: <Xid-c@d>", begins), "References: <id-c@d>");
  EXPECT_EQ(KillMessageIDBegin("References: <id-c@d>", begins), "References: <id-c@d>");  // case-sensitive
  EXPECT_EQ(KillMessageIDBegin("References: none", begins), "References: none");
  EXPECT_EQ(KillMessageIDBegin("<", begins), "<");
}

TEST(ReferencesText, ShorteningKeepsTheFirstAndTheLastThree) {
  const std::string six = "References: <1@a> <2@a> <3@a> <4@a> <5@a> <6@a>";  // IDs: 6 * 5 + 5 = 35
  EXPECT_EQ(ShortenReferences(six, 35), six);
  EXPECT_EQ(ShortenReferences(six, 34), "References: <1@a> <3@a> <4@a> <5@a> <6@a>");
  EXPECT_EQ(ShortenReferences(six, 29), "References: <1@a> <3@a> <4@a> <5@a> <6@a>");
  EXPECT_EQ(ShortenReferences(six, 28), "References: <1@a> <4@a> <5@a> <6@a>");
  EXPECT_EQ(ShortenReferences(six, 1), "References: <1@a> <4@a> <5@a> <6@a>");
  EXPECT_EQ(ShortenReferences(six, 0), six);
  EXPECT_EQ(ShortenReferences(six, -5), six);
  const std::string four = "References: <" + std::string(300, 'x') + "@a> <2@a> <3@a> <4@a>";
  EXPECT_EQ(ShortenReferences(four, 10), four);
  // A folded line comes back on one line, with single blanks.
  EXPECT_EQ(ShortenReferences("References: <1@a>\r\n <2@a>\t<3@a> <4@a> <5@a>", 20),
            "References: <1@a> <3@a> <4@a> <5@a>");
  // An unclosed ID ends the collection.
  EXPECT_EQ(ShortenReferences("References: <1@a> <2@a> <3@a> <4@a> <5@a> <6", 20),
            "References: <1@a> <3@a> <4@a> <5@a>");
}

TEST(ReferencesText, FoldingBreaksBeforeAnIdAtColumn77) {
  std::string line = "References:";
  for (int i = 0; i < 12; ++i) line += " <" + std::string(10, char('a' + i)) + "@host.example>";
  ASSERT_GT(line.size(), 200u);
  const std::string folded = FoldReferences(line);
  const std::vector<std::string> parts = SplitLines(folded);
  ASSERT_GT(parts.size(), 2u);
  std::string joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_LE(parts[i].size(), 76u) << parts[i];
    if (i > 0) {
      EXPECT_TRUE(StartsStr(" <", parts[i])) << parts[i];
    }
    EXPECT_FALSE(EndsStr(" ", parts[i]));
    joined += parts[i];
  }
  EXPECT_EQ(joined, line);
  EXPECT_EQ(FoldReferences(folded), folded);  // folded once only
  EXPECT_EQ(FoldReferences("References: <a@b>"), "References: <a@b>");
  // An ID longer than a line stays whole.
  const std::string longId = "<" + std::string(100, 'x') + "@y>";
  EXPECT_EQ(FoldReferences("References: <a@b> " + longId + " <c@d>"),
            "References: <a@b>\r\n " + longId + "\r\n <c@d>");
  EXPECT_EQ(FoldReferences("References: " + longId), "References: " + longId);
}

TEST(Addresses, OneAddressIsWrittenAsNameAndAddress) {
  const Case cases[] = {
      {"a@b.example", "<a@b.example>"},
      {"<a@b.example>", "<a@b.example>"},
      {"a@b.example (Hans Meier)", "Hans Meier <a@b.example>"},
      {"Hans Meier <a@b.example>", "Hans Meier <a@b.example>"},
      {"\"Hans Meier\" <a@b.example>", "Hans Meier <a@b.example>"},
      {"a@b.example (Meier, Hans)", "\"Meier, Hans\" <a@b.example>"},
      {"a@b.example (H. Meier)", "\"H. Meier\" <a@b.example>"},
      {"\"Meier, Hans\" <a@b.example>", "\"Meier, Hans\" <a@b.example>"},
  };
  for (const Case& c : cases) {
    std::string result;
    EXPECT_TRUE(NormalizeSingleAddress(c.before, result)) << c.before;
    EXPECT_EQ(result, c.after) << c.before;
  }
}

TEST(Addresses, ListsAndOddFormsAreLeftAlone) {
  for (const char* value : {"a@b.example, c@d.example", "Hans <a@b.example>, Eva <c@d.example>",
                            "Meier, Hans <a@b.example>", "group: a@b.example;", "undisclosed-recipients:;",
                            "no address", "", "a@b@c", "<a@b.example", "\"open <a@b.example>",
                            "Hans <a@b.example> (x)", "a b@c.example", "Hans <x> <a@b.example>",
                            "a@b.example (unclosed", "@b.example", "a@"}) {
    std::string result = "unchanged";
    EXPECT_FALSE(NormalizeSingleAddress(value, result)) << value;
    EXPECT_EQ(result, "unchanged");
  }
}

TEST(Addresses, ExtractRecipients) {
  std::vector<std::string> out;
  ExtractRecipients("\"Meier, Hans\" <a@b.example>, c@d.example (C), Eva <E@F.example>, nobody", out);
  EXPECT_EQ(out, (std::vector<std::string>{"<a@b.example>", "<c@d.example>", "<E@F.example>"}));
  out.clear();
  ExtractRecipients("\"open <a@b.example>, c@d.example", out);  // an unclosed quote loses only itself
  EXPECT_EQ(out, (std::vector<std::string>{"<a@b.example>", "<c@d.example>"}));
  out.clear();
  ExtractRecipients("", out);
  ExtractRecipients(",,,", out);
  EXPECT_TRUE(out.empty());
}

TEST_F(HeaderFix, SubjectSwitchesFromTheProfile) {
  settings.ConvertToRe = "AW,Antwort";
  struct Row {
    bool delDoubleRe, killWas, replace8;
    const char* before;
    const char* after;
  } rows[] = {
      {false, false, false, "Subject: AW: Re: x (was: y)", "Subject: AW: Re: x (was: y)"},
      {true, false, false, "Subject: AW: Re: x (was: y)", "Subject: Re: x (was: y)"},
      {true, true, false, "Subject: AW: Re: x (was: y)", "Subject: Re: x"},
      {false, true, false, "Subject: AW: x (was: y)", "Subject: AW: x (was: y)"},
      {false, false, true, "Subject: \xc4rger (was: \xe4)", "Subject: Aerger (was: =?iso-8859-1?Q?=E4)?="},
      {false, false, true, "Subject: =?iso-8859-1?Q?=C4rger?=", "Subject: Aerger"},
      {true, false, false, "SUBJECT: aw: x", "SUBJECT: Re: x"},
  };
  for (const Row& r : rows) {
    settings.DelDoubleRe = r.delDoubleRe;
    settings.CheckSubjectKillWasAfterRe = r.killWas;
    settings.CheckReplaceSubject8Bits = r.replace8;
    SetHeader({"From: a@b.example", r.before, "X-Other: AW: y"});
    const bool changed = FixHeaderLines(header, settings, charsets);
    EXPECT_EQ(header.Get(1), r.after) << r.before;
    EXPECT_EQ(changed, std::string(r.before) != r.after) << r.before;
    EXPECT_EQ(header.Changed, changed) << r.before;
    EXPECT_EQ(header.Get(0), "From: a@b.example");
    EXPECT_EQ(header.Get(2), "X-Other: AW: y");
  }
}

TEST_F(HeaderFix, ReferencesSwitchesFromTheProfile) {
  const std::string refs = "References: <1@a> <2@a> <3@a> <4@a> <5@a> <ID-6@a>";
  struct Row {
    std::vector<std::string> kill;
    int32_t max;
    bool fold;
    std::string after;
  } rows[] = {
      {{}, 0, false, refs},
      {{"ID-"}, 0, false, "References: <1@a> <2@a> <3@a> <4@a> <5@a> <6@a>"},
      {{}, 25, false, "References: <1@a> <4@a> <5@a> <ID-6@a>"},
      {{"ID-"}, 25, false, "References: <1@a> <4@a> <5@a> <6@a>"},
      {{}, 0, true, refs},
  };
  for (const Row& r : rows) {
    settings.KillMessageIDBegins = r.kill;
    settings.MaxReferencesLength = r.max;
    settings.FoldingReferences = r.fold;
    SetHeader({"Subject: x", refs});
    EXPECT_EQ(FixHeaderLines(header, settings, charsets), r.after != refs);
    EXPECT_EQ(header.Get(1), r.after);
  }
  settings.KillMessageIDBegins.clear();
  settings.MaxReferencesLength = 0;
  std::string longRefs = "References:";
  for (int i = 0; i < 8; ++i) longRefs += " <" + std::string(20, char('a' + i)) + "@example.org>";
  SetHeader({longRefs});
  EXPECT_TRUE(FixHeaderLines(header, settings, charsets));
  EXPECT_EQ(header.Count(), 1);  // folded inside the line
  EXPECT_NE(header.Get(0).find("\r\n <"), std::string::npos);
  EXPECT_FALSE(FixHeaderLines(header, settings, charsets));  // a second run leaves it
}

TEST_F(HeaderFix, FromAndReplyToForm) {
  settings.CheckFromReplyFormat = true;
  SetHeader({"From: a@b.example (Hans M\xfcller)", "Reply-To: x@y.example",
             "To: a@b.example (Hans)", "Cc: c@d.example, e@f.example",
             "From: c@d.example, e@f.example"});
  EXPECT_TRUE(FixHeaderLines(header, settings, charsets));
  EXPECT_EQ(header.GetFieldAt(0, false), "Hans M\xfcller <a@b.example>");
  EXPECT_NE(header.Get(0).find("=?iso-8859-1?Q?"), std::string::npos);
  EXPECT_EQ(header.Get(1), "Reply-To: <x@y.example>");
  EXPECT_EQ(header.Get(2), "To: a@b.example (Hans)");  // only From and Reply-To
  EXPECT_EQ(header.Get(4), "From: c@d.example, e@f.example");  // a list keeps every recipient
  settings.CheckFromReplyFormat = false;
  SetHeader({"From: a@b.example"});
  EXPECT_FALSE(FixHeaderLines(header, settings, charsets));
}

TEST_F(HeaderFix, OptimizeEncodesOnlyEightBitLines) {
  SetHeader({"Subject: Gr\xfc\xdf" "e", "X-Plain: abc", "Comments: =?utf-8?Q?=C3=A4?="});
  EXPECT_TRUE(OptimizeHeaderEncoding(header, charsets));
  EXPECT_EQ(header.Get(0), "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=");
  EXPECT_EQ(header.Get(1), "X-Plain: abc");
  EXPECT_EQ(header.Get(2), "Comments: =?iso-8859-1?Q?=E4?=");  // the first fitting charset
  header.Changed = false;
  EXPECT_FALSE(OptimizeHeaderEncoding(header, charsets));
  EXPECT_FALSE(header.Changed);
}

TEST_F(HeaderFix, SortHeaderPutsNamedFieldsFirstInListOrder) {
  SetHeader({"Subject: s", "!RCPT TO: <a@b>", "From: f", "!MAIL FROM: <m@b>", "!RCPT TO: <c@d>"});
  EXPECT_TRUE(SortHeaderFields(header, "!MAIL FROM, !RCPT TO"));
  EXPECT_EQ(header.Lines(), (std::vector<std::string>{"!MAIL FROM: <m@b>", "!RCPT TO: <a@b>",
                                                      "!RCPT TO: <c@d>", "Subject: s", "From: f"}));
  header.Changed = false;
  EXPECT_FALSE(SortHeaderFields(header, "!MAIL FROM, !RCPT TO"));  // already in order
  EXPECT_FALSE(header.Changed);
  EXPECT_FALSE(SortHeaderFields(header, " , Missing,,"));
  EXPECT_TRUE(SortHeaderFields(header, "from,subject"));
  EXPECT_EQ(header.Get(0), "From: f");
  EXPECT_EQ(header.Get(1), "Subject: s");
  EXPECT_TRUE(header.Changed);
}

TEST_F(HeaderFix, EnvelopeRecipientsUnchangedWhenTheyMatch) {
  SetHeader({"!MAIL FROM: <me@x>", "!RCPT TO: <C@D>", "!RCPT TO: <a@b>", "To: a@b", "Cc: Eva <c@d>"});
  EXPECT_FALSE(RecreateRcptToLines(header, false));
  EXPECT_FALSE(header.Changed);
}

TEST_F(HeaderFix, EnvelopeRecipientsRebuiltInFieldOrder) {
  SetHeader({"!MAIL FROM: <me@x>", "!RCPT TO: <a@b>", "!RCPT TO: <extra@x>", "To: a@b",
             "Cc: c@d", "Subject: s"});
  EXPECT_TRUE(RecreateRcptToLines(header, false));
  EXPECT_EQ(header.Lines(),
            (std::vector<std::string>{"!MAIL FROM: <me@x>", "!RCPT TO: <a@b>", "!RCPT TO: <c@d>",
                                      "!RCPT TO: <extra@x>", "To: a@b", "Cc: c@d", "Subject: s"}));
}

TEST_F(HeaderFix, EnvelopeRecipientsWithoutDuplicatesAndWithoutBcc) {
  // Envelope lines before "!MAIL FROM", a recipient named twice in the
  // fields and twice in the envelope, and two Bcc lines.
  SetHeader({"!RCPT TO: <a@b>", "!RCPT TO: <A@B>", "!MAIL FROM: <me@x>", "To: a@b, A@B",
             "Bcc: hidden@x", "Cc: c@d", "BCC: other@x"});
  EXPECT_TRUE(RecreateRcptToLines(header, false));
  EXPECT_EQ(header.Lines(),
            (std::vector<std::string>{"!MAIL FROM: <me@x>", "!RCPT TO: <a@b>", "!RCPT TO: <c@d>",
                                      "!RCPT TO: <hidden@x>", "!RCPT TO: <other@x>", "To: a@b, A@B",
                                      "Cc: c@d"}));
  // Matching lists still lose their Bcc line.
  SetHeader({"!MAIL FROM: <me@x>", "!RCPT TO: <a@b>", "To: a@b", "Bcc: a@b"});
  EXPECT_TRUE(RecreateRcptToLines(header, false));
  EXPECT_EQ(header.Lines(), (std::vector<std::string>{"!MAIL FROM: <me@x>", "!RCPT TO: <a@b>", "To: a@b"}));
}

TEST_F(HeaderFix, EnvelopeRecipientsOfANewsMessage) {
  SetHeader({"From: f@x", "To: a@b", "Bcc: c@d"});
  EXPECT_FALSE(RecreateRcptToLines(header, false));
  EXPECT_FALSE(header.Changed);
  EXPECT_TRUE(RecreateRcptToLines(header, true));
  EXPECT_EQ(header.Lines(),
            (std::vector<std::string>{"From: f@x", "!RCPT TO: <a@b>", "!RCPT TO: <c@d>", "To: a@b"}));
  SetHeader({});
  EXPECT_FALSE(RecreateRcptToLines(header, true));
}

TEST_F(HeaderFix, ConvertHeaderTo8BitOnce) {
  SetHeader({"Subject: =?iso-8859-1?Q?Gr=FC=DFe?=", "X-Plain: abc", "From: =?iso-8859-1?Q?J=F6rg?= <j@x>"});
  EXPECT_TRUE(ConvertHeaderLinesTo8Bit(header, charsets));
  EXPECT_EQ(header.Lines(),
            (std::vector<std::string>{"Subject: Gr\xfc\xdf" "e", "X-Plain: abc", "From: J\xf6rg <j@x>",
                                      "X-CopyIf-Converted-Headers: From, Subject"}));
  header.Changed = false;
  EXPECT_FALSE(ConvertHeaderLinesTo8Bit(header, charsets));
  EXPECT_FALSE(header.Changed);
  SetHeader({"X-Plain: abc"});
  EXPECT_FALSE(ConvertHeaderLinesTo8Bit(header, charsets));
  EXPECT_EQ(header.Count(), 1);
}

TEST_F(HeaderFix, OEKillFalseReBug) {
  const Case cases[] = {
      {"Subject: AW: Hallo", "Subject: XX: AW: Hallo"},
      {"Subject: Ab: x", "Subject: XX: Ab: x"},
      {"Subject: Re: x", "Subject: Re: x"},
      {"Subject: Info: x", "Subject: Info: x"},  // colon at position 5
      {"Subject: A1: x", "Subject: A1: x"},
      {"Subject: Hallo", "Subject: Hallo"},
  };
  for (const Case& c : cases) {
    SetHeader({c.before});
    const bool fixed = FixOEKillFalseReSubject(header, charsets);
    EXPECT_EQ(header.Get(0), c.after);
    EXPECT_EQ(fixed, std::string(c.before) != c.after);
    EXPECT_EQ(header.HasField("X-CopyIf-OE-KillFalseRe-Bug"), fixed);
  }
  SetHeader({"Subject: AW: x", "References: <a@b>"});
  EXPECT_FALSE(FixOEKillFalseReSubject(header, charsets));
  SetHeader({"Subject: "});
  EXPECT_FALSE(FixOEKillFalseReSubject(header, charsets));
}

TEST_F(HeaderFix, BodyHeaderLines) {
  THeader hlist(&charsets);
  struct Row {
    bool allowX, allowAny;
    std::vector<std::string> body, bodyAfter, taken;
  } rows[] = {
      {true, false, {"X-No-Archive: yes", "", "Text"}, {"Text"}, {"X-No-Archive: yes"}},
      {false, false, {"X-No-Archive: yes", "", "Text"}, {"X-No-Archive: yes", "", "Text"}, {}},
      {false, true, {"@Followup-To: poster", "X-A: b", "Text"}, {"X-A: b", "Text"}, {"Followup-To: poster"}},
      {true, true, {"@Followup-To: poster", "X-A: b", "", "", "Text"}, {"Text"}, {"Followup-To: poster", "X-A: b"}},
      {true, false, {"x-lower: no", "Text"}, {"x-lower: no", "Text"}, {}},
      {true, false, {"X-Broken", "Text"}, {"X-Broken", "Text"}, {}},
      {true, false, {"", "  ", "Text"}, {"Text"}, {}},  // leading empty lines always go
      {true, false, {"", ""}, {""}, {}},
      {true, false, {"X-Only: one"}, {}, {"X-Only: one"}},
  };
  for (const Row& r : rows) {
    TCharsetStringlist body(nullptr);
    body.Assign(r.body);
    hlist.Clear();
    TakeHeadersFromBody(body, r.allowX, r.allowAny, hlist);
    EXPECT_EQ(body.Lines(), r.bodyAfter) << r.body[0];
    EXPECT_EQ(hlist.Lines(), r.taken) << r.body[0];
  }
}
