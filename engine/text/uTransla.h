// Translation of the texts a user sees. Every text has a message id and a German
// default written beside it in the source (UTF-8); the result is in the internal
// charset.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "IniFile.h"

// One argument of a Delphi-style Format: integers, floats and texts.
using FmtArg = std::variant<int64_t, double, std::string>;

// Delphi's Format over typed arguments: %d %u %x %s %f %g %e %n %%, with index,
// "-", width and precision. A placeholder that does not fit its argument raises
// EConvertError; it never reads past the arguments.
std::string Format(std::string_view fmt, const std::vector<FmtArg>& args);

// Reads the language (Specials.ini [General] Language) and Tidelarn.dat, once
// per process; every other operation calls it first. Tidelarn.dat is taken as
// windows-1252 and held in the internal charset.
void InitTranslation();
// The same with Specials.ini as the caller read it.
void InitTranslation(const TIniFile& specials);
// Forgets what InitTranslation read, so the next operation reads it again.
void DoneTranslation();

// Text of Id in the current language, or the German default (UTF-8 source
// text); "^m" becomes CR LF either way. The runtime lines are collected at the
// first call and keep their language until DoneTranslation.
std::string Translate(std::string_view id, std::string_view germanDefault);
// Translate, then Format; a text whose placeholders do not fit the arguments
// gives "#FmtE# " followed by the unformatted text.
std::string TranslateFmt(std::string_view id, std::string_view germanDefault,
                         const std::vector<FmtArg>& args);

// The text after "Id=" (compared without regard to ASCII case) of the first
// line of Lines that begins so, else the German default (UTF-8 source text);
// "^m" becomes CR LF.
std::string LookupTranslation(const std::vector<std::string>& lines, std::string_view id,
                              std::string_view germanDefault);
// Walks the current language's section of Source: lines "Prefix.key=text" go
// whole to DotLines (when given), lines "Prefix/id=text" without "Prefix/" to
// SlashLines. Both lists are cleared first; prefixes are case-sensitive.
void CollectSection(const std::vector<std::string>& source, std::vector<std::string>* dotLines,
                    std::vector<std::string>& slashLines, std::string_view prefix);
// Takes the first line beginning "Key=" (case-sensitive) out of Lines and
// returns its text with "^m" as CR LF.
bool TakeValue(std::vector<std::string>& lines, std::string_view key, std::string& value);

// "Deutsch" and then every section head of Tidelarn.dat in file order. Returns the
// index of the current language (0 when it is not offered) and makes that entry
// the current language.
int ListLanguages(std::vector<std::string>& items);
// Stores the language in Specials.ini and uses it for form texts from now on.
void SetLanguage(std::string_view name);
// Whether the texts shown are the built-in German ones: no language chosen,
// "Deutsch", or a language Tidelarn.dat has no section for.
bool GermanTexts();

// The translated texts of one form, for the toolkit code that applies them.
struct TComponentTexts {
  std::optional<std::string> caption;
  std::optional<std::string> hint;
};
struct TFormTexts {
  std::optional<std::string> caption;  // the form's own
  // By component name as written in the file (lower-case to be found).
  std::map<std::string, TComponentTexts, std::less<>> components;
  // Texts for a component; its name is lower-cased (ASCII) to look it up.
  const TComponentTexts* Component(std::string_view componentName) const;
};
// Texts of the form FormName in the current language (names and prefixes are
// case-sensitive; the first line of a key wins). FormLines receives the form's
// message lines ("FormName/id=text"), for LookupTranslation.
TFormTexts CollectFormTexts(std::string_view formName, std::vector<std::string>& formLines);

// The INI class of the settings files; behaves exactly as TIniFile.
class TIniFileUTF8 : public TIniFile {
public:
  using TIniFile::TIniFile;
};
