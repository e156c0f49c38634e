#include "uArtikel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "Process.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uEinstellungen.h"
#include "uHeaderCoding.h"

namespace fs = std::filesystem;

namespace {

std::string CRLF(std::string_view lf) { return StringReplace(lf, "\n", "\r\n"); }

// What saving writes: the pieces of the final text, with bare LF line ends
// when the message had them.
std::string Saved(TArtikel& art) {
  TTextPieces pieces;
  art.GetFinalPieces(pieces);
  std::string text = pieces.Join();
  EXPECT_EQ(text, art.GetFinalText());
  if (art.LineEndsLFOnly) std::erase(text, '\r');
  return text;
}

class Artikel : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadCharsetTables(); }
  TArtikel art{"windows-1252", "us-ascii,iso-8859-1,iso-8859-15,utf-8",
               "us-ascii,iso-8859-1,utf-8"};
  TempDir dir;

  void LoadFile(const std::string& content, const std::string& name = "m.msg") {
    WriteFile(dir / name, content);
    art.LoadFromFile(dir / name);
  }
  // Parses every header, body and signature, which must not change the output.
  void TouchAll() {
    for (int i = 0; i < art.Parts.Count(); ++i) {
      art.Parts.Items(i)->Header();
      art.Parts.Items(i)->Body();
      art.Parts.Items(i)->HasSignature();
    }
  }
  // Marks every list changed, so every part is written from its lines.
  void RebuildAll() {
    TouchAll();
    for (int i = 0; i < art.Parts.Count(); ++i) {
      TMIMEPart* p = art.Parts.Items(i);
      p->Header().Changed = p->Parts->IsSplit();
      // Binary attachments are not line text; no correction rewrites them.
      if (p->GetMIMEInfo().ContentClass < ccApplication) p->Body().Changed = true;
    }
    art.Header.Changed = true;
  }
  std::vector<std::string> BodyLines(int part = 0) { return art.Parts.Items(part)->Body().Lines(); }
  std::vector<std::string> SigLines(int part = 0) { return art.Parts.Items(part)->Sig().Lines(); }
};

// ---------------------------------------------------------------------------
// A varied corpus of well-formed messages, written with LF and turned into
// CR LF where a case says so.

std::string Base64Lines(std::string_view bytes) {
  return StringReplace(EncodeBase64(bytes), "\r\n", "\n");
}
std::string QPLines(std::string_view text) {
  return StringReplace(EncodeQuotedPrintable(text, true), "\r\n", "\n");
}

struct Sample {
  const char* name;
  std::string text;  // LF line ends
  int safeReg1 = 0, safeReg2 = 0;
};

std::vector<Sample> Corpus() {
  std::string binary;
  for (int i = 0; i < 700; ++i) binary += char((i * 37 + 11) & 0xFF);
  return {
      {"posting with folds and signature",
       "Path: not-for-mail\n"
       "From: Max Muster <max@example.org>\n"
       "Newsgroups: de.test,\n"
       "\tde.alt.test\n"
       "Subject: Re: a long subject\n"
       "  that is folded twice\n"
       " here\n"
       "References: <a@example.org> <b@example.org>\n"
       "\n"
       "Max wrote:\n"
       "> quoted\n"
       ">> deeper\n"
       "\n"
       "My answer.\n"
       "-- \n"
       "Max\n"},
      {"mail with envelope lines and 8-bit header and body",
       "!MAIL FROM:<max@example.org>\n"
       "!RCPT TO:<eva@example.org>\n"
       "From: max@example.org\n"
       "To: eva@example.org\n"
       "Subject: Gr\xFC\xDF"
       "e\n"
       "MIME-Version: 1.0\n"
       "Content-Type: text/plain; charset=iso-8859-1\n"
       "Content-Transfer-Encoding: 8bit\n"
       "\n"
       "Sch\xF6nen Tag noch.\n"},
      {"multipart/mixed with preamble, epilogue, quoted-printable and base64",
       "From: a@example.org\n"
       "MIME-Version: 1.0\n"
       "Content-Type: multipart/mixed; boundary=\"=_outer\"\n"
       "\n"
       "This is a multi-part message in MIME format.\n"
       "\n"
       "--=_outer\n"
       "Content-Type: text/plain; charset=iso-8859-1\n"
       "Content-Transfer-Encoding: quoted-printable\n"
       "\n" +
           QPLines("Gr\xFC\xDF"
                   "e aus K\xF6ln,\r\nein sehr langer Absatz, der mit einem weichen Umbruch "
                   "auf die n\xE4"
                   "chste Zeile geht, wenn er lang genug ist.\r\n-- \r\nSig") +
           "\n"
           "--=_outer\n"
           "Content-Type: application/octet-stream; name=\"data.bin\"\n"
           "Content-Transfer-Encoding: base64\n"
           "Content-Disposition: attachment; filename=\"data.bin\"\n"
           "\n" +
           Base64Lines(binary) +
           "\n"
           "--=_outer--\n"
           "\n"
           "This is the epilogue.\n"},
      {"multipart/alternative without preamble",
       "From: a@example.org\n"
       "MIME-Version: 1.0\n"
       "Content-Type: multipart/alternative;\n"
       " boundary=alt42\n"
       "\n"
       "--alt42\n"
       "Content-Type: text/plain; charset=us-ascii\n"
       "\n"
       "Plain text.\n"
       "\n"
       "--alt42\n"
       "Content-Type: text/html; charset=us-ascii\n"
       "\n"
       "<p>Plain text.</p>\n"
       "--alt42--\n"},
      {"nested multiparts",
       "From: a@example.org\n"
       "MIME-Version: 1.0\n"
       "Content-Type: multipart/mixed; boundary=\"outer\"\n"
       "\n"
       "--outer\n"
       "Content-Type: multipart/alternative; boundary=\"inner\"\n"
       "\n"
       "--inner\n"
       "Content-Type: text/plain\n"
       "\n"
       "text\n"
       "--inner\n"
       "Content-Type: text/html\n"
       "\n"
       "<b>text</b>\n"
       "--inner--\n"
       "\n"
       "--outer\n"
       "Content-Type: text/plain; name=\"note.txt\"\n"
       "Content-Transfer-Encoding: base64\n"
       "\n" +
           Base64Lines("a note\r\nwith two lines\r\n") +
           "\n"
           "--outer--\n"},
      {"part without header and a part with blank lines before the boundary",
       "MIME-Version: 1.0\n"
       "Content-Type: multipart/mixed; boundary=b\n"
       "\n"
       "--b\n"
       "\n"
       "no header here\n"
       "--b\n"
       "Content-Type: text/plain\n"
       "\n"
       "two blank lines follow\n"
       "\n"
       "\n"
       "--b--\n"},
      {"protected lines", "X-Store: 1\nX-Store: 2\nSubject: s\n\nbody\nEND-OF-MESSAGE\n", 2, 1},
      {"fewer lines than protected", "X-Store: 1\nX-Store: 2\n", 3},
      {"header only", "Subject: nothing else\nX-A: b\n"},
      {"empty body", "Subject: empty\n\n"},
  };
}

}  // namespace

// ---------------------------------------------------------------------------
// Line reader

TEST(FastLineRead, ReadsEveryKindOfLineEnd) {
  TFastLineRead r("a\r\nb\nc\rd\r\r\ne");
  std::vector<std::string> lines;
  std::vector<bool> lf;
  while (r.Position < r.Text.size()) {
    lines.emplace_back(r.PeekLine());
    lf.push_back(r.LFOnly);
    r.SkipLine();
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d", "", "e"}));
  EXPECT_EQ(lf, (std::vector<bool>{false, true, false, false, false, false}));
  EXPECT_TRUE(r.Eof);
}

TEST(FastLineRead, LongLinesWithEveryLineEnd) {
  // Lines longer than the reader's search steps, with the other line-end byte
  // far ahead or missing.
  std::string text;
  std::vector<std::string> expected;
  for (size_t length : {0, 1, 15, 16, 17, 31, 255, 256, 257, 700})
    for (std::string_view end : {"\r\n", "\n", "\r"}) {
      expected.push_back(std::string(length, char('a' + expected.size() % 26)));
      text += expected.back();
      text += end;
    }
  expected.push_back(std::string(600, 'z'));
  text += expected.back();
  TFastLineRead r(text);
  std::vector<std::string> lines;
  while (r.Position < r.Text.size()) {
    lines.emplace_back(r.PeekLine());
    r.SkipLine();
  }
  EXPECT_EQ(lines, expected);
}

TEST(FastLineRead, EofLeavesAtMostOneLineEnd) {
  TFastLineRead empty("");
  EXPECT_TRUE(empty.Eof);
  TFastLineRead r("x\r\n\r\n");
  EXPECT_FALSE(r.Eof);
  EXPECT_EQ(r.PeekLine(), "x");
  EXPECT_EQ(r.PeekLine(), "x");  // peeking does not move
  r.SkipLine();
  EXPECT_TRUE(r.Eof);
  EXPECT_EQ(r.GetRest(), "\r\n");
}

TEST(FastLineRead, PopLastLine) {
  TFastLineRead r("one\r\ntwo\nthree\r\n");
  bool popped = false;
  EXPECT_EQ(r.PopLastLine(&popped), "three");
  EXPECT_TRUE(popped);
  EXPECT_TRUE(r.LFOnly);
  EXPECT_EQ(r.Text, "one\r\ntwo\n");
  EXPECT_EQ(r.PopLastLine(), "two");
  EXPECT_FALSE(r.LFOnly);
  EXPECT_EQ(r.PopLastLine(&popped), "");  // a single line stays
  EXPECT_FALSE(popped);
  EXPECT_EQ(r.Text, "one\r\n");

  TFastLineRead blank("a\r\n\r\n");
  EXPECT_EQ(blank.PopLastLine(&popped), "");  // the empty line before the final line end
  EXPECT_TRUE(popped);
  EXPECT_EQ(blank.Text, "a\r\n");
  TFastLineRead shortText("x");
  EXPECT_EQ(shortText.PopLastLine(&popped), "");
  EXPECT_FALSE(popped);

  TFastLineRead read("a\nb\n");  // lines already read are not taken
  read.PeekLine();
  read.SkipLine();
  read.PeekLine();
  read.SkipLine();
  EXPECT_EQ(read.PopLastLine(&popped), "");
  EXPECT_FALSE(popped);
}

TEST(TextPieces, LineEndsAndTheFinalLineEndAcrossPieces) {
  TTextPieces p;
  const size_t slot = p.AddSlot();
  p.Append("a\r");
  p.AppendOwned("\nb\r");
  p.Append("");
  p.Append("c\n\r");
  p.AppendOwned("\n");
  p.FillSlot(slot, "head\r\n");
  EXPECT_EQ(p.Join(), "head\r\na\r\nb\rc\n\r\n");
  EXPECT_EQ(p.CountLineEnds(), 5);
  EXPECT_EQ(p.CountLineEnds(1), 4);
  EXPECT_EQ(p.Size(1), 9u);
  p.RemoveFinalLineEnd();
  EXPECT_EQ(p.Join(), "head\r\na\r\nb\rc\n");
  p.RemoveFinalLineEnd();
  EXPECT_EQ(p.Join(), "head\r\na\r\nb\rc");
  p.Truncate(2);
  EXPECT_EQ(p.Join(), "head\r\na\r");
}

TEST(TextPieces, CountsLineEndsOfLongTexts) {
  // The count runs in blocks: texts of many blocks, dense with line ends (more
  // than a byte counter holds) and with every kind of them at block edges.
  for (std::string_view unit : {"\n", "\r\n", "\r", "x\r\nyz\n\r"}) {
    std::string text;
    int expected = 0;
    for (int i = 0; i < 1000; ++i) {
      text += unit;
      expected += unit == "x\r\nyz\n\r" ? 3 : 1;
    }
    EXPECT_EQ(CountLineEnds(text), expected) << unit.size();
    EXPECT_EQ(CountLineEnds("a" + text + std::string(300, 'a')), expected);
  }
  // Random mixtures of every length around the block edges, against a count
  // byte by byte.
  std::mt19937 random(7);
  for (size_t size = 0; size < 9000; size += 1 + random() % 97) {
    std::string text;
    for (size_t i = 0; i < size; ++i) text += "ab\r\n"[random() % 4];
    int expected = 0;
    for (size_t i = 0; i < size; ++i)
      expected += text[i] == '\n' || (text[i] == '\r' && (i + 1 == size || text[i + 1] != '\n'));
    ASSERT_EQ(CountLineEnds(text), expected) << size;
  }
}

// ---------------------------------------------------------------------------
// Loading and parsing

// The supplied CR LF belongs to the text: a message written back ends with it
// (a bare LF in an LF-only message).
TEST_F(Artikel, MissingFinalLineEndIsSupplied) {
  LoadFile("Subject: x\r\n\r\nlast line");
  EXPECT_EQ(art.LoadedText(), "Subject: x\r\n\r\nlast line\r\n");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"last line"}));
  EXPECT_EQ(art.GetFinalText(), "Subject: x\r\n\r\nlast line\r\n");
  art.Parts.Items(0)->Body().Add("added");
  EXPECT_EQ(art.GetFinalText(), "Subject: x\r\n\r\nlast line\r\nadded\r\n");

  LoadFile("Subject: x\n\nlast line");
  EXPECT_EQ(art.LoadedText(), "Subject: x\n\nlast line\n");
  art.Header.SetField("Subject", "y");
  EXPECT_EQ(Saved(art), "Subject: y\n\nlast line\n");
  LoadFile("Subject: x\nX-A: b");
  art.Header.SetField("Subject", "y");
  EXPECT_EQ(Saved(art), "Subject: y\nX-A: b\n\n");
}

// The buffer is sized from fstat; a file that says it is empty but is not (as
// the system's own files do) is read whole all the same.
TEST_F(Artikel, FileLargerThanItsStatedSizeIsReadWhole) {
  art.LoadFromFile("/proc/self/maps");
  EXPECT_GT(art.LoadedText().size(), 100u);
  EXPECT_TRUE(art.LoadedText().ends_with("\n"));
}

TEST_F(Artikel, LoadFailureKeepsThePreviousMessage) {
  LoadFile("Subject: kept\r\n\r\nbody\r\n");
  EXPECT_THROW(art.LoadFromFile(dir / "missing.msg"), EInOutError);
  EXPECT_EQ(art.Header.GetField("Subject", true), "kept");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"body"}));
}

TEST_F(Artikel, HeaderFoldsStayInsideTheLine) {
  art.LoadFromString("Subject: one\r\n\ttwo\r\n three\r\nX: y\r\n\r\nbody\r\n");
  ASSERT_EQ(art.Header.Count(), 2);
  EXPECT_EQ(art.Header.Get(0), "Subject: one\r\n\ttwo\r\n three");
  EXPECT_EQ(art.Header.GetField("subject", false), "one\ttwo three");
  EXPECT_FALSE(art.Header.Changed);
  art.LoadFromString(" stray continuation\r\nX: y\r\n\r\n");
  EXPECT_EQ(art.Header.Get(0), " stray continuation");
  EXPECT_EQ(art.GetText(), " stray continuation\r\nX: y\r\n\r\n");
}

TEST_F(Artikel, ProtectedLinesAtStartAndEnd) {
  art.SafeReg1 = 2;
  art.SafeReg2 = 1;
  LoadFile("A: 1\r\nB: 2\r\nC: 3\r\n\r\nbody\r\nlast\r\n");
  EXPECT_EQ(art.SafeReg1Lines.Lines(), (std::vector<std::string>{"A: 1", "B: 2"}));
  EXPECT_EQ(art.SafeReg2Lines.Lines(), (std::vector<std::string>{"last"}));
  EXPECT_EQ(art.Header.Lines(), (std::vector<std::string>{"C: 3"}));
  EXPECT_EQ(art.Parts.Items(0)->BodyText(), "body\r\n");
  // A changed body keeps its final line end, so the protected line stays a line of its own.
  art.Parts.Items(0)->Sig().Add("sig");
  EXPECT_EQ(art.GetFinalText(), "A: 1\r\nB: 2\r\nC: 3\r\n\r\nbody\r\n-- \r\nsig\r\nlast\r\n");

  art.SafeReg1 = 0;
  art.SafeReg2 = 10;  // more than there are lines
  LoadFile("A: 1\r\n\r\nb\r\n");
  EXPECT_EQ(art.SafeReg2Lines.Lines(), (std::vector<std::string>{"", "b"}));
  EXPECT_EQ(art.GetFinalText(), "A: 1\r\n\r\nb\r\n");
}

TEST_F(Artikel, BodyAndSignature) {
  art.LoadFromString("S: x\r\n\r\ntext\r\n-- \r\nsig line\r\n");
  TMIMEPart* p = art.CurrentPart();
  EXPECT_TRUE(p->HasSignature());
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"text"}));
  EXPECT_EQ(SigLines(), (std::vector<std::string>{"sig line"}));
  EXPECT_FALSE(p->SigFound);  // fetching Sig clears it
  EXPECT_TRUE(p->HasSignature());

  art.LoadFromString("S: x\r\n\r\n--\r\n-- more\r\n--  \r\n");
  EXPECT_FALSE(art.CurrentPart()->HasSignature());
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"--", "-- more", "--  "}));

  art.LoadFromString("S: x\r\n\r\ntext\r\n-- \r\n");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"text"}));
  EXPECT_TRUE(art.CurrentPart()->SigFound);
  EXPECT_TRUE(SigLines().empty());

  art.LoadFromString("S: x\r\n\r\n");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{""}));
  art.LoadFromString("S: x\r\n\r\nab\r\n\r\n");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"ab", ""}));
}

TEST_F(Artikel, SecondSignatureDelimiter) {
  art.SigDelimiter = "___";
  art.LoadFromString("S: x\r\n\r\ntext\r\n___\r\nold sig\r\n___\r\nsig 1\r\nsig 2\r\n");
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"text", "___", "old sig"}));
  EXPECT_EQ(SigLines(), (std::vector<std::string>{"sig 1", "sig 2"}));
  EXPECT_TRUE(art.CurrentPart()->HasSignature());
  EXPECT_FALSE(art.CurrentPart()->Body().Changed);
  art.LoadFromString("S: x\r\n\r\ntext\r\n___\r\nx\r\n-- \r\nreal\r\n");  // "-- " wins
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"text", "___", "x"}));
}

TEST_F(Artikel, CurrentPartBounds) {
  art.LoadFromString(
      CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; "
           "boundary=b\n\n--b\n\none\n--b\n\ntwo\n--b--\n"));
  ASSERT_EQ(art.Parts.Count(), 2);
  art.SetCurrentPart(2);
  EXPECT_EQ(art.CurrentPartNumber(), 2);
  art.SetCurrentPart(0);
  art.SetCurrentPart(3);
  EXPECT_EQ(art.CurrentPartNumber(), 2);
  EXPECT_EQ(art.CurrentPart()->Body().Get(0), "two");
  EXPECT_EQ(art.Parts.Items(2), nullptr);
  art.LoadFromString("S: x\r\n\r\n");
  EXPECT_EQ(art.CurrentPartNumber(), 1);
}

TEST_F(Artikel, MultipartSplit) {
  art.LoadFromString(
      CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n"
           "preamble\n--b\nContent-Type: text/plain\n X-Folded: y\n\nfirst\n--b "
           "\n\nxy\n--b--\nepilogue\n"));
  EXPECT_TRUE(art.Parts.IsSplit());
  EXPECT_TRUE(art.Parts.MIMEInfo.Multipart);
  EXPECT_EQ(art.Parts.Preamble, "preamble");
  ASSERT_EQ(art.Parts.Count(), 2);
  TMIMEPart* first = art.Parts.Items(0);
  EXPECT_EQ(first->HeaderText(), "Content-Type: text/plain\r\n X-Folded: y");
  EXPECT_EQ(first->Header().Lines(),
            (std::vector<std::string>{"Content-Type: text/plain\r\n X-Folded: y"}));
  EXPECT_EQ(first->BodyText(), "first");
  EXPECT_TRUE(first->GetMIMEInfo().Multipart);
  TMIMEPart* second = art.Parts.Items(1);  // boundary with transport padding, part without header
  EXPECT_EQ(second->HeaderText(), "");
  EXPECT_EQ(second->Header().Count(), 0);
  EXPECT_EQ(second->BodyText(), "xy");
  EXPECT_EQ(BodyLines(1), (std::vector<std::string>{"xy"}));
  EXPECT_EQ(art.Parts.CloseDelimiter, "\r\n--b--\r\n");
  EXPECT_EQ(art.Parts.Epilogue.View(), "epilogue\r\n");

  art.LoadFromString(
      CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--b\nX: "
           "1\n\nbody\n--b--\n"));
  EXPECT_EQ(art.Parts.Preamble, "");
  EXPECT_EQ(art.Parts.Items(0)->Header().Get(0), "X: 1");
}

TEST_F(Artikel, MultipartWithoutBoundaryLinesIsOnePart) {
  art.LoadFromString(
      CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n--bb\nno boundary\n"));
  EXPECT_FALSE(art.Parts.IsSplit());
  EXPECT_FALSE(art.Parts.MIMEInfo.Multipart);
  ASSERT_EQ(art.Parts.Count(), 1);
  EXPECT_EQ(BodyLines(), (std::vector<std::string>{"--bb", "no boundary"}));
  EXPECT_FALSE(art.CurrentPart()->GetMIMEInfo().Multipart);
  art.CurrentPart()->Body().Add("more");
  EXPECT_EQ(art.GetText(), CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; "
                                "boundary=b\n\n--bb\nno boundary\nmore\n"));
}

TEST_F(Artikel, MalformedBoundariesGiveNoNegativeSpans) {
  // A closing line before the first boundary is preamble, boundaries after the
  // first closing line are epilogue, a boundary at the very end opens an empty part.
  const std::string text = CRLF(
      "MIME-Version: 1.0\nContent-Type: multipart/mixed; "
      "boundary=b\n\n--b--\n--b\nA\n--b--\n--b\nB\n--b--\n");
  art.LoadFromString(text);
  ASSERT_EQ(art.Parts.Count(), 1);
  EXPECT_EQ(art.Parts.Preamble, "--b--");
  EXPECT_EQ(art.Parts.Items(0)->HeaderText(), "A");
  EXPECT_EQ(art.Parts.Epilogue.View(), "--b\r\nB\r\n--b--\r\n");
  TouchAll();
  EXPECT_EQ(art.GetText(), text);

  art.LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b");
  ASSERT_EQ(art.Parts.Count(), 2);
  EXPECT_EQ(art.Parts.Items(1)->BodyText(), "");
  TouchAll();
  EXPECT_EQ(art.GetText(),
            "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n--b");
}

// ---------------------------------------------------------------------------
// Output

TEST_F(Artikel, UnchangedCorpusComesOutByteForByte) {
  for (const Sample& s : Corpus()) {
    for (bool crlf : {true, false}) {
      const std::string text = crlf ? CRLF(s.text) : s.text;
      for (bool withoutFinalLineEnd : {false, true}) {
        std::string file = text;
        if (withoutFinalLineEnd) {
          if (!file.ends_with("\n")) continue;
          file.resize(file.size() - (crlf ? 2 : 1));
        }
        SCOPED_TRACE(std::string(s.name) + (crlf ? ", CR LF" : ", LF") +
                     (withoutFinalLineEnd ? ", no final line end" : ""));
        art.SafeReg1 = s.safeReg1;
        art.SafeReg2 = s.safeReg2;
        LoadFile(file);
        EXPECT_EQ(art.LineEndsLFOnly, !crlf);
        // A missing final line end is supplied, and written with the text;
        // so is the empty line after a header alone (none after a file that
        // ended within its protected lines).
        const std::string eol = crlf ? "\r\n" : "\n";
        std::string saved = file.ends_with("\n") ? file : file + eol;
        std::string lines = file;
        std::erase(lines, '\r');
        if (lines.find("\n\n") == std::string::npos &&
            std::count(saved.begin(), saved.end(), '\n') >= s.safeReg1)
          saved += eol;
        EXPECT_EQ(Saved(art), saved);
        TouchAll();
        EXPECT_EQ(Saved(art), saved);
        // Written back from the lists, the well-formed parts give the same bytes.
        RebuildAll();
        EXPECT_EQ(Saved(art), saved);
        // And a second round over the saved text is stable.
        LoadFile(Saved(art));
        RebuildAll();
        EXPECT_EQ(Saved(art), saved);
      }
    }
  }
}

TEST_F(Artikel, UntouchedPartsAreNeverDecoded) {
  LoadFile(CRLF(Corpus()[2].text));
  art.Header.SetField("Subject", "changed");
  std::string out = art.GetFinalText();
  EXPECT_NE(out.find("Subject: changed\r\n"), std::string::npos);
  for (int i = 0; i < art.Parts.Count(); ++i) {
    EXPECT_FALSE(art.Parts.Items(i)->HeaderParsed);
    EXPECT_FALSE(art.Parts.Items(i)->BodyParsed);
  }
}

TEST_F(Artikel, ChangedPartsKeepTheirBoundariesAndEndings) {
  const std::string text = CRLF(
      "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
      "--b\nContent-Type: text/plain\n\nplain\n-- \nsig\n"
      "--b\nContent-Type: text/plain\n\nwith blank\n\n"
      "--b--\n");
  art.LoadFromString(text);
  art.Parts.Items(0)->Body().Put(0, "PLAIN");
  art.Parts.Items(1)->Body().Insert(0, "top");
  art.Parts.Items(1)->Header().SetField("X-New", "1");
  EXPECT_EQ(art.GetText(), CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
                                "--b\nContent-Type: text/plain\n\nPLAIN\n-- \nsig\n"
                                "--b\nContent-Type: text/plain\nX-New: 1\n\ntop\nwith blank\n\n"
                                "--b--\n"));
  art.Parts.Delete(0);
  art.Parts.Delete(5);
  EXPECT_EQ(art.GetText(), CRLF("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
                                "\n--b\nContent-Type: text/plain\nX-New: 1\n\ntop\nwith blank\n\n"
                                "--b--\n"));
}

TEST_F(Artikel, LinesCountsTheLineEndsOfTheBody) {
  art.SetLines = true;
  LoadFile("Subject: s\r\n\r\none\r\ntwo\r\n\r\n");
  EXPECT_EQ(art.GetText(), "Subject: s\r\nLines: 3\r\n\r\none\r\ntwo\r\n\r\n");
  LoadFile("Subject: s\n\none\ntwo\n");
  art.GetText();
  EXPECT_EQ(art.Header.GetField("Lines", true), "2");
  art.BodyPrefix.Add("prefix");
  EXPECT_EQ(art.GetText(), "Subject: s\r\nLines: 2\r\n\r\nprefix\r\none\ntwo\n");
  EXPECT_EQ(CountLineEnds("a\r\nb\nc\rd"), 3);
  EXPECT_EQ(CountLineEnds(""), 0);
  EXPECT_EQ(CountLineEnds("\r"), 1);
  EXPECT_EQ(CountLineEnds("\r\r\n\n\r"), 4);
  EXPECT_EQ(CountLineEnds("no end"), 0);
}

// ---------------------------------------------------------------------------
// Charsets and transfer encodings

TEST_F(Artikel, BodyLinesAreStoredInThePartsCharset) {
  art.LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n\r\nGr\xC3\xBC\xC3\x9F"
      "e\r\n");
  TBody& body = art.CurrentPart()->Body();
  EXPECT_EQ(body.Charset, "utf-8");
  EXPECT_EQ(body.Get(0),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  EXPECT_EQ(body.GetInternalLine(0),
            "Gr\xFC\xDF"
            "e");
  body.Add("\xE4");
  EXPECT_EQ(body.Get(1), "\xC3\xA4");
  body.Changed = false;
  body.SetInternalLine(0,
                       "Gr\xFC\xDF"
                       "e");
  EXPECT_FALSE(body.Changed);
  EXPECT_EQ(body.GetInternalText(),
            "Gr\xFC\xDF"
            "e\r\n\xE4\r\n");

  art.CurrentPart()->SetCharset("iso-8859-1");
  EXPECT_EQ(art.Header.GetField("Content-Type", true), "text/plain; charset=iso-8859-1");
  EXPECT_EQ(body.Get(0),
            "Gr\xFC\xDF"
            "e");
  EXPECT_EQ(art.GetText(),
            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
            "Content-Transfer-Encoding: 8bit\r\n\r\nGr\xFC\xDF"
            "e\r\n\xE4\r\n");
}

TEST_F(Artikel, InternalLinesAgreeWithTheConversion) {
  // Lines whose bytes all map to themselves are read and stored without a
  // conversion; the result must be what the conversion gives (or, read, the
  // stored text where it loses characters), for every kind of byte and charset.
  const std::string lines[] = {
      "plain ASCII",   "Gr\xFC\xDF" "e",     "price \xA4 5", "control \x85 byte",
      std::string("nul\0byte", 8), "\xE4\xF6\xFC\xC4\xD6\xDC", "\x80 euro", "",
      "\xC3\xA4 utf-8"};
  for (const char* charset :
       {"iso-8859-1", "iso-8859-15", "windows-1252", "us-ascii", "koi8-r", "utf-8", "utf-7"}) {
    TBody body(&art.BodyCharsets);
    body.Charset = charset;
    const TCSInfos& infos = GetCSInfos();
    for (const std::string& line : lines) {
      body.AddRaw(line);
      bool lossy = false;
      const std::string converted = ConvertByIndex(line, infos.IndexOf(charset),
                                                   art.BodyCharsets.SourceIndex, lossy);
      const std::string expected = lossy ? line : converted;
      EXPECT_EQ(body.GetInternalLine(body.Count() - 1), expected) << charset << ": " << line;
      std::string reused = "old text";
      body.GetInternalLine(body.Count() - 1, reused);
      EXPECT_EQ(reused, expected);
      // And the way back, for a line given in the internal charset.
      body.Add(line);
      lossy = false;
      EXPECT_EQ(body.Get(body.Count() - 1), ConvertByIndex(line, art.BodyCharsets.SourceIndex,
                                                           infos.IndexOf(charset), lossy))
          << charset << ": " << line;
    }
  }
}

TEST_F(Artikel, LostCharactersMoveThePartToAFittingCharset) {
  art.LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nplain\r\n");
  TBody& body = art.CurrentPart()->Body();
  body.Add("5 \x80");  // the euro sign of windows-1252
  EXPECT_EQ(body.Charset, "iso-8859-15");
  EXPECT_EQ(body.Get(1), "5 \xA4");
  EXPECT_EQ(art.CurrentPart()->GetMIMEInfo().Charset, "iso-8859-15");

  // When no allowed charset holds the text, the loss is stored and nothing loops.
  TArtikel utf8("utf-8", "us-ascii", "us-ascii");
  utf8.LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nx\r\n");
  utf8.CurrentPart()->Body().Add("snow \xE2\x98\x83");
  EXPECT_EQ(utf8.CurrentPart()->Body().Charset, "windows-1252");
  EXPECT_EQ(utf8.CurrentPart()->Body().Get(1), "snow ?");
}

TEST_F(Artikel, SevenBitTransliterates) {
  art.LoadFromString(
      "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
      "Content-Transfer-Encoding: 8bit\r\n\r\nM\xFC\xDFig\r\n-- \r\n\xC4rger\r\n");
  art.CurrentPart()->SetTransferEncoding(me7Bit);
  EXPECT_EQ(art.Header.GetField("Content-Transfer-Encoding", true), "7bit");
  EXPECT_EQ(art.CurrentPart()->GetMIMEInfo().Encoding, me7Bit);
  EXPECT_EQ(art.GetText(),
            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
            "Content-Transfer-Encoding: 7bit\r\n\r\nMuessig\r\n-- \r\nAerger\r\n");
}

TEST_F(Artikel, TransferEncodingsAreWrittenAndReadBack) {
  for (uint8_t encoding : {meQuotedPrintable, meBase64, me8Bit}) {
    SCOPED_TRACE(int(encoding));
    art.LoadFromString(
        "Content-Type: text/plain; charset=iso-8859-1\r\n\r\nZeile mit \xFC und = Zeichen\r\n");
    art.CurrentPart()->SetTransferEncoding(encoding);
    const std::string out = art.GetText();
    EXPECT_EQ(art.Header.GetField("MIME-Version", true), "1.0");
    art.LoadFromString(out);
    EXPECT_EQ(art.CurrentPart()->GetMIMEInfo().Encoding, encoding);
    EXPECT_EQ(BodyLines(), (std::vector<std::string>{"Zeile mit \xFC und = Zeichen"}));
    EXPECT_TRUE(out.ends_with("\r\n"));
  }
  art.LoadFromString("MIME-Version: 1.0\r\nContent-Transfer-Encoding: base64\r\n\r\nYWJj\r\n");
  EXPECT_EQ(art.CurrentPart()->GetDecodedBody(), "abc");
  art.LoadFromString(
      "MIME-Version: 1.0\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n=41_\r\n");
  EXPECT_EQ(art.CurrentPart()->GetDecodedBody(), "A_\r\n");  // an underscore stays in bodies
}

TEST_F(Artikel, NamedListsAreOwnedByThePart) {
  art.LoadFromString("S: x\r\n\r\nb\r\n");
  TMIMEPart* p = art.CurrentPart();
  auto list = std::make_unique<TChangedStringlist>();
  list->Add("intro");
  p->SetNamedList("Intro", std::move(list));
  ASSERT_NE(p->GetNamedList("INTRO"), nullptr);
  EXPECT_EQ(p->GetNamedList("intro")->Get(0), "intro");
  p->SetNamedList("intro", std::make_unique<TChangedStringlist>());
  EXPECT_EQ(p->GetNamedList("intro")->Count(), 0);
  p->DeleteNamedList("Intro");
  EXPECT_EQ(p->GetNamedList("intro"), nullptr);
}

// ---------------------------------------------------------------------------
// PGP signing

namespace {

class Signing : public Artikel {
protected:
  TempDir tmp;
  SocketDir home;  // GNUPGHOME, where gpg-agent puts its sockets
  std::string savedTmp;
  TSpecialSettings saved = Specials;

  void SetUp() override {
    const char* t = std::getenv("TMPDIR");
    savedTmp = t ? t : "";
    setenv("TMPDIR", tmp.Path().c_str(), 1);
    Specials.SignedHeaders1 = {"Subject", "Date", "From", "Newsgroups", "Followup-To"};
    Specials.SignedHeaders2 = {"Message-ID", "Sender", "Approved", "Control", "Supersedes"};
  }
  void TearDown() override {
    if (savedTmp.empty())
      unsetenv("TMPDIR");
    else
      setenv("TMPDIR", savedTmp.c_str(), 1);
    Specials = saved;
  }
  // A stand-in for the PGP program: keeps its input and answers with Reply.
  void FakeProgram(const std::string& reply) {
    WriteFile(dir / "reply.txt", reply);
    WriteFile(dir / "pgp.sh", "#!/bin/sh\ncp \"$1\" '" + dir / "input.txt" + "'\n" +
                                  "[ -n \"$2\" ] && cp '" + dir / "reply.txt" +
                                  "' \"$2\"\nexit 0\n");
    chmod((dir / "pgp.sh").c_str(), 0755);
    Specials.PGPExe = dir / "pgp.sh";
    Specials.PGPSigPars = "%1 %2";
  }
  bool TempFolderEmpty() {
    for (const auto& e : fs::directory_iterator(tmp.Path()))
      ADD_FAILURE() << "left behind: " << e.path();
    return fs::is_empty(tmp.Path());
  }
};

const char* kBlock =
    "-----BEGIN PGP SIGNED MESSAGE-----\n\ntext\n"
    "-----BEGIN PGP SIGNATURE-----\nVersion: 2.6.3i\nCharset: noconv\n\niQCVAwUB\nNNMP==\n"
    "-----END PGP SIGNATURE-----\n";

}  // namespace

TEST_F(Signing, SignsSelectedHeadersAndTheBody) {
  FakeProgram(kBlock);
  art.LastAction = 3;
  art.LoadFromString(
      "Subject: s\r\nFrom: f@example.org\r\nMessage-ID: <1@example.org>\r\n"
      "Newsgroups: de.test\r\n\r\nbody\r\n\r\n\r\n\r\n");
  const std::string out = art.GetFinalText();
  EXPECT_EQ(
      ReadFile(dir / "input.txt"),
      "X-Signed-Headers: Subject,Date,From,Newsgroups,Followup-To,Message-ID\r\n"
      "Subject: s\r\nDate: \r\nFrom: f@example.org\r\nNewsgroups: de.test\r\nFollowup-To: \r\n"
      "Message-ID: <1@example.org>\r\n\r\nbody\r\n");
  EXPECT_EQ(art.Header.GetField("X-PGP-Sig", true),
            "2.6.3i Subject,Date,From,Newsgroups,Followup-To,Message-ID\r\n\tiQCVAwUB\r\n\tNNMP==");
  EXPECT_TRUE(
      out.ends_with("X-PGP-Sig: 2.6.3i Subject,Date,From,Newsgroups,Followup-To,Message-ID\r\n"
                    "\tiQCVAwUB\r\n\tNNMP==\r\n\r\nbody\r\n"));
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_EQ(art.GetText().find("X-Signed-Headers"), std::string::npos);
}

TEST_F(Signing, AnyFailureLeavesTheMessageUnsigned) {
  art.LastAction = 3;
  const std::string text = "Subject: s\r\n\r\nbody\r\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {kBlock, "%1"},  // no output name in the template
      {"-----BEGIN PGP SIGNATURE-----\nVersion: x\n\nsig\n-----END PGP SIGNATURE-----\n", "%1 %2"},
      {"-----BEGIN PGP SIGNATURE-----\nVersion: x\nCharset: y\n\nsig\n", "%1 %2"},
      {"", "%1 %2"},
  };
  for (const auto& [reply, params] : cases) {
    SCOPED_TRACE(params + " / " + reply);
    FakeProgram(reply);
    Specials.PGPSigPars = params;
    art.LoadFromString(text);
    EXPECT_EQ(art.GetFinalText(), text);
    EXPECT_TRUE(TempFolderEmpty());
  }
  Specials.PGPExe = dir / "no-such-program";
  art.LoadFromString(text);
  EXPECT_EQ(art.GetFinalText(), text);
  EXPECT_TRUE(TempFolderEmpty());
}

// The shipped adapter with real GnuPG: the signature in "X-PGP-Sig" verifies
// against the signed header fields and the body as a receiver rebuilds them.
namespace {

std::string HashName(const std::string& packets) {
  static const std::pair<const char*, const char*> names[] = {
      {"digest algo 1,", "MD5"},    {"digest algo 2,", "SHA1"},   {"digest algo 3,", "RIPEMD160"},
      {"digest algo 8,", "SHA256"}, {"digest algo 9,", "SHA384"}, {"digest algo 10,", "SHA512"},
      {"digest algo 11,", "SHA224"}};
  for (const auto& [key, name] : names)
    if (packets.find(key) != std::string::npos) return name;
  return {};
}

// The clear-signed text a receiver rebuilds from the signed message.
std::string RebuildClearSigned(const std::string& message, const std::string& hash) {
  TArtikel signedArt("windows-1252", "", "");
  signedArt.LoadFromString(message);
  std::vector<std::string> sig = SplitLines(signedArt.Header.GetField("X-PGP-Sig", true));
  std::string head = Trim(sig.at(0));
  std::string version = head.substr(0, head.find(' '));
  std::string names = head.substr(head.find(' ') + 1);
  std::string data = "X-Signed-Headers: " + names + "\r\n";
  for (const std::string& name : SplitLines(StringReplace(names, ",", "\n")))
    data += name + ": " + signedArt.Header.GetField(name, true) + "\r\n";
  data += "\r\n";
  data += message.substr(message.find("\r\n\r\n") + 4);
  std::string text = "-----BEGIN PGP SIGNED MESSAGE-----\nHash: " + hash + "\n\n";
  for (const std::string& line : SplitLines(data))
    text += (line.starts_with("-") ? "- " : "") + line + "\n";
  text += "-----BEGIN PGP SIGNATURE-----\nVersion: " + version + "\n\n";
  for (size_t i = 1; i < sig.size(); ++i) text += Trim(sig[i]) + "\n";
  text += "-----END PGP SIGNATURE-----\n";
  return text;
}

std::string ArmouredSignature(const std::string& message) {
  TArtikel signedArt("windows-1252", "", "");
  signedArt.LoadFromString(message);
  std::vector<std::string> sig = SplitLines(signedArt.Header.GetField("X-PGP-Sig", true));
  std::string text = "-----BEGIN PGP SIGNATURE-----\n\n";
  for (size_t i = 1; i < sig.size(); ++i) text += Trim(sig[i]) + "\n";
  return text + "-----END PGP SIGNATURE-----\n";
}

}  // namespace

TEST_F(Signing, RealGnuPGSignatureVerifies) {
  const std::string gpg = FindProgram("gpg");
  if (gpg.empty()) GTEST_SKIP() << "gpg is not installed: the signing adapter is not tested";
  chmod(home.Path().c_str(), 0700);
  const std::vector<std::string> env = {"GNUPGHOME=" + home.Path()};
  setenv("GNUPGHOME", home.Path().c_str(), 1);
  struct StopAgent {
    std::string home;
    ~StopAgent() {
      RunProcess(FindProgram("gpgconf"), {"--kill", "gpg-agent"}, {"GNUPGHOME=" + home});
      unsetenv("GNUPGHOME");
    }
  } stopAgent{home.Path()};
  ProcessResult made = RunProcess(
      gpg,
      {"--batch", "--pinentry-mode", "loopback", "--passphrase", "pass phrase", "--quick-gen-key",
       "Tidelarn Test <signer@example.org>", "ed25519", "sign", "never"},
      env);
  ASSERT_EQ(made.exitCode, 0) << made.err;

  Specials.PGPExe = std::string(TIDELARN_SOURCE_DIR) + "/data/pgp";
  Specials.PGPSigPars = "-sat %1 -o %2 -u \"signer@example.org\" -z\"pass phrase\"";
  art.LastAction = 3;
  art.LoadFromString(
      FromUtf8("Path: not-for-mail\r\nFrom: Max <max@example.org>\r\n"
               "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\nNewsgroups: de.test\r\n"
               "Message-ID: <sig@example.org>\r\nDate: Tue, 08 Dec 2026 07:24:00 +0100\r\n\r\n"
               "-- a line that needs dash escaping\r\nGrüße  \r\n\r\n-- \r\nMax\r\n\r\n"));
  const std::string message = art.GetFinalText();
  const std::string versionLine = SplitLines(RunProcess(gpg, {"--version"}, env).out).at(0);
  const std::string version = versionLine.substr(versionLine.rfind(' ') + 1);
  ASSERT_TRUE(art.Header.HasField("X-PGP-Sig")) << "not signed";
  EXPECT_NE(message.find("\r\nX-PGP-Sig: " + version +
                         " Subject,Date,From,Newsgroups,Followup-To,Message-ID\r\n\t"),
            std::string::npos);
  EXPECT_TRUE(TempFolderEmpty());

  WriteFile(dir / "sig.asc", ArmouredSignature(message));
  ProcessResult packets = RunProcess(gpg, {"--list-packets", dir / "sig.asc"}, env);
  const std::string hash = HashName(packets.out);
  ASSERT_FALSE(hash.empty()) << packets.out << packets.err;

  WriteFile(dir / "check.asc", RebuildClearSigned(message, hash));
  // gpg's status lines, not its messages: those speak the locale's language.
  ProcessResult verified =
      RunProcess(gpg, {"--batch", "--status-fd", "1", "--verify", dir / "check.asc"}, env);
  EXPECT_EQ(verified.exitCode, 0) << verified.err;
  EXPECT_NE(verified.out.find("[GNUPG:] GOODSIG "), std::string::npos) << verified.out;
  EXPECT_NE(verified.out.find("[GNUPG:] VALIDSIG "), std::string::npos) << verified.out;

  std::string forged = message;
  forged.replace(forged.find("Newsgroups: de.test"), 19, "Newsgroups: de.alt");
  WriteFile(dir / "forged.asc", RebuildClearSigned(forged, hash));
  EXPECT_NE(RunProcess(gpg, {"--batch", "--verify", dir / "forged.asc"}, env).exitCode, 0);
}
