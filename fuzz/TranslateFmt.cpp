// Translated texts are format strings written by translators: any text with
// any arguments must format or fall back, never crash or read past the list.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "uTransla.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Leading bytes describe up to eight arguments: the kind in the low two bits,
  // then eight bytes of value; the rest is the format.
  size_t i = 0;
  std::vector<FmtArg> args;
  size_t count = size > 0 ? data[i++] % 9 : 0;
  for (size_t k = 0; k < count && i < size; ++k) {
    uint8_t kind = data[i++] & 3;
    uint64_t bits = 0;
    size_t n = std::min<size_t>(8, size - i);
    std::memcpy(&bits, data + i, n);
    i += n;
    if (kind == 0) {
      args.emplace_back(int64_t(bits));
    } else if (kind == 1) {
      double d;
      std::memcpy(&d, &bits, sizeof d);
      args.emplace_back(d);
    } else {
      args.emplace_back(std::string(reinterpret_cast<const char*>(data + i - n), n));
    }
  }
  std::string fmt(reinterpret_cast<const char*>(data + i), size - i);
  try {
    Format(fmt, args);
  } catch (const EConvertError&) {
  }
  std::string text = TranslateFmt("Fuzz.Id", fmt, args);
  if (text.empty() && !fmt.empty() && fmt.find('%') == std::string::npos) __builtin_trap();
  return 0;
}
