// ===========================================================================
// Steps of the article correction whose own work is not built yet. The
// correction calls them at their places already; until their files replace
// them here, each does nothing.
// ===========================================================================
#include "uVQSkript.h"

// Box quotes, footnotes, one-liners, reformat blocks, intro and appended lines.
void TVQSkript::InsertIntro() {}
void TVQSkript::ConvertFootnotes() {}
void TVQSkript::ConvertReFormats() {}
void TVQSkript::ConvertOneLiners() {}
void TVQSkript::AppendFootnotes() {}
void TVQSkript::AppendLines() {}
void TVQSkript::ConvertBoxQuotes(int) {}

// HTML parts, attachments and the body charset.
void TVQSkript::ConvertHtmlToText() {}
void TVQSkript::SetMinBodyCharset() {}
