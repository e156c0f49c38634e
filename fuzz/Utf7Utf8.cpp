// Texts in UTF-7 and UTF-8 come from outside: decoding takes any bytes, what
// decodes without loss encodes back to the same codes, and the fast
// conversions give what the general one gives.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "SysUtils.h"
#include "uCharsets.h"

namespace {

bool HasNoCharacter(const std::u16string& s) { return s.find(char16_t(0)) != std::u16string::npos; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadCharsetTablesOnce();
  const TCSInfos& infos = GetCSInfos();
  std::string text(reinterpret_cast<const char*>(data), size);
  const int utf7 = infos.IndexOf("utf-7"), utf8 = infos.IndexOf("utf-8");
  for (int kind : {utf7, utf8}) {
    const TCSInfo& cs = *infos.Items(kind);
    std::u16string codes = TCharsets::Decode(text, cs);
    for (int other : {utf7, utf8}) {
      bool lossy = false;
      std::string back = TCharsets::Encode(codes, *infos.Items(other), lossy);
      if (!lossy && !HasNoCharacter(codes) && TCharsets::Decode(back, *infos.Items(other)) != codes)
        std::abort();
    }
    for (int to : {0, 2, utf7, utf8}) {
      bool fast = false, slow = false;
      std::string a = ConvertByIndex(text, kind, to, fast);
      std::string b = TCharsets::Encode(codes, *infos.Items(to), slow);
      if (kind == to && kind == utf8 && !slow) b = text;
      if (a != b || fast != slow) std::abort();
    }
  }
  // 8-bit texts into the Unicode charsets take their own fast path.
  for (int from : {0, 2, infos.IndexOf("koi8-r")}) {
    std::u16string codes = TCharsets::Decode(text, *infos.Items(from));
    for (int to : {utf7, utf8}) {
      bool fast = false, slow = false;
      std::string a = ConvertByIndex(text, from, to, fast);
      std::string b = TCharsets::Encode(codes, *infos.Items(to), slow);
      if (a != b || fast != slow) std::abort();
    }
  }
  return 0;
}
