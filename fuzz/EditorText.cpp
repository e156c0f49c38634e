// Script and text files come from editors in any encoding: reading them into
// the internal charset and writing the text back must give the file's bytes
// again wherever nothing was lost, and what was once written must come back
// unchanged, under windows-1252 and under utf-8 as the internal charset.
//
// The input is taken both as a file's bytes and as a text in the internal
// charset that is written into files of each kind.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "uCharsets.h"
#include "uTools.h"

namespace {

void Check(bool ok, const char* what, const char* internal) {
  if (!ok) {
    std::fprintf(stderr, "fuzz check failed (internal charset \"%s\"): %s\n", internal, what);
    std::abort();
  }
}

size_t Questions(const std::string& s) { return size_t(std::count(s.begin(), s.end(), '?')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LoadCharsetTablesOnce();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const TCSInfos& infos = GetCSInfos();
  const int utf8 = infos.IndexOf("utf-8");
  const std::string mark = "\xEF\xBB\xBF";

  for (const char* internal : {"", "utf-8"}) {
    SetInternalCharset(internal);

    // The input as a file. Every character lost on reading is a "?" more;
    // where none was lost, writing the text back gives the file's bytes.
    const std::string& file = input;
    const std::string text = EditorTextToInternal(file);
    const TEditorEncoding encoding = EditorTextEncoding(file);
    const std::string written = InternalToEditorText(text, file);
    Check(Questions(text) >= Questions(file), "reading only loses characters to \"?\"", internal);
    if (Questions(text) == Questions(file))
      Check(written == file, "a file read without loss is written back as it was", internal);
    Check((encoding.byteOrderMark ? mark : "") + InternalToEditorText(text, encoding) == written,
          "the encoding found once writes what the file itself writes", internal);
    // What was written once reads and writes back unchanged.
    Check(InternalToEditorText(EditorTextToInternal(written), written) == written,
          "a written file is stable", internal);

    // The input as a text in the internal charset, written into a UTF-8 file
    // (its mark keeps it one) and into a file of the 8-bit charset (a byte
    // that is never UTF-8 keeps it one).
    const std::string& line = input;
    bool broken = false;
    const bool clean = (InternalCharsetIndex() == utf8
                            ? (ConvertByIndex(line, utf8, utf8, broken), !broken)
                            : true) &&
                       line.find('\0') == std::string::npos;
    const std::string utf8File = mark + "a\xC3\xA4\n";
    const std::string inUtf8 = InternalToEditorText(line, EditorTextEncoding(utf8File));
    if (clean) {
      Check(EditorTextEncoding(utf8File + inUtf8) == EditorTextEncoding(utf8File),
            "a UTF-8 file stays UTF-8", internal);
      Check(EditorTextToInternal(utf8File + inUtf8) == EditorTextToInternal(utf8File) + line,
            "UTF-8 holds every character", internal);
    }
    const std::string byteFile = "\xFF\n";
    const std::string inBytes = InternalToEditorText(line, EditorTextEncoding(byteFile));
    if (clean && Questions(inBytes) == Questions(line))
      Check(EditorTextToInternal(byteFile + inBytes) == EditorTextToInternal(byteFile) + line,
            "an 8-bit file gives back every character it took", internal);
  }
  SetInternalCharset("");
  return 0;
}
