// HTML to plain text for the automatic conversion of HTML parts.
//
// One pass over the input with a small state machine: tags become line breaks,
// tabs, list bullets, emphasis marks or link texts; entities come from a fixed
// table; runs of blanks collapse, at most one empty line stands between
// paragraphs, and long lines wrap at 75 characters. Only text inside the
// document's body (after an html or body tag) is written.
//
// Bytes in the internal charset in and out; entities become their characters
// in that charset ("?" where it has none). Time and output size are linear in
// the input, whatever the mail holds (unclosed tags, endless nesting, giant
// entities).
#pragma once

#include <string>
#include <string_view>

void HtmlToText(std::string_view html, std::string& text);
std::string HtmlToText(std::string_view html);

// Value of Key (such as "href=") in a tag's attributes; Key is found without
// regard to ASCII case, the value keeps its case. Empty when Key is absent.
// A value that begins with a double quote ends before the next one; any other
// runs to the end of the attributes (single quotes are not special).
std::string GetAttributeValue(std::string_view attributes, std::string_view key);
