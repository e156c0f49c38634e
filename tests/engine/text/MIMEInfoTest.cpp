#include "uMIMEInfo.h"

#include <gtest/gtest.h>

#include <vector>

#include "SysUtils.h"

namespace {

// Just the field operations of the header list the MIME functions use.
class FakeHeader {
public:
  FakeHeader(std::initializer_list<std::string> lines) : lines(lines) {}
  std::vector<std::string> lines;

  void GetField(const std::string& name, bool /*raw*/, std::string& value) const {
    int i = IndexOf(name);
    value = i < 0 ? std::string() : lines[size_t(i)].substr(name.size() + 2);
  }
  bool HasField(const std::string& name) const { return IndexOf(name) >= 0; }
  bool SetField(const std::string& name, const std::string& value) {
    int i = IndexOf(name);
    if (value.empty()) {
      if (i >= 0) lines.erase(lines.begin() + i);
      return i >= 0;
    }
    std::string line = name + ": " + value;
    if (i < 0) lines.push_back(line);
    else if (lines[size_t(i)] == line) return false;
    else lines[size_t(i)] = line;
    return true;
  }

private:
  int IndexOf(const std::string& name) const {
    for (size_t i = 0; i < lines.size(); ++i)
      if (StartsText(name + ": ", lines[i])) return int(i);
    return -1;
  }
};

// The other spelling of the getter.
class ReturningHeader {
public:
  std::string GetField(const std::string& name, bool) const {
    return name == "Content-Type" ? "text/html; charset=UTF-8" : "";
  }
  bool HasField(const std::string&) const { return false; }
  bool SetField(const std::string&, const std::string&) { return false; }
};

}  // namespace

TEST(MIMEInfo, AnalysesMultipartBoundaries) {
  FakeHeader h{"MIME-Version: 1.0",
               "Content-Type: multipart/mixed; boundary=\"=_Part 1\"; x=y"};
  TMIMEInfo info = AnalyseMIME(true, h);
  EXPECT_TRUE(info.HasMIME);
  EXPECT_TRUE(info.Multipart);
  EXPECT_EQ(info.Boundary, "=_Part 1");
  EXPECT_EQ(info.ContentClass, ccOther);
  EXPECT_EQ(info.Encoding, me7Bit);

  EXPECT_EQ(MIMEParameter("multipart/mixed; boundary=abc; x=y", "boundary="), "abc");
  EXPECT_EQ(MIMEParameter("multipart/mixed; boundary=abc", "boundary="), "abc");
  EXPECT_EQ(MIMEParameter("multipart/mixed; boundary=abc;x=y", "boundary="), "abc");
  EXPECT_EQ(MIMEParameter("multipart/mixed; BOUNDARY=AbC\tx=y", "boundary="), "AbC");
  EXPECT_EQ(MIMEParameter("multipart/mixed;\r\n boundary=\r\n abc\r\n", "boundary="), "abc");
  EXPECT_EQ(MIMEParameter("multipart/mixed; boundary=\"open", "boundary="), "open");
  EXPECT_EQ(MIMEParameter("text/plain; charset=utf-8;format=flowed", "charset="), "utf-8");
  EXPECT_EQ(MIMEParameter("text/plain", "charset="), "");

  FakeHeader noBoundary{"MIME-Version: 1.0", "Content-Type: multipart/mixed"};
  EXPECT_FALSE(AnalyseMIME(true, noBoundary).Multipart);
  FakeHeader part{"Content-Type: text/plain"};
  EXPECT_TRUE(AnalyseMIME(false, part).Multipart);
  EXPECT_TRUE(AnalyseMIME(false, part).HasMIME);
}

TEST(MIMEInfo, AnalysesEncodingClassCharsetAndFileName) {
  auto encoding = [](const std::string& cte) {
    return AnalyseMIMEFields(false, "", "", cte, "").Encoding;
  };
  EXPECT_EQ(encoding(""), me7Bit);
  EXPECT_EQ(encoding("7bit"), me7Bit);
  EXPECT_EQ(encoding("8BIT"), me8Bit);
  EXPECT_EQ(encoding("Quoted-Printable"), meQuotedPrintable);
  EXPECT_EQ(encoding("BASE64"), meBase64);
  EXPECT_EQ(encoding(" base64\r\n"), meBase64);
  EXPECT_EQ(encoding("x-uuencode"), meOther);

  auto cls = [](const std::string& ct) { return AnalyseMIMEFields(false, "", ct, "", "").ContentClass; };
  EXPECT_EQ(cls(""), ccTextPlain);
  EXPECT_EQ(cls(" Text/Plain; charset=x"), ccTextPlain);
  EXPECT_EQ(cls("text/html"), ccTextHtml);
  EXPECT_EQ(cls("text/enriched"), ccText);
  EXPECT_EQ(cls("application/pdf"), ccApplication);
  EXPECT_EQ(cls("audio/ogg"), ccAudio);
  EXPECT_EQ(cls("image/png"), ccImage);
  EXPECT_EQ(cls("video/mp4"), ccVideo);
  EXPECT_EQ(cls("message/rfc822"), ccOther);

  // Without MIME-Version a message is plain ASCII text whatever it says.
  FakeHeader noMime{"Content-Type: text/html; charset=utf-8", "Content-Transfer-Encoding: 8bit"};
  TMIMEInfo info = AnalyseMIME(true, noMime);
  EXPECT_FALSE(info.HasMIME);
  EXPECT_EQ(info.ContentClass, ccTextPlain);
  EXPECT_EQ(info.Charset, "us-ascii");
  EXPECT_EQ(info.Encoding, meOther);

  FakeHeader att{"Content-Type: application/pdf; name=\"A.pdf\"",
                 "Content-Disposition: attachment; filename=\"Report 2024.PDF\"; size=3"};
  EXPECT_EQ(AnalyseMIME(false, att).FileName, "report 2024.pdf");
  EXPECT_EQ(AnalyseMIMEFields(false, "", "", "", "attachment; filename=A.TXT;size=1").FileName, "a.txt");

  ReturningHeader other;
  info = AnalyseMIME(false, other);
  EXPECT_EQ(info.Charset, "utf-8");
  EXPECT_EQ(info.ContentClass, ccTextHtml);
}

TEST(MIMEInfo, SetContentTypeCharset) {
  FakeHeader plain{"Subject: x"};
  EXPECT_TRUE(SetContentTypeCharset(true, plain, "iso-8859-1"));
  EXPECT_EQ(plain.lines, (std::vector<std::string>{
                             "Subject: x", "MIME-Version: 1.0",
                             "Content-Type: text/plain; charset=iso-8859-1",
                             "Content-Transfer-Encoding: 8bit"}));
  // Back to ASCII: a single-part plain text loses its MIME fields.
  SetContentTypeCharset(true, plain, "us-ascii");
  EXPECT_EQ(plain.lines, std::vector<std::string>{"Subject: x"});

  FakeHeader quoted{"MIME-Version: 1.0", "Content-Type: text/plain; charset=\"utf-8\"; format=flowed",
                    "Content-Transfer-Encoding: 7bit"};
  EXPECT_TRUE(SetContentTypeCharset(true, quoted, "iso-8859-15"));
  EXPECT_EQ(quoted.lines[1], "Content-Type: text/plain; charset=\"iso-8859-15\"; format=flowed");
  EXPECT_EQ(quoted.lines[2], "Content-Transfer-Encoding: 8bit");

  FakeHeader unquoted{"Content-Type: text/plain; charset=utf-8;format=flowed",
                      "Content-Transfer-Encoding: quoted-printable"};
  EXPECT_FALSE(SetContentTypeCharset(false, unquoted, "koi8-r"));
  EXPECT_EQ(unquoted.lines[0], "Content-Type: text/plain; charset=koi8-r;format=flowed");
  EXPECT_EQ(unquoted.lines[1], "Content-Transfer-Encoding: quoted-printable");

  // A part header keeps its fields; an empty CTE becomes 7bit for ASCII.
  FakeHeader part{"Content-Type: text/plain; charset="};
  SetContentTypeCharset(false, part, "us-ascii");
  EXPECT_EQ(part.lines, (std::vector<std::string>{"Content-Type: text/plain; charset=us-ascii",
                                                  "Content-Transfer-Encoding: 7bit"}));
  EXPECT_EQ(ReplaceCharsetParameter("text/plain", "x"), "text/plain; charset=x");

  // Dropping a quoted-printable field changes how the body must be written.
  FakeHeader qp{"MIME-Version: 1.0", "Content-Type: text/plain; charset=iso-8859-1",
                "Content-Transfer-Encoding: quoted-printable"};
  EXPECT_TRUE(SetContentTypeCharset(true, qp, "us-ascii"));
  EXPECT_TRUE(qp.lines.empty());
  FakeHeader none{};
  EXPECT_FALSE(SetContentTypeCharset(true, none, ""));
  EXPECT_TRUE(none.lines.empty());
}

TEST(MIMEInfo, SetTransferEncodingHeader) {
  FakeHeader h{"Subject: x"};
  EXPECT_FALSE(SetTransferEncodingHeader(true, h, me7Bit));
  EXPECT_FALSE(SetTransferEncodingHeader(true, h, meOther));
  EXPECT_EQ(h.lines.size(), 1u);
  EXPECT_TRUE(SetTransferEncodingHeader(true, h, meBase64));
  EXPECT_EQ(h.lines, (std::vector<std::string>{"Subject: x", "MIME-Version: 1.0",
                                               "Content-Transfer-Encoding: Base64"}));
  EXPECT_FALSE(SetTransferEncodingHeader(true, h, meBase64));
  FakeHeader part{"Content-Transfer-Encoding: 8bit"};
  EXPECT_TRUE(SetTransferEncodingHeader(false, part, meQuotedPrintable));
  EXPECT_EQ(part.lines, std::vector<std::string>{"Content-Transfer-Encoding: quoted-printable"});
}
