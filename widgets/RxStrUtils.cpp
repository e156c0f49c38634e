#include "RxStrUtils.h"

bool HasAnyChar(std::string_view text, std::string_view chars) {
  return text.find_first_of(chars) != std::string_view::npos;
}

std::string ExtractSubstr(std::string_view text, int& pos, std::string_view delimiters) {
  if (pos < 1) pos = 1;
  const size_t start = static_cast<size_t>(pos) - 1;
  if (start >= text.size()) return {};
  size_t end = text.find_first_of(delimiters, start);
  if (end == std::string_view::npos) end = text.size();
  std::string result(text.substr(start, end - start));
  // Past the delimiter, or one past the end when there was none.
  pos = static_cast<int>(end) + (end < text.size() ? 2 : 1);
  return result;
}
