#include "uTransla.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"

namespace {

struct TranslationState {
  bool loaded = false;
  std::string language;
  std::string fileText;  // Tidelarn.dat as UTF-8
  std::vector<std::string> fileLines;  // the same in the internal charset
  bool linesMade = false;  // fileLines are those of the current internal charset
  bool runtimeCollected = false;
  std::vector<std::string> runtimeLines;
};

TranslationState& State() {
  static TranslationState state;
  return state;
}

// Made when first asked for: a run that translates nothing converts nothing,
// and one that changes the internal charset at start-up converts once.
const std::vector<std::string>& FileLines(TranslationState& state) {
  if (!state.linesMade) {
    state.fileLines = SplitLines(FromUtf8(state.fileText));
    state.linesMade = true;
  }
  return state.fileLines;
}

bool& LoadingTranslations() {
  static bool loading = false;
  return loading;
}

std::string ReadTranslationFile(const std::string& path) {
  std::string text;
  if (int err = ReadTrustedFile(path, text))
    throw EInOutError(Format(FromUtf8("Datei \"%s\" kann nicht gelesen werden"), {path}) + " (" +
                      ErrorReason(err) + ")");
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

// Whether Line begins with Key, Key already lower-case, Line compared lower-cased.
bool StartsLower(std::string_view line, std::string_view key) {
  if (line.size() < key.size()) return false;
  for (size_t i = 0; i < key.size(); ++i)
    if (AsciiLower(line[i]) != key[i]) return false;
  return true;
}

// Translate's lookup: the runtime lines of the current language.
std::string RuntimeText(std::string_view id, std::string_view germanDefault) {
  InitTranslation();
  TranslationState& state = State();
  if (!state.loaded) return LookupTranslation({}, id, germanDefault);  // while it loads
  if (!state.runtimeCollected) {
    CollectSection(FileLines(state), nullptr, state.runtimeLines, "Runtime");
    state.runtimeCollected = true;
  }
  return LookupTranslation(state.runtimeLines, id, germanDefault);
}

}  // namespace

// Installs the lookup before main. The build keeps this unit in every program
// that links the text services (the linker is told this symbol is needed), so
// a text translated before InitTranslation reads the files as one after it.
extern "C" const bool tidelarn_translation_installed = (SetTranslationLookup(&RuntimeText), true);

// A Specials.ini or Tidelarn.dat that cannot be read (or is refused) raises
// with a translated message, which comes here again: that message, and every
// other until the files are read, is German.
void InitTranslation() {
  if (State().loaded || LoadingTranslations()) return;
  LoadingTranslations() = true;
  try {
    TIniFile specials("Specials.ini");
    LoadingTranslations() = false;
    InitTranslation(specials);
  } catch (...) {
    LoadingTranslations() = false;
    throw;
  }
}

void InitTranslation(const TIniFile& specials) {
  TranslationState& state = State();
  if (state.loaded || LoadingTranslations()) return;
  LoadingTranslations() = true;
  struct Done {
    ~Done() { LoadingTranslations() = false; }
  } done;
  SetTranslationLookup(&RuntimeText);  // also for a start before static initialization ends
  std::string language = specials.ReadString("General", "Language", "");
  std::string text;
  std::string path = ShippedFile("Tidelarn.dat");
  if (FileExistsChecked(path)) text = Windows1252ToUtf8(ReadTranslationFile(path));
  state.language = std::move(language);
  state.fileText = std::move(text);
  state.loaded = true;
}

void DoneTranslation() { State() = TranslationState(); }

void RecodeTranslation() {
  TranslationState& state = State();
  state.linesMade = false;
  state.runtimeCollected = false;
}


std::string LookupTranslation(const std::vector<std::string>& lines, std::string_view id,
                              std::string_view germanDefault) {
  std::string key = LowerCase(id) + "=";
  if (key.size() > 255) key.resize(255);
  for (const std::string& line : lines)
    if (StartsLower(line, key)) return ExpandLineBreaks(line.substr(key.size()));
  return GermanDefaultText(germanDefault);
}

void CollectSection(const std::vector<std::string>& source, std::vector<std::string>* dotLines,
                    std::vector<std::string>& slashLines, std::string_view prefix) {
  InitTranslation();
  if (dotLines) dotLines->clear();
  slashLines.clear();
  const std::string head = "[" + State().language + "]";
  bool inSection = false;
  for (const std::string& line : source) {
    std::string t = Trim(line);
    if (!inSection) {
      inSection = t == head;
      continue;
    }
    if (t.empty()) continue;
    if (t[0] == '[') break;
    if (t.size() <= prefix.size() || std::string_view(t).substr(0, prefix.size()) != prefix) continue;
    char next = t[prefix.size()];
    if (next == '.') {
      if (dotLines) dotLines->push_back(std::move(t));
    } else if (next == '/') {
      slashLines.push_back(t.substr(prefix.size() + 1));
    }
  }
}

bool TakeValue(std::vector<std::string>& lines, std::string_view key, std::string& value) {
  std::string k = std::string(key) + "=";
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (it->compare(0, k.size(), k) == 0) {
      value = ExpandLineBreaks(it->substr(k.size()));
      lines.erase(it);
      return true;
    }
  }
  return false;
}

int ListLanguages(std::vector<std::string>& items) {
  InitTranslation();
  TranslationState& state = State();
  items.assign(1, "Deutsch");
  // Every line the section reader takes for a head is offered, indented or not,
  // so a language that works can also be chosen.
  for (const std::string& line : FileLines(state)) {
    std::string t = Trim(line);
    if (!t.empty() && t[0] == '[') items.push_back(Copy(t, 2, int64_t(t.size()) - 2));
  }
  auto found = std::find(items.begin(), items.end(), state.language);
  int index = found == items.end() ? 0 : int(found - items.begin());
  state.language = items[size_t(index)];
  return index;
}

void SetLanguage(std::string_view name) {
  InitTranslation();
  TIniFileUTF8 ini("Specials.ini");
  ini.WriteString("General", "Language", name);
  ini.UpdateFile();
  State().language = std::string(name);
  State().runtimeCollected = false;
}

bool GermanTexts() {
  InitTranslation();
  TranslationState& state = State();
  if (state.language.empty() || state.language == "Deutsch") return true;
  const std::string head = "[" + state.language + "]";
  for (const std::string& line : FileLines(state))
    if (Trim(line) == head) return false;
  return true;
}

const TComponentTexts* TFormTexts::Component(std::string_view componentName) const {
  auto it = components.find(LowerCase(componentName));
  return it == components.end() ? nullptr : &it->second;
}

TFormTexts CollectFormTexts(std::string_view formName, std::vector<std::string>& formLines) {
  InitTranslation();
  std::vector<std::string> own;
  CollectSection(FileLines(State()), &own, formLines, formName);
  TFormTexts texts;
  // Each line is "FormName.key=text"; the first line of a key wins, as when the
  // keys are taken out of the list one by one.
  for (const std::string& line : own) {
    std::string_view rest = std::string_view(line).substr(formName.size() + 1);
    size_t eq = rest.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = rest.substr(0, eq);
    std::string value = ExpandLineBreaks(std::string(rest.substr(eq + 1)));
    auto setOnce = [&](std::optional<std::string>& slot) {
      if (!slot) slot = std::move(value);
    };
    constexpr std::string_view kCaption = ".caption", kHint = ".hint";
    if (key == "caption")
      setOnce(texts.caption);
    else if (key.size() > kCaption.size() && key.ends_with(kCaption))
      setOnce(texts.components[std::string(key.substr(0, key.size() - kCaption.size()))].caption);
    else if (key.size() > kHint.size() && key.ends_with(kHint))
      setOnce(texts.components[std::string(key.substr(0, key.size() - kHint.size()))].hint);
  }
  return texts;
}
