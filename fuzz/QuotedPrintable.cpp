// Quoted-printable bodies and encoded words come from outside: decoding takes
// any bytes, and whatever is encoded decodes back to itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "SysUtils.h"
#include "uHeaderCoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  DecodeQuotedPrintableBytes(text, false);
  DecodeQuotedPrintableBytes(text, true);
  for (bool soft : {false, true}) {
    std::string encoded = EncodeQuotedPrintable(text, soft);
    if (DecodeQuotedPrintableBytes(encoded, false) != text) std::abort();
    if (soft)
      for (const std::string& line : SplitLines(encoded))
        if (line.size() > 76) std::abort();
  }
  return 0;
}
