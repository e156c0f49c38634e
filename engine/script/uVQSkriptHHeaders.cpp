// Between the script and the message model: the header lines collected from
// text bodies, options set by the script for the rest of the run, the 8-bit
// test, and a part saved to a file and replaced by a reference to it.
#include <algorithm>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uGetStr.h"
#include "uHeader.h"
#include "uHeaderCoding.h"
#include "uMIMEInfo.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

bool Has8Bit(std::string_view s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 127; });
}

// Empties the override lists however the reload ends: left behind, they would
// bypass the file in every later Load.
class TOverrideScope {
public:
  TOverrideScope(TEinstellungen& settings, const std::vector<std::string>& keys,
                 const std::vector<std::string>& values)
      : settings_(settings) {
    settings_.OverrideKeys = keys;
    settings_.OverrideValues = values;
  }
  ~TOverrideScope() {
    settings_.OverrideKeys.clear();
    settings_.OverrideValues.clear();
  }
  TOverrideScope(const TOverrideScope&) = delete;
  TOverrideScope& operator=(const TOverrideScope&) = delete;

private:
  TEinstellungen& settings_;
};

}  // namespace

void TVQSkript::DeleteHeaderEntry(const std::string& name) {
  if (Trim(name).empty()) return;
  const std::string prefix = name + ": ";
  for (int i = 0; i < HList->Count(); ++i) {
    const std::string& line = HList->Get(i);
    if (line.size() >= prefix.size() && SameText(std::string_view(line).substr(0, prefix.size()), prefix)) {
      HList->Delete(i);
      return;
    }
  }
}

void TVQSkript::ApplyHHeaders() {
  Article->SetCurrentPart(1);
  for (int i = 0; i < HList->Count(); ++i) {
    std::string name, value;
    if (!SplitHeaderLine(HList->Get(i), name, value) || Trim(name).empty()) continue;
    Article->Header.SetField(name, value);
  }
}

bool TVQSkript::SetOption(const std::string& text) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  const std::string key = LowerCase(Trim(text.substr(0, eq)));
  const std::string valueText = Trim(text.substr(eq + 1));

  std::string value;
  std::string expression = valueText;
  if (!InterpreteString(expression, value) || !Trim(expression).empty()) value = valueText;

  const auto at = std::find(ChangedOptions.begin(), ChangedOptions.end(), key);
  if (at != ChangedOptions.end()) {
    ChangedOptionValues[static_cast<size_t>(at - ChangedOptions.begin())] = value;
  } else {
    ChangedOptions.push_back(key);
    ChangedOptionValues.push_back(value);
  }

  TOverrideScope scope(*Settings, ChangedOptions, ChangedOptionValues);
  Settings->Load(false);
  return true;
}

bool TVQSkript::Has8BitChars() {
  TMIMEPart* part = CurrentPart();
  if (part != nullptr) {
    if (Has8Bit(part->Body().GetInternalText())) return true;
    if (const TChangedStringlist* intro = part->GetNamedList("Intro"))
      for (int i = 0; i < intro->Count(); ++i)
        if (Has8Bit(intro->Get(i))) return true;
    // Reading the signature must not forget that a delimiter was seen.
    const bool sigFound = part->SigFound;
    const bool sig8Bit = Has8Bit(part->Sig().GetInternalText());
    part->SigFound = sigFound;
    if (sig8Bit) return true;
  }
  return std::any_of(LinesToAppend.begin(), LinesToAppend.end(),
                     [](const std::string& line) { return Has8Bit(line); });
}

void TVQSkript::SavePart(const std::string& folder, const std::string& fileName, uint8_t mode) {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  std::string written;
  SaveToUniqueFile(folder, fileName, part->GetDecodedBody(), written, mode);
  if (written.empty()) return;
  // An absolute path already begins with the slash that follows the host.
  std::string_view path = written;
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  const std::string reference = "Saved as <file://localhost/" + FileUrlEncode(path) + ">";
  const uint8_t encoding = part->GetMIMEInfo().Encoding;
  part->Body().SetInternalText(reference);
  // The whole decoded part is in the file: nothing of it stays behind a
  // signature delimiter it happened to contain.
  part->Sig().Clear();
  if (encoding == meQuotedPrintable || encoding == meBase64) part->SetTransferEncoding(me8Bit);
}

std::string FileUrlEncode(std::string_view path) {
  std::string result;
  result.reserve(path.size());
  for (const char c : path) {
    switch (c) {
      case '"': case '#': case '%': case '<': case '>': case '[': case '\\':
      case ']': case '^': case '`': case '{': case '|': case '}':
        result += '%';
        result += ByteToHex(static_cast<uint8_t>(c));
        break;
      default:
        result += c;
        break;
    }
  }
  return result;
}
