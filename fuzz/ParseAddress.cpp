// Addresses come from message headers: any text must split and join again.
#include <cstdint>
#include <string>

#include "SysUtils.h"
#include "uTools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string value(reinterpret_cast<const char*>(data), size);
  std::string name, shortName, address;
  ParseAddress(value, name, shortName, address);
  std::string built = BuildAddress(name, address);
  ParseAddress(built, name, shortName, address);
  std::string list = value, item;
  bool more = true;
  while (more) CutFirstItem(list, more, item);
  return 0;
}
