#include "uSkript.h"

#include <cerrno>
#include <cstring>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uTransla.h"
#include "uVarList.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsWordChar(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '_'; }

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsTrimmed(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsTrimmed(s.back())) s.remove_suffix(1);
  return s;
}

// Length of the keyword match at the front of Text, or npos when there is none.
size_t KeywordLength(std::string_view word, std::string_view text) {
  if (text.size() < word.size()) return std::string_view::npos;
  for (size_t i = 0; i < word.size(); ++i)
    if (AsciiLower(word[i]) != AsciiLower(text[i])) return std::string_view::npos;
  if (text.size() == word.size() || !IsAsciiLetter(text[word.size()])) return word.size();
  for (char c : word)
    if (IsWordChar(c)) return std::string_view::npos;
  return word.size();  // a word of symbols only
}

[[noreturn]] void RaiseReadError(std::string_view fileName, int err) {
  throw EInOutError(TranslateFmt("FileOpen.Error", "Die Datei \"%s\" kann nicht gelesen werden: %s",
                                 {std::string(fileName), ErrorReason(err)}));
}

// The whole file; only regular files are read, so a device or a pipe named by
// a script can neither block nor flood the run, and another user's file or
// link where others may write is refused.
std::string ReadWholeFile(std::string_view fileName) {
  std::string data;
  if (int err = ReadTrustedFile(NativePath(fileName), data)) RaiseReadError(fileName, err);
  return data;
}

// The tests of the if words, in the order a run makes them.
uint8_t CommandWordOf(std::string_view trimmed) {
  std::string_view s = trimmed;
  if (StartsWithKeyword("if", s)) return CommandWord::If;
  if (StartsWithKeyword("elseif", s)) return CommandWord::ElseIf;
  if (StartsWithKeyword("else", s) && StartsWithKeyword("if", s)) return CommandWord::ElseIf;
  if (SameText(trimmed, "else")) return CommandWord::Else;
  if (SameText(trimmed.substr(0, 5), "endif")) return CommandWord::EndIf;
  return CommandWord::Plain;
}

// The variable reference "%NAME%" at the front of a trimmed line, as the
// engine reads it (TVQSkript::ParseVarRef): the name and the end of the
// reference with the blanks and control bytes after it.
void FindTarget(std::string_view trimmed, std::string& name, size_t& end) {
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; };
  if (!trimmed.starts_with('%')) return;
  size_t i = 1;
  while (i < trimmed.size() && IsVarNameChar(upper(trimmed[i]))) ++i;
  if (i == 1 || i == trimmed.size() || trimmed[i] != '%') return;
  name.assign(trimmed.substr(1, i - 1));
  for (char& c : name) c = upper(c);
  end = i + 1;
  while (end < trimmed.size() && IsTrimmed(trimmed[end])) ++end;
}

}  // namespace

namespace keyword_detail {

bool StartsWith(std::string_view word, std::string_view& text) {
  const size_t n = KeywordLength(word, text);
  if (n == std::string_view::npos) return false;
  text.remove_prefix(n);
  text = TrimView(text);
  return true;
}

bool StartsWith(std::string_view word, std::string& text) {
  std::string_view view(text);
  if (!StartsWith(word, view)) return false;
  // Cut in place: no new string for every word a line is tested for.
  const size_t start = size_t(view.data() - text.data());
  text.erase(start + view.size());
  text.erase(0, start);
  return true;
}

}  // namespace keyword_detail

// ---------------------------------------------------------------------------

void TZeile::SetSource(std::string source) {
  source_ = std::move(source);
  Classify();
}

void TZeile::Classify() {
  using namespace LineKind;
  kind_ = Command;
  word_ = CommandWord::None;
  target_.clear();
  targetEnd_ = 0;
  std::string_view t = TrimView(source_);
  if (t.empty() || std::string_view("#'/;\\").find(t.front()) != std::string_view::npos) {
    kind_ = Empty;
    return;
  }
  if (t.front() == ':') {
    kind_ = Label;
    return;
  }
  if (StartsWithKeyword("Sub", t)) {
    kind_ = Sub;
  } else if (StartsWithKeyword("For", t)) {
    kind_ = LowerCase(t).find(" do ") != std::string::npos ? ForDo : For;
  } else if (StartsWithKeyword("Next", t)) {
    kind_ = Next;
  } else if (StartsWithKeyword("While", t)) {
    kind_ = While;
  } else if (StartsWithKeyword("Wend", t)) {
    kind_ = Wend;
  } else if (StartsWithKeyword("Repeat", t)) {
    kind_ = Repeat;
  } else if (StartsWithKeyword("Until", t)) {
    kind_ = Until;
  } else if (StartsWithKeyword("Endless", t)) {
    kind_ = Endless;
  } else if (StartsWithKeyword("Loop", t)) {
    kind_ = Loop;
  } else if (StartsWithKeyword("Select", t) && StartsWithKeyword("Case", t)) {
    kind_ = Select;
  } else if (StartsWithKeyword("Case", t)) {
    // A "Select" without "Case" has been removed above; the rest is tested on.
    kind_ = StartsWithKeyword("Else", t) ? CaseElse : Case;
  } else if (StartsWithKeyword("Endsub", t)) {
    kind_ = EndSub;
  } else if (StartsWithKeyword("Endselect", t)) {
    kind_ = EndSelect;
  } else if (StartsWithKeyword("End", t)) {
    if (StartsWithKeyword("Sub", t))
      kind_ = EndSub;
    else if (StartsWithKeyword("Select", t))
      kind_ = EndSelect;
  }
  if (kind_ == Command) word_ = CommandWordOf(TrimView(source_));
  if (word_ == CommandWord::Plain) FindTarget(TrimView(source_), target_, targetEnd_);
}

// ---------------------------------------------------------------------------

void TSkript::Clear() {
  CurrentLine = 1;
  lines_.clear();
}

TZeile& TSkript::GetLine(int index) {
  if (index < 0 || index >= Count()) throw ERangeError();
  return lines_[size_t(index)];
}

const TZeile& TSkript::GetLine(int index) const {
  if (index < 0 || index >= Count()) throw ERangeError();
  return lines_[size_t(index)];
}

std::string TSkript::GetFileName(int index) const {
  const TZeile& line = GetLine(index);
  return line.IncludeFileName.empty() ? line.FileName : line.IncludeFileName;
}

int TSkript::GetLineNo(int index) const {
  const TZeile& line = GetLine(index);
  return line.IncludeLineNo > 0 ? line.IncludeLineNo : line.LineNo;
}

void TSkript::SetLines(std::string_view fileName, const std::vector<std::string>& lines) {
  Clear();
  lines_.reserve(lines.size());
  int32_t n = 0;
  for (const std::string& s : lines) {
    TZeile& line = lines_.emplace_back();
    line.LineNo = ++n;
    line.IncludeLineNo = 0;
    line.Text = s;
    line.SetSource(s);
    line.FileName = std::string(fileName);
  }
}

void TSkript::AssignLines(std::vector<TZeile> lines) {
  Clear();
  lines_ = std::move(lines);
}

void TSkript::IncludeFile(int index, std::string_view fileName) {
  GetLine(index).SetSource(std::string());
  std::string data = EditorTextToInternal(ReadWholeFile(fileName));

  std::vector<std::string> found;
  std::string current;
  for (char c : data) {
    if (c == '\n') {
      found.push_back(std::move(current));
      current.clear();
    } else if (c != '\r') {
      current += c;
    }
  }
  if (!current.empty()) found.push_back(std::move(current));
  if (found.empty()) return;

  TZeile& first = lines_[size_t(index)];
  first.IncludeLineNo = 1;
  first.SetSource(std::move(found[0]));
  first.IncludeFileName = std::string(fileName);

  std::vector<TZeile> added(found.size() - 1);
  for (size_t m = 1; m < found.size(); ++m) {
    TZeile& line = added[m - 1];
    line.LineNo = 0;
    line.IncludeLineNo = CheckedInt32(int64_t(m) + 1);
    line.SetSource(std::move(found[m]));
    line.IncludeFileName = std::string(fileName);
  }
  lines_.insert(lines_.begin() + index + 1, std::make_move_iterator(added.begin()),
                std::make_move_iterator(added.end()));
}
