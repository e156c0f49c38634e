// HTML bodies come from untrusted mail: any bytes must convert, in time and
// output proportional to the input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "uHtml2Text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view html(reinterpret_cast<const char*>(data), size);
  std::string text = HtmlToText(html);
  // No tag, entity or wrap writes more than this per input byte.
  if (text.size() > 64 * size + 64) std::abort();
  // The first line may name the attribute key to look for.
  size_t eol = html.find('\n');
  if (eol != std::string_view::npos) GetAttributeValue(html.substr(eol + 1), html.substr(0, eol));
  return 0;
}
