// Tidelarn.dat comes from translators: any bytes must read, and every lookup
// over them must end with a text.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

const std::string& Folder() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/fuzz-transla-XXXXXX";
    const char* made = mkdtemp(tmpl);
    if (!made) std::abort();
    SetProgramDir(made);
    std::atexit([] { rmdir(ProgramDir().c_str()); });
    // The translation file and the settings naming the language in memory.
    static TMemoryFiles files;
    SetMemoryFiles(&files);
    return std::string(made) + "/";
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = Folder();
  std::string dat(reinterpret_cast<const char*>(data), size);
  // The language is the first section name of the file, so its section is read.
  std::string language;
  if (size_t open = dat.find('['); open != std::string::npos) {
    size_t close = dat.find_first_of("]\r\n", open + 1);
    language = dat.substr(open + 1, (close == std::string::npos ? dat.size() : close) - open - 1);
  }
  MemoryFiles()->files = {{dir + "Tidelarn.dat", dat},
                          {SettingsFile("Specials.ini"), "[General]\r\nLanguage=" + language + "\r\n"}};
  DoneTranslation();
  try {
    Translate("InterpreteNumeric.Error", "Fehler^m%s");
    TranslateFmt("Fuzz.Fmt", "%s: %d", {std::string("a"), int64_t(1)});
    std::vector<std::string> items;
    size_t index = size_t(ListLanguages(items));
    if (items.empty() || index >= items.size()) __builtin_trap();
    std::vector<std::string> formLines;
    TFormTexts texts = CollectFormTexts("MainForm", formLines);
    for (const auto& component : texts.components) texts.Component(component.first);
    for (const auto& line : formLines) {
      std::string id = line.substr(0, line.find('='));
      LookupTranslation(formLines, id, "Vorgabe");
    }
    std::string value;
    while (TakeValue(formLines, "AskSave", value)) {
    }
  } catch (const Exception&) {
  }
  return 0;
}
