// A script held as a list of classified lines, and the keyword test that every
// part of the script engine uses to recognise script words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Kinds of script lines. Opening and closing words are matched when the script
// runs; a line only knows what it is.
namespace LineKind {
constexpr uint8_t Empty = 1;       // empty, blank or comment
constexpr uint8_t Label = 2;       // ":name"
constexpr uint8_t Command = 3;     // everything else
constexpr uint8_t Sub = 4;
constexpr uint8_t EndSub = 5;      // "Endsub" or "End Sub"
constexpr uint8_t For = 6;         // loop head on its own
constexpr uint8_t ForDo = 7;       // "For ... do command"
constexpr uint8_t Next = 8;
constexpr uint8_t While = 9;
constexpr uint8_t Wend = 10;
constexpr uint8_t Repeat = 11;
constexpr uint8_t Until = 12;
constexpr uint8_t Endless = 13;
constexpr uint8_t Loop = 14;
constexpr uint8_t Select = 15;     // "Select Case"
constexpr uint8_t Case = 16;
constexpr uint8_t CaseElse = 17;
constexpr uint8_t EndSelect = 18;  // "Endselect" or "End Select"
}  // namespace LineKind

// What a command line begins with, as the if blocks see it.
namespace CommandWord {
constexpr uint8_t None = 0;    // no command line
constexpr uint8_t Plain = 1;   // none of the if words: a command
constexpr uint8_t If = 2;
constexpr uint8_t ElseIf = 3;  // "elseif" or "else if"
constexpr uint8_t Else = 4;
constexpr uint8_t EndIf = 5;
}  // namespace CommandWord

namespace keyword_detail {
bool StartsWith(std::string_view word, std::string& text);
bool StartsWith(std::string_view word, std::string_view& text);
constexpr char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
// Whether the first letters rule a match out; most tests end there.
constexpr bool FirstDiffers(std::string_view word, std::string_view text) {
  return !word.empty() && (text.empty() || Lower(word[0]) != Lower(text[0]));
}
}  // namespace keyword_detail

// True when Text begins with Word as a whole word (ASCII case ignored); Text
// then loses the word and the blanks and control bytes around what is left.
// A word made only of symbols (such as "=" or "<=") needs no word end; any
// other word must not be followed directly by an ASCII letter (digits, "_" and
// "-" do end a word). Text is left alone when the result is false.
inline bool StartsWithKeyword(std::string_view word, std::string& text) {
  return !keyword_detail::FirstDiffers(word, text) && keyword_detail::StartsWith(word, text);
}
inline bool StartsWithKeyword(std::string_view word, std::string_view& text) {
  return !keyword_detail::FirstDiffers(word, text) && keyword_detail::StartsWith(word, text);
}

// One script line. The kind follows the source: setting the source classifies it.
class TZeile {
public:
  // The line as it stands in the script file; empty for lines an include added
  // after its first.
  std::string Text;
  // The script file of the line; empty for lines an include added.
  std::string FileName;
  // The include file a line came from (its first line included); empty otherwise.
  std::string IncludeFileName;
  // 1-based line number in the script file; 0 for lines an include added.
  int32_t LineNo = 0;
  // 1-based line number in the include file; 0 for lines of the script itself.
  int32_t IncludeLineNo = 0;

  // The text that is classified and executed.
  const std::string& Source() const { return source_; }
  void SetSource(std::string source);
  uint8_t Kind() const { return kind_; }
  // For Command lines, the if word the trimmed source begins with; found once
  // with the kind, so that a line run again and again is not read again.
  uint8_t Word() const { return word_; }
  // For plain command lines that begin with a variable reference (an
  // assignment): the name, upper-cased, and where in the trimmed source the
  // text after the reference and its blanks begins. Empty otherwise.
  const std::string& Target() const { return target_; }
  size_t TargetEnd() const { return targetEnd_; }
  void Classify();

private:
  std::string source_;
  uint8_t kind_ = 0;
  uint8_t word_ = CommandWord::None;
  std::string target_;
  size_t targetEnd_ = 0;
};

// The lines of a script and the engine's program counter.
class TSkript {
public:
  TSkript() = default;
  virtual ~TSkript() = default;
  TSkript(const TSkript&) = delete;
  TSkript& operator=(const TSkript&) = delete;

  // 1-based number of the line to execute next.
  int32_t CurrentLine = 0;

  // Removes every line; CurrentLine := 1.
  void Clear();
  // The line at a 0-based index; outside 0..Count-1 raises ERangeError. The
  // reference stays valid until lines are added or removed.
  TZeile& GetLine(int index);
  const TZeile& GetLine(int index) const;
  int Count() const { return int(lines_.size()); }
  // Where a line came from, as error and debug messages show it: the include
  // file and its line number for included lines, else the script file's.
  std::string GetFileName(int index) const;
  int GetLineNo(int index) const;

  // Replaces the whole script by Lines, numbered from 1.
  void SetLines(std::string_view fileName, const std::vector<std::string>& lines);
  // The lines as they stand, and replacing the whole script by such lines
  // (kept from an earlier load, already numbered and classified).
  const std::vector<TZeile>& Lines() const { return lines_; }
  void AssignLines(std::vector<TZeile> lines);
  // Replaces the line at Index by the lines of a file (LF ends a line, CR is
  // dropped), read as text of an editor (EditorTextToInternal). The include line itself takes the first line, so an empty file
  // leaves one empty line in its place. A file that cannot be read raises
  // EInOutError after the line has been emptied. Includes inside the file are
  // not resolved here.
  void IncludeFile(int index, std::string_view fileName);

private:
  std::vector<TZeile> lines_;
};
