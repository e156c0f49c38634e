#include "Translate.h"

#include <utility>

#include "SysUtils.h"

namespace {

// Constant-initialized, so it is in place before any static initializer sets it.
constinit TranslationLookup installedLookup = nullptr;

}  // namespace

TranslationLookup SetTranslationLookup(TranslationLookup lookup) {
  return std::exchange(installedLookup, lookup);
}

std::string ExpandLineBreaks(std::string_view text) { return StringReplace(text, "^m", "\r\n"); }

std::string GermanDefaultText(std::string_view germanDefault) {
  return ExpandLineBreaks(FromUtf8(germanDefault));
}

std::string Translate(std::string_view id, std::string_view germanDefault) {
  return installedLookup ? installedLookup(id, germanDefault) : GermanDefaultText(germanDefault);
}

std::string TranslateFmt(std::string_view id, std::string_view germanDefault,
                         const std::vector<FmtArg>& args) {
  std::string text = Translate(id, germanDefault);
  try {
    return Format(text, args);
  } catch (const EConvertError&) {
    return "#FmtE# " + text;
  }
}
