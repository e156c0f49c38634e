// Patterns and subjects come from scripts and messages: any pattern either
// compiles or raises, and every walk over the matches ends, with the tagged
// pieces joining back to the subject.
#include <cstdint>
#include <string>
#include <vector>

#include "uperlre.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\n');
  std::string pattern = input.substr(0, cut);
  std::string subject = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  try {
    TPerlre re(true, size % 2 ? TPerlre::kCaseless : 0);
    std::vector<std::string> tags, pieces;
    int count = 0;
    re.SplitTagged(pattern, subject, "o", "m", 0, &tags, &pieces, count);
    std::string joined;
    for (const auto& p : pieces) joined += p;
    if (joined != subject || tags.size() != pieces.size()) __builtin_trap();

    pieces.clear();
    re.Split(pattern, subject, size % 3 == 0, &pieces);
    if (pieces.size() > 2 * subject.size() + 2) __builtin_trap();

    re.SetSubject(subject);
    size_t steps = 0;
    while (re.FindNext()) {
      if (++steps > 2 * subject.size() + 2) __builtin_trap();
      for (int g = 0; g < TPerlre::kPairs; ++g) re.GroupText(g);
    }
    QuoteRegex(subject);
  } catch (const EPerlRe&) {
  }
  return 0;
}
