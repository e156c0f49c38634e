// Hand-over files are written by one program and read by the other; whatever
// is left in them (a crash half-way, another program's file) must read safely.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "SafeFile.h"
#include "SysUtils.h"
#include "uHandOver.h"

namespace {

std::string Blanked(std::string s) {
  std::replace(s.begin(), s.end(), '\0', ' ');
  return s;
}

void CheckRoundTrip(const TErrorDisplay& d) {
  THandOverReader again(FormatShowErrorRequest(d));
  TErrorDisplay e;
  ReadShowErrorHead(again, e);
  ReadShowErrorLists(again, e);
  auto same = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (Blanked(a[i]) != b[i]) return false;
    return true;
  };
  if (!again.AtEnd() || Blanked(d.fileName) != e.fileName || Blanked(d.errorMsg) != e.errorMsg ||
      e.lineNo != d.lineNo || e.caretPos != d.caretPos || e.continueLine != d.continueLine ||
      !same(d.scriptLines, e.scriptLines) || !same(d.textLines, e.textLines))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);

  TErrorDisplay d;
  THandOverReader r(text);
  try {
    ReadShowErrorHead(r, d);
    ReadShowErrorLists(r, d);
    CheckRoundTrip(d);
  } catch (const EInOutError&) {
  }

  int line = 0, state = 0;
  ParseShowErrorAnswer(text, line, state);

  std::string encoded = EncodeHandoverValue(text);
  if (encoded.find_first_of("\r\n") != std::string::npos) std::abort();

  // The hand-over file is read, answered and read again in memory.
  static TMemoryFiles files;
  SetMemoryFiles(&files);
  const std::string path = "/tmp/fuzz-handover/InputBox.tmp";
  files.files = {{path, text}};
  try {
    TInputBoxRequest req = ReadInputBoxRequest(path);
    WriteInputBoxAnswer(path, req.title + req.preset);
    if (ReadInputBoxRequest(path).preset !=
        DecodeHandoverValue(EncodeHandoverValue(req.title + req.preset)))
      std::abort();
  } catch (const Exception&) {
  }
  return 0;
}
