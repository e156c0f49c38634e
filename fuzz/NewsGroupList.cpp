// groups.lst and the article files come from the news-server folder: any bytes
// must give valid group names and CR LF texts.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "NewsServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& name : ParseGroupList(text)) {
    if (!IsValidGroupName(name) || name[0] == '#') std::abort();
    if (name.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  std::string crlf = ToCrLf(text);
  for (size_t i = 0; i < crlf.size(); ++i) {
    if (crlf[i] == '\r' && (i + 1 == crlf.size() || crlf[i + 1] != '\n')) std::abort();
    if (crlf[i] == '\n' && (i == 0 || crlf[i - 1] != '\r')) std::abort();
  }
  return 0;
}
