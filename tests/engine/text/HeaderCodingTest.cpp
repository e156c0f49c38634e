#include "uHeaderCoding.h"

#include <gtest/gtest.h>

#include <random>

#include "SysUtils.h"
#include "TestSupport.h"
#include "uTools.h"

namespace {

class HeaderCoding : public ::testing::Test {
protected:
  static void SetUpTestSuite() { LoadCharsetTables(); }
  void TearDown() override { SetInternalCharset(""); }
  TCharsets latin{"windows-1252", "us-ascii,iso-8859-1,iso-8859-15,utf-8"};
};

std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    size_t crlf = s.find("\r\n", start);
    out.push_back(s.substr(start, crlf == std::string::npos ? std::string::npos : crlf - start));
    if (crlf == std::string::npos) return out;
    start = crlf + 2;
  }
}

std::string RandomBytes(std::mt19937& rng, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    unsigned r = rng() % 10;
    s += r < 6 ? char('a' + rng() % 26) : r == 6 ? ' ' : r == 7 ? '\n' : char(rng() % 256);
  }
  return s;
}

}  // namespace

TEST_F(HeaderCoding, HexHelpers) {
  EXPECT_EQ(HexPairToByte("3D"), 0x3D);
  EXPECT_EQ(HexPairToByte("FF"), 0xFF);
  EXPECT_EQ(HexPairToByte("3d"), 0);  // upper case only
  EXPECT_EQ(HexPairToByte("G1"), 0);
  EXPECT_EQ(HexPairToByte("A"), 0);
  EXPECT_EQ(ByteToHex(0x0A), "0A");
  EXPECT_EQ(ByteToHex(0xFC), "FC");
}

TEST_F(HeaderCoding, ConvertCharsetByNameOrAlias) {
  std::string out;
  bool lossy = true;
  ConvertCharset(latin, "Gr\xfc\xdf" "e", "latin1", out, lossy, "UTF-8");
  EXPECT_EQ(out, "Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_FALSE(lossy);
  ConvertCharset(latin, "\x80", "unknown", out, lossy, "utf-8");  // charset 0: windows-1252
  EXPECT_EQ(out, "\xE2\x82\xAC");
  ConvertCharset(latin, "\xE2\x82\xAC", "utf-8", out, lossy, "iso-8859-1");
  EXPECT_EQ(out, "?");
  EXPECT_TRUE(lossy);
}

TEST_F(HeaderCoding, QuotedPrintableDecoding) {
  auto dec = [](std::string_view s, bool underscore = false) {
    return DecodeQuotedPrintableBytes(s, underscore);
  };
  EXPECT_EQ(dec("a=3Db=3db"), "a=b=b");             // either case of hex digit
  EXPECT_EQ(dec("soft=\r\nbreak"), "softbreak");
  EXPECT_EQ(dec("soft= \t\r\nbreak=\nend"), "softbreakend");
  EXPECT_EQ(dec("hard\r\nbreak"), "hard\r\nbreak");
  EXPECT_EQ(dec("a=G1b"), "a=G1b");                 // not an escape: kept, no NUL byte
  EXPECT_EQ(dec("a=4"), "a=4");
  EXPECT_EQ(dec("end="), "end=");
  EXPECT_EQ(dec("= x"), "= x");
  EXPECT_EQ(dec("a_b"), "a_b");
  EXPECT_EQ(dec("a_b=5F", true), "a b_");

  std::string out;
  bool ok = false;
  DecodeQuotedPrintable(latin, "=C3=A4", "utf-8", out, ok, false);
  EXPECT_EQ(out, "\xE4");
  EXPECT_TRUE(ok);
  DecodeQuotedPrintable(latin, "=F0=9F=98=80", "utf-8", out, ok, false);
  EXPECT_FALSE(ok);
  ok = true;
  DecodeQuotedPrintable(latin, "=C3=A4", "", out, ok, false);  // no charset: bytes as decoded
  EXPECT_EQ(out, "\xC3\xA4");
  EXPECT_TRUE(ok);
}

TEST_F(HeaderCoding, QuotedPrintableEncoding) {
  EXPECT_EQ(EncodeQuotedPrintable("From me\r\nFrom you\nOf", false),
            "=46rom me\r\n=46rom you\nOf");
  EXPECT_EQ(EncodeQuotedPrintable("a \r\nb \nc ", false), "a=20\r\nb=20\nc=20");
  EXPECT_EQ(EncodeQuotedPrintable("x=y\t\xe4 z", false), "x=3Dy=09=E4 z");
  std::string longLine(200, 'x');
  EXPECT_EQ(EncodeQuotedPrintable(longLine, false), longLine);

  // Soft breaks count output columns: no line over 76, no "=XX" split, and
  // "F" never starts a line.
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string text = RandomBytes(rng, rng() % 400);
    if (round % 3 == 0) text = std::string(rng() % 90, 'F') + text;
    std::string encoded = EncodeQuotedPrintable(text, true);
    for (const std::string& line : SplitLines(encoded)) {
      EXPECT_LE(line.size(), 76u) << line;
      EXPECT_FALSE(line.starts_with("F")) << line;
      size_t eq = line.rfind('=');
      if (eq != std::string::npos) {
        EXPECT_TRUE(eq + 3 <= line.size() || eq + 1 == line.size()) << line;
      }
    }
    EXPECT_EQ(DecodeQuotedPrintableBytes(encoded, false), text);
  }
  std::string exact(76, 'a');
  EXPECT_EQ(EncodeQuotedPrintable(exact, true), exact);  // a full last line needs no break
}

TEST_F(HeaderCoding, Base64) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("f"), "Zg==");
  EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
  EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
  EXPECT_EQ(EncodeBase64(std::string(57, 'a')).size(), 76u);
  std::string two = EncodeBase64(std::string(58, 'a'));
  EXPECT_EQ(two.substr(76, 2), "\r\n");
  EXPECT_EQ(two.size(), 76u + 2 + 4);

  EXPECT_EQ(DecodeBase64Bytes("Zm 9v\r\nYg=="), "foob");
  EXPECT_EQ(DecodeBase64Bytes("Zm9vYmE"), "fooba");
  EXPECT_EQ(DecodeBase64Bytes("Zm9vY"), "foo");  // a single leftover character gives nothing
  EXPECT_EQ(DecodeBase64Bytes("*!"), "");

  std::mt19937 rng(3);
  for (int round = 0; round < 100; ++round) {
    std::string text = RandomBytes(rng, rng() % 300);
    std::string encoded = EncodeBase64(text);
    for (const std::string& line : SplitLines(encoded)) EXPECT_LE(line.size(), 76u);
    EXPECT_EQ(DecodeBase64Bytes(encoded), text);
  }
  std::string out;
  bool ok = false;
  DecodeBase64(latin, "w6Q=", "utf-8", out, ok);
  EXPECT_EQ(out, "\xE4");
  EXPECT_TRUE(ok);
}

TEST_F(HeaderCoding, TransliterateToAsciiPerCharacter) {
  EXPECT_EQ(TransliterateToAscii("plain"), "plain");
  EXPECT_EQ(TransliterateToAscii("Gr\xfc\xdf" "e \x80 \xa0\xa9"), "Gruesse Euro  (c)");
  SetInternalCharset("utf-8");
  EXPECT_EQ(TransliterateToAscii("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE2\x80\x9Ehi\xE2\x80\x9C"),
            "Gruesse Euro \"hi\"");
  EXPECT_EQ(TransliterateToAscii("\xD0\x9F|\xF0\x9F\x98\x80|\xFF"), "?|?|?");
  SetInternalCharset("iso-8859-15");
  EXPECT_EQ(TransliterateToAscii("\xA4"), "Euro");  // its own table, not the windows-1252 byte
}

TEST_F(HeaderCoding, DecodeHeaderRfc2047Examples) {
  const std::pair<const char*, const char*> examples[] = {
      {"(=?ISO-8859-1?Q?a?=)", "(a)"},
      {"(=?ISO-8859-1?Q?a?= b)", "(a b)"},
      {"(=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=)", "(ab)"},
      {"(=?ISO-8859-1?Q?a?=  =?ISO-8859-1?Q?b?=)", "(ab)"},
      {"(=?ISO-8859-1?Q?a?=\r\n    =?ISO-8859-1?Q?b?=)", "(ab)"},
      {"(=?ISO-8859-1?Q?a_b?=)", "(a b)"},
      {"(=?ISO-8859-1?Q?a?= =?ISO-8859-2?Q?_b?=)", "(a b)"},
      {"=?US-ASCII?Q?Keith_Moore?= <moore@cs.utk.edu>", "Keith Moore <moore@cs.utk.edu>"},
      {"=?ISO-8859-1?Q?Andr=E9?= Pirard <PIRARD@vm1.ulg.ac.be>",
       "Andr\xe9 Pirard <PIRARD@vm1.ulg.ac.be>"},
      {"=?ISO-8859-1?B?SWYgeW91IGNhbiByZWFkIHRoaXMgeW8=?=\r\n "
       "=?ISO-8859-2?B?dSB1bmRlcnN0YW5kIHRoZSBleGFtcGxlLg==?=",
       "If you can read this you understand the example."},
  };
  for (const auto& [encoded, decoded] : examples) EXPECT_EQ(DecodeHeader(latin, encoded), decoded);
}

TEST_F(HeaderCoding, DecodeHeaderWords) {
  EXPECT_EQ(DecodeHeader(latin, "=?iso-8859-1?Q?Gr=FC=DFe?= =?iso-8859-1?Q?_Welt?="),
            "Gr\xfc\xdf" "e Welt");
  EXPECT_EQ(DecodeHeader(latin, "a =?utf-8?B?w6Q=?= b"), "a \xe4 b");
  EXPECT_EQ(DecodeHeader(latin, "=?UTF-8?q?a?=\r\n =?utf-8?b?Yg==?=\tc"), "ab\tc");
  EXPECT_EQ(DecodeHeader(latin, "=?ISO-8859-15?Q?=A4?="), "\x80");
  // Left as they are: unknown charsets, 8-bit text inside, lost characters.
  EXPECT_EQ(DecodeHeader(latin, "x =?x-unknown?Q?abc?= y"), "x =?x-unknown?Q?abc?= y");
  EXPECT_EQ(DecodeHeader(latin, "=?iso-8859-1?Q?a\xe4?="), "=?iso-8859-1?Q?a\xe4?=");
  EXPECT_EQ(DecodeHeader(latin, "=?utf-8?B?8J+YgA==?="), "=?utf-8?B?8J+YgA==?=");
  // Blanks before a word that fails stay.
  EXPECT_EQ(DecodeHeader(latin, "=?utf-8?Q?a?= =?bogus?Q?b?="), "a =?bogus?Q?b?=");
  // Broken or unfinished words, and a final "=".
  EXPECT_EQ(DecodeHeader(latin, "a="), "a=");
  EXPECT_EQ(DecodeHeader(latin, "==?utf-8?Q?x?="), "=x");
  EXPECT_EQ(DecodeHeader(latin, "=?utf-8?X?x?= rest"), "=?utf-8?X?x?= rest");
  EXPECT_EQ(DecodeHeader(latin, "=?utf-8?Q?unfinished"), "=?utf-8?Q?unfinished");
  EXPECT_EQ(DecodeHeader(latin, "=?utf-8?Q?x?=  "), "x  ");
  EXPECT_EQ(DecodeHeader(latin, "folded\r\n line"), "folded line");
  // Decoded line breaks cannot split the header line.
  EXPECT_EQ(DecodeHeader(latin, "=?us-ascii?Q?a=0D=0AX-Evil:_1?="), "a  X-Evil: 1");
}

TEST_F(HeaderCoding, QEncodeChar) {
  EXPECT_EQ(QEncodeChar(' '), "_");
  EXPECT_EQ(QEncodeChar('='), "=3D");
  EXPECT_EQ(QEncodeChar('?'), "=3F");
  EXPECT_EQ(QEncodeChar('_'), "=5F");
  EXPECT_EQ(QEncodeChar('\t'), "=09");
  EXPECT_EQ(QEncodeChar(0xE4), "=E4");
  EXPECT_EQ(QEncodeChar('a'), "a");
  EXPECT_EQ(QEncodeChar('@'), "@");
  EXPECT_EQ(QEncodeChar('!'), "!");
}

TEST_F(HeaderCoding, EncodeHeaderPhrases) {
  EXPECT_EQ(EncodeHeader(latin, "Subject: plain"), "Subject: plain");
  EXPECT_EQ(EncodeHeader(latin, "no colon \xe4"), "no colon \xe4");
  TCharsets iso("windows-1252", "iso-8859-1");
  EXPECT_EQ(EncodeHeader(iso, "Subject: Gr\xfc\xdf" "e"), "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=");
  EXPECT_EQ(EncodeHeader(latin, "Subject: Re: Gr\xfc\xdf" "e aus K\xf6ln und so"),
            "Subject: Re: =?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?= und so");
  EXPECT_EQ(EncodeHeader(latin, "Subject: 5 \x80"), "Subject: 5 =?iso-8859-15?Q?=A4?=");
  // Encoded lines are not encoded again.
  std::string once = EncodeHeader(latin, "Subject: \xe4");
  EXPECT_EQ(EncodeHeader(latin, once), once);
}

TEST_F(HeaderCoding, EncodeHeaderFoldsLongPhrases) {
  auto check = [&](const TCharsets& cs, const std::string& line) {
    std::string encoded = EncodeHeader(cs, line);
    std::vector<std::string> lines = Lines(encoded);
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_LE(lines[i].size(), 76u) << lines[i];
      if (i > 0) {
        EXPECT_TRUE(lines[i].starts_with(" =?")) << lines[i];
      }
      // Every encoded word holds whole characters.
      std::string alone = DecodeHeader(cs, lines[i]);
      EXPECT_EQ(alone.find("=?"), std::string::npos) << lines[i];
    }
    EXPECT_EQ("Subject: " + DecodeHeader(cs, encoded.substr(9)), line);
    return lines.size();
  };
  EXPECT_GE(check(latin, "Subject: " + std::string(100, '\xe4')), 3u);
  // Short enough without the name, too long with it.
  EXPECT_EQ(check(latin, "Subject: " + std::string(20, '\xe4') + std::string(10, 'x')), 2u);
  check(latin, "Subject: " + std::string(30, 'a') + " " + std::string(30, 'b') + " " +
                   std::string(30, 'c') + " \xe4 tail words here");
  check(latin, "Subject: " + std::string(80, 'a') + "\xe4");

  TCharsets utf8("utf-8", "us-ascii,iso-8859-1,utf-8");
  std::string mixed;
  for (int i = 0; i < 40; ++i) mixed += "\xE2\x82\xAC\xF0\x9F\x98\x80 ";
  check(utf8, "Subject: " + mixed + "end");
}

TEST_F(HeaderCoding, EncodeHeaderAddressFieldsWordByWord) {
  TCharsets iso("windows-1252", "us-ascii,iso-8859-1,utf-8");
  EXPECT_EQ(EncodeHeader(iso, "From: J\xfcrgen M\xfcller <jm@example.org>"),
            "From: =?iso-8859-1?Q?J=FCrgen_M=FCller?= <jm@example.org>");
  EXPECT_EQ(EncodeHeader(iso, "From: \"J\xfcrgen\" <jm@example.org>"),
            "From: \"=?iso-8859-1?Q?J=FCrgen?=\" <jm@example.org>");
  EXPECT_EQ(EncodeHeader(iso, "To: J\xf6rg M\xfcller <a@b>, Hans <c@d>, \xc4nne <e@f>"),
            "To: =?iso-8859-1?Q?J=F6rg_M=FCller?= <a@b>, Hans <c@d>, =?iso-8859-1?Q?=C4nne?= <e@f>");
  EXPECT_EQ(EncodeHeader(iso, "CC: a@b (J\xf6rg)"), "CC: a@b (=?iso-8859-1?Q?J=F6rg?=)");
  EXPECT_EQ(EncodeHeader(iso, "Reply-To: M\xfcller, Hans <h@x>"),
            "Reply-To: =?iso-8859-1?Q?M=FCller?=, Hans <h@x>");
  EXPECT_EQ(EncodeHeader(iso, "Bcc: J\xf6rg "), "Bcc: =?iso-8859-1?Q?J=F6rg?= ");
  // Only the listed address fields are taken word by word.
  EXPECT_EQ(EncodeHeader(iso, "X-To: J\xf6rg <a@b>"), "X-To: =?iso-8859-1?Q?J=F6rg?= <a@b>");
}
