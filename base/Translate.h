// Translation of the texts a user sees. Every text has a message id and a German
// default written beside it in the source (UTF-8); the result is in the internal
// charset.
//
// The lookup in Tidelarn.dat belongs to the text services (uTransla), which
// install it here; every layer below them translates through this header. Until
// it is installed a text is its German default, as before a translation file is
// read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Format.h"

// Text of Id in the current language, or the German default (UTF-8 source
// text); "^m" becomes CR LF either way. The runtime lines are collected at the
// first call and again after the language or the internal charset changes.
std::string Translate(std::string_view id, std::string_view germanDefault);
// Translate, then Format; a text whose placeholders do not fit the arguments
// gives "#FmtE# " followed by the unformatted text.
std::string TranslateFmt(std::string_view id, std::string_view germanDefault,
                         const std::vector<FmtArg>& args);

// "^m" as CR LF: how the translation texts write a line break.
std::string ExpandLineBreaks(std::string_view text);
// The German default as shown when no translation applies.
std::string GermanDefaultText(std::string_view germanDefault);

// The lookup behind Translate; nullptr gives the German defaults. Returns the
// one it replaces.
using TranslationLookup = std::string (*)(std::string_view id, std::string_view germanDefault);
TranslationLookup SetTranslationLookup(TranslationLookup lookup);
