// Translation of the texts a user sees. Every text has a message id and a German
// default written beside it in the source (UTF-8); the result is in the internal
// charset.
#pragma once

#include <cstdint>
#include <initializer_list>
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

void InitTranslation();
// Text of Id in the current language, or the German default.
std::string Translate(std::string_view id, std::string_view germanDefault);
// Translate, then Format; a text whose placeholders do not fit the arguments
// gives "#FmtE# " followed by the unformatted text.
std::string TranslateFmt(std::string_view id, std::string_view germanDefault,
                         const std::vector<FmtArg>& args);

// The INI class of the settings files; behaves exactly as TIniFile.
class TIniFileUTF8 : public TIniFile {
public:
  using TIniFile::TIniFile;
};
