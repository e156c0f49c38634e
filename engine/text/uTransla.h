// Translation of the texts a user sees: reading Tidelarn.dat and the language
// choice, and the texts of the forms. Translate and TranslateFmt (Translate.h)
// look their texts up here once this unit is linked.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "IniFile.h"
#include "Translate.h"

// Reads the language (Specials.ini [General] Language) and Tidelarn.dat, once
// per process; every other operation calls it first. Tidelarn.dat is taken as
// windows-1252 and held in the internal charset.
void InitTranslation();
// The same with Specials.ini as the caller read it.
void InitTranslation(const TIniFile& specials);
// Forgets what InitTranslation read, so the next operation reads it again.
void DoneTranslation();
// The internal charset changed: the texts read are taken into the new one when
// next looked up (Specials.ini may name it after the translations are read).
void RecodeTranslation();

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
// Stores the language in Specials.ini and uses it from now on: for messages,
// and for the texts of forms made afterwards.
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
