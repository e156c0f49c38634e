// Box quotes, footnotes, one-liners and reformat blocks read their markers out
// of message bodies: any body, with any of a few marker sets, must convert
// without crashing or hanging. The first two bytes pick the settings; the
// rest is the body.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uCharsets.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

void SetUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  // The charset table lies beside the programs, in the build folder above this one.
  if (!FileExists(ShippedFile("charsets.dat"))) SetProgramDir(ProgramDir() + "..");
  GetCSInfos();
}

void Configure(uint16_t bits) {
  auto field = [&](int shift, int width) { return (bits >> shift) & ((1 << width) - 1); };
  SetInternalCharset(field(0, 1) ? "utf-8" : "windows-1252");
  for (int n = 0; n < BoxQuoteStyles; ++n) {
    TBoxQuote& s = BoxQuotes[size_t(n)];
    s = TBoxQuote{};
    s.BoxType = uint8_t((field(1, 2) + n) % 4);
    s.StartLine = "bq" + IntToStr(n + 1) + ":";
    s.SepLine = field(3, 1) ? "-" : "#";
    s.EndLine = "#";
    s.Title = field(4, 1) ? "# [ @ ] #" : "<*>";
    s.TopLeft = " ,";
    s.Top = field(5, 1) ? "-=" : "\xE2\x95\x90";
    s.TopRight = ".";
    s.Left = "| ";
    s.Right = " |";
    s.BottomLeft = " `";
    s.Bottom = "-";
    s.BottomRight = "' ";
    s.WidthTop = 4;
    s.WidthDown = 4;
    s.Valid = true;
  }
  TFootnoteSettings& f = Footnotes;
  f = TFootnoteSettings{};
  static const char* const marks[][2] = {{"(FN:", "#)"}, {"[", "]"}, {"((", "(((" }, {"<", "<>"}};
  f.BeginMark = marks[field(6, 2)][0];
  f.EndMark = marks[field(6, 2)][1];
  f.LineBreakMark = field(8, 1) ? "///" : "";
  f.WrapWidth = field(9, 1) ? 72 : int32_t(field(10, 3)) * 4;
  f.Title = "Fussnoten:";
  f.Underline = field(13, 1) != 0;
  f.TitleEmptyLine = true;
  f.Valid = true;
  Specials.OnelinerBegin = "OL:";
  Specials.OnelinerEnd = field(14, 1) ? "#" : ":";
  Specials.ReformatBegin = field(15, 1) ? "RF:" : ">";
  Specials.ReformatEnd = "#";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetUpOnce();
  if (size < 2) return 0;
  Configure(uint16_t(data[0] | data[1] << 8));
  const std::string body(reinterpret_cast<const char*>(data) + 2, size - 2);
  TVQEinstellungen settings;
  settings.BlankBeforeLines = (data[0] & 0x80) != 0;
  TArtikel article(InternalCharsetName(), "", "");
  article.LoadFromString("Subject: x\r\n\r\n" + body);
  TVQSkript script("fuzz.msg", &article, &settings);
  script.LinesToAppend = {"-- ", "OL:x#"};
  script.InsertIntro();
  script.ConvertFootnotes();
  script.ConvertReFormats();
  script.ConvertOneLiners();
  script.AppendFootnotes();
  script.AppendLines();
  for (int n = 1; n <= BoxQuoteStyles; ++n) script.ConvertBoxQuotes(n);
  article.GetText();
  return 0;
}
