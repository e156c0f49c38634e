// String arguments of the text commands (an expression, "from" a file, or a
// block of the following script lines closed by "end"), the wildcards inside
// such texts, and the Intro list of the current part.
#include <algorithm>
#include <memory>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uGetStr.h"
#include "uHeader.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

bool IsBlank(std::string_view s) {
  for (const char c : s)
    if (static_cast<unsigned char>(c) > ' ') return false;
  return true;
}

void TrimInPlace(std::string& s) {
  size_t end = s.size();
  while (end > 0 && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  s.erase(end);
  size_t start = 0;
  while (start < s.size() && static_cast<unsigned char>(s[start]) <= ' ') ++start;
  s.erase(0, start);
}

// Whether Collected holds a single line with its line break, as most
// arguments do: it then needs no splitting.
bool IsOneLine(std::string_view collected) {
  if (!collected.ends_with("\r\n")) return false;
  for (size_t i = 0; i + 2 < collected.size(); ++i)
    if (collected[i] == '\r' || collected[i] == '\n') return false;
  return true;
}

// The text of a block line: trimmed; with Raw only up to the block's indent of
// leading blanks is removed, the first block line setting the indent.
std::string BlockLine(const std::string& source, bool raw, int& indent) {
  if (!raw) return Trim(source);
  const size_t blanks = std::min(source.find_first_not_of(' '), source.size());
  if (indent < 0) indent = static_cast<int>(std::min<size_t>(blanks, INT32_MAX));
  return source.substr(std::min(blanks, static_cast<size_t>(indent)));
}

// "end" in any case with blanks after it; with Raw, blanks before it beyond the
// block's indent make it content.
bool IsEndLine(const std::string& line) {
  const std::string s = Trim("-" + line);
  return s.size() == 4 && LowerCase(s) == "-end";
}

// The "%" that closes the wildcard opened at Open: quotes and brackets inside
// the name hide a "%".
size_t ClosingPercent(std::string_view text, size_t open) {
  char quote = 0;
  int depth = 0;
  for (size_t i = open + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    switch (c) {
      case '"':
      case '\'':
        quote = c;
        break;
      case '(':
        ++depth;
        break;
      case ')':
        if (depth > 0) --depth;
        break;
      case '%':
        if (depth == 0) return i;
        break;
      default:
        break;
    }
  }
  return std::string_view::npos;
}

}  // namespace

int32_t TVQSkript::BlockEnd(int32_t commandLine, bool raw) const {
  const int32_t first = commandLine + ContinuationCount(commandLine) + 1;
  int indent = -1;
  for (int32_t line = first; line <= Count(); ++line)
    if (IsEndLine(BlockLine(GetLine(line - 1).Source(), raw, indent))) return line;
  return std::max(Count(), first - 1);
}

void TVQSkript::ArgumentError(const std::string& rest, bool raw, std::string_view id,
                              std::string_view germanDefault,
                              const std::vector<std::string>& args) {
  const int32_t commandLine = CurrentLine;
  try {
    ScriptErrorFmt(id, germanDefault, args, rest);
  } catch (const EAbort&) {
    // Going on at the next line would run the block's text as commands.
    if (Trim(rest).empty() && CurrentLine == commandLine && RunState != RunStates::Retry)
      CurrentLine = BlockEnd(commandLine, raw) - ContinuationCount(commandLine);
    throw;
  }
}

void TVQSkript::ParseStringArgument(std::vector<std::string>& list, std::string text,
                                    bool replace, bool raw) {
  std::string collected = replace ? std::string() : JoinLines(list);
  const bool fresh = collected.empty();
  ReadStringArgument(std::move(text), raw, collected);
  if (fresh && IsOneLine(collected)) {
    collected.resize(collected.size() - 2);
    list.clear();
    list.push_back(std::move(collected));
    return;
  }
  list = SplitLines(collected);
}

std::string TVQSkript::StringArgumentText(std::string text, bool raw) {
  std::string collected;
  ReadStringArgument(std::move(text), raw, collected);
  if (IsOneLine(collected)) {
    collected.resize(collected.size() - 2);
    return collected;
  }
  const std::vector<std::string> lines = SplitLines(collected);
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += "\r\n";
    joined += lines[i];
  }
  return joined;
}

void TVQSkript::ReadStringArgument(std::string text, bool raw, std::string& collected) {
  TrimInPlace(text);

  if (!text.empty() && StartsWithKeyword("from", text)) {
    std::string name;
    if (!InterpreteString(text, name))
      ScriptError("XXXfrom.MissingFilename", "Nach \"from\" wird noch ein Dateiname erwartet.",
                  text);
    const std::string fileName = ExpandFileName(name);
    // A lookup that fails (a failing disk, no permission) is no missing file.
    if (!FileExistsChecked(fileName))
      ScriptErrorFmt("FileDoesntExists", "Datei \"%s\" konnte nicht gefunden werden!",
                     {fileName}, name);
    std::vector<std::string> fileLines;
    LoadEditorTextFile(fileName, fileLines);
    for (const std::string& line : fileLines) {
      collected += raw ? line : ExpandWildcards(line);
      collected += "\r\n";
    }
  } else if (!text.empty()) {
    // Read through a view: only an error needs what is left as a string.
    std::string_view rest(text);
    if (!StartsWithKeyword(":", rest)) StartsWithKeyword("=", rest);
    std::string value;
    if (!InterpreteString(rest, value)) {
      const std::string left(rest);
      ScriptErrorFmt("StringExprXXX.Invalid",
                     "Unzulässiger Stringausdruck: \"%s\" ist keine String-Konstante, keine "
                     "String-Funktion und keine Variable!",
                     {left}, left);
    }
    if (!IsBlank(rest)) {
      const std::string left(rest);
      ScriptErrorFmt("AfterStringExpr.Invalid",
                     "Der Text nach dem Stringausdruck kann nicht mehr sinnvoll interpretiert "
                     "werden: \"%s\"",
                     {left}, left);
    }
    collected.reserve(collected.size() + value.size() + 2);
    collected += value;
    collected += "\r\n";
  } else {
    // The block: the run goes on after its "end" line.
    const int32_t commandLine = CurrentLine;
    int indent = -1;
    int32_t line = commandLine + ContinuationCount(commandLine) + 1;
    try {
      for (; line <= Count(); ++line) {
        CurrentLine = line;
        const std::string s = BlockLine(GetLine(line - 1).Source(), raw, indent);
        if (IsEndLine(s)) break;
        collected += raw ? s : ExpandWildcards(s);
        collected += "\r\n";
      }
    } catch (const EAbort&) {
      // An error in a block line: a retry repeats the whole command, and any
      // other way on leaves the block, whose text must not run as commands.
      if (CurrentLine == line)
        CurrentLine = RunState == RunStates::Retry
                          ? commandLine
                          : BlockEnd(commandLine, raw) - ContinuationCount(commandLine);
      throw;
    }
  }
}

std::string TVQSkript::ExpandWildcards(const std::string& text) {
  std::string result;
  size_t pos = 0;
  for (;;) {
    const size_t open = text.find('%', pos);
    if (open == std::string::npos || open + 1 >= text.size()) break;
    const size_t close = ClosingPercent(text, open);
    if (close == std::string::npos) break;
    result.append(text, pos, open - pos);
    pos = close + 1;
    if (close == open + 1) {
      result += '%';
      continue;
    }
    const std::string name = text.substr(open + 1, close - open - 1);
    if (const TVarObj* v = Variables->Find(name)) {
      result += v->AsString();
      continue;
    }
    std::string expression = name;
    std::string value;
    if (!InterpreteString(expression, value) || !Trim(expression).empty())
      ScriptErrorFmt("Wildcard.Invalid",
                     "\"%s\" ist weder ein gültiger Stringbefehl noch eine existente Variable, "
                     "sollte der entsprechende Header gemeint sein, dann bitte \"%s\" verwenden.",
                     {"%" + name + "%", "%Header(" + name + ")%"}, "%" + name + "%");
    result += value;
  }
  result.append(text, pos, std::string::npos);
  return result;
}

std::string TVQSkript::ExpandWildcardsOpt(const std::string& text, bool expand) {
  return expand && !text.empty() ? ExpandWildcards(text) : text;
}

TChangedStringlist* TVQSkript::GetIntro() {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return nullptr;
  if (TChangedStringlist* intro = part->GetNamedList("Intro")) return intro;
  part->SetNamedList("Intro", std::make_unique<TChangedStringlist>());
  return part->GetNamedList("Intro");
}

bool TVQSkript::HasIntro() const {
  const TMIMEPart* part = CurrentPart();
  return part != nullptr && part->GetNamedList("Intro") != nullptr;
}
