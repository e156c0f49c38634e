// Base64 bodies come from outside: decoding takes any bytes, and whatever is
// encoded decodes back to itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "SysUtils.h"
#include "uHeaderCoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string decoded = DecodeBase64Bytes(text);
  if (decoded.size() > size) std::abort();
  std::string encoded = EncodeBase64(text);
  if (DecodeBase64Bytes(encoded) != text) std::abort();
  for (const std::string& line : SplitLines(encoded))
    if (line.size() > 76) std::abort();
  return 0;
}
