// Header values come from any mail or posting: decoding must take any bytes,
// and encoding the result again must not fail either.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "SysUtils.h"
#include "uHeaderCoding.h"

namespace {
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadCharsetTablesOnce();
  if (size == 0) return 0;
  // The first byte picks the internal charset, the rest is the value.
  static TCharsets latin("windows-1252", "us-ascii,iso-8859-1,iso-8859-15,utf-8");
  static TCharsets utf8("utf-8", "us-ascii,koi8-r,iso-8859-1,utf-8");
  const TCharsets& cs = (data[0] & 1) ? utf8 : latin;
  std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string decoded = DecodeHeader(cs, value);
  for (const char* name : {"Subject: ", "From: ", "To: "}) {
    std::string encoded = EncodeHeader(cs, name + decoded);
    DecodeHeader(cs, encoded);
  }
  return 0;
}
