// String helpers of the edit widgets. Texts are byte strings; positions are
// 1-based as everywhere in the engine.
#pragma once

#include <string>
#include <string_view>

// True when some character of Chars occurs in Text.
bool HasAnyChar(std::string_view text, std::string_view chars);

// The text from Pos up to (not including) the next of Delimiters or the end;
// Pos then stands just past that delimiter. A Pos below 1 counts as 1; a Pos
// past the end gives an empty text and stays.
std::string ExtractSubstr(std::string_view text, int& pos, std::string_view delimiters);
