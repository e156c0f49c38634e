// The script object's layout conversions on the body of the current part: box
// quotes, footnotes, one-liners and reformat blocks, and the intro and the
// appended lines. Lines are read and written in the internal charset.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uGetStr.h"
#include "uTools.h"
#include "uVQSkript.h"

namespace {

constexpr const char* kCRLF = "\r\n";

bool IsQuoteChar(char c) { return c == '>' || c == '|'; }

// The lines of Text, split at LF (a CR before it goes too); a text ending in a
// line break ends with an empty line.
std::vector<std::string> SplitAtLineFeeds(std::string_view text) {
  std::vector<std::string> lines;
  while (true) {
    size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (lf == std::string_view::npos) return lines;
    text.remove_prefix(lf + 1);
  }
}

// Where the first Count bytes of Text end in Wrapped, the text after
// WordWrapText without a prefix (which only turns blanks into CR LF).
size_t WrappedOffset(std::string_view text, std::string_view wrapped, size_t count) {
  size_t j = 0;
  for (size_t i = 0; i < count && i < text.size() && j < wrapped.size(); ++i)
    j += text[i] == ' ' && wrapped[j] == '\r' ? 2 : 1;
  return j;
}

// The footnote mark at Pos: 1 a begin mark, 2 an end mark, 0 none. The longer
// mark is tried first, so a mark that begins like the other one still counts.
int MarkAt(std::string_view text, size_t pos, std::string_view begin, std::string_view end) {
  const bool isEnd = text.compare(pos, end.size(), end) == 0;
  const bool isBegin = text.compare(pos, begin.size(), begin) == 0;
  if (isEnd && (end.size() > begin.size() || !isBegin)) return 2;
  return isBegin ? 1 : 0;
}

// Position of the end mark that closes a footnote whose begin mark ends just
// before From, counting nested begin marks; npos when it is never closed.
size_t FindClosingMark(std::string_view text, size_t from, std::string_view begin,
                       std::string_view end) {
  int64_t depth = 1;
  size_t pos = from;
  while (pos < text.size()) {
    switch (MarkAt(text, pos, begin, end)) {
      case 1:
        ++depth;
        pos += begin.size();
        break;
      case 2:
        if (--depth == 0) return pos;
        pos += end.size();
        break;
      default: ++pos;
    }
  }
  return std::string_view::npos;
}

// The marks of a paragraph in one scan, so that each line that opens a
// footnote can be told in constant time whether that footnote is ever closed;
// trying every line in turn would scan the rest of the paragraph each time.
class TMarkScan {
public:
  TMarkScan(std::string_view text, std::string_view begin, std::string_view end) {
    int64_t depth = 0;
    size_t pos = 0;
    while (pos < text.size()) {
      const int mark = MarkAt(text, pos, begin, end);
      if (mark == 0) {
        ++pos;
        continue;
      }
      marks_.push_back({pos, mark == 1, depth});
      depth += mark == 1 ? 1 : -1;
      pos += mark == 1 ? begin.size() : end.size();
    }
    // The lowest depth reached after each mark.
    lowest_.resize(marks_.size() + 1, INT64_MAX);
    for (size_t k = marks_.size(); k-- > 0;) {
      const int64_t after = marks_[k].depthBefore + (marks_[k].begin ? 1 : -1);
      lowest_[k] = std::min(lowest_[k + 1], after);
    }
  }
  // False when a footnote opened by the begin mark at Pos is never closed.
  // A scan from Pos meets the same marks only when Pos is a begin mark of
  // this scan; otherwise the answer is left to the footnote scan itself.
  bool MayClose(size_t pos) const {
    const auto it = std::lower_bound(marks_.begin(), marks_.end(), pos,
                                     [](const TMark& m, size_t p) { return m.pos < p; });
    if (it == marks_.end() || it->pos != pos || !it->begin) return true;
    return lowest_[size_t(it - marks_.begin()) + 1] <= it->depthBefore;
  }

private:
  struct TMark {
    size_t pos;
    bool begin;
    int64_t depthBefore;
  };
  std::vector<TMark> marks_;
  std::vector<int64_t> lowest_;
};

// Framed text boxes: a start line, optionally a title line and the separator,
// the text, and the end line.
void ConvertTextBoxes(TBody& body, const TBoxQuote& style) {
  int state = 0;  // 0 outside, 1 inside a box, 2 after the title separator
  int start = 0;
  bool hasTitle = false;
  for (int i = 0; i < body.Count(); ++i) {
    const std::string line = body.GetInternalLine(i);
    if (line == style.StartLine) {
      state = 1;
      start = i;
      hasTitle = false;
    } else if (line == style.SepLine && state == 1 && i == start + 2) {
      state = 2;
      hasTitle = true;
    } else if (line == style.EndLine && state > 0) {
      state = 0;
      std::string title;
      int end = i;
      if (hasTitle) {
        title = body.GetInternalLine(start + 1);
        body.Delete(start + 2);
        body.Delete(start + 1);
        end -= 2;
      }
      std::vector<std::string> lines;
      for (int k = start; k <= end; ++k) lines.push_back(body.GetInternalLine(k));
      DrawBoxQuote(title, style, lines);
      for (int k = start; k <= end; ++k) body.SetInternalLine(k, lines[size_t(k - start)]);
      i = end;
    }
  }
}

// One-liners and reformat blocks: from a line that begins with Begin to the
// next line that ends with End, before any empty line.
void ConvertMarkedBlocks(TBody& body, const std::string& begin, const std::string& end,
                         bool reformat) {
  // Empty markers would make every line a block.
  if (begin.empty() || end.empty()) return;
  for (int i = 0; i < body.Count(); ++i) {
    std::string first = body.GetInternalLine(i);
    if (!StartsStr(begin, first)) continue;
    std::vector<std::string> block;
    int stop = i;  // the end line, or the empty line or line count that ended the search
    bool found = false;
    for (; stop < body.Count(); ++stop) {
      std::string line = stop == i ? first : body.GetInternalLine(stop);
      if (Trim(line).empty()) break;
      found = EndsStr(end, line);
      block.push_back(std::move(line));
      if (found) break;
    }
    if (!found) {
      // A later start before the same stop would fail the same way.
      i = std::max(i, stop - 1);
      continue;
    }

    std::string text;
    if (!reformat) {
      for (const std::string& line : block) text += line;
    } else {
      for (size_t k = 0; k < block.size(); ++k) {
        std::string line = Trim(block[k]);
        // The first line begins with the marker; a quote prefix after it stays.
        if (k > 0) {
          size_t lead = 0;
          while (lead < line.size() && (line[lead] == ' ' || IsQuoteChar(line[lead]))) ++lead;
          line.erase(0, lead);
          text += ' ';
        }
        text += line;
      }
    }
    text.erase(0, std::min(text.size(), begin.size()));
    if (EndsStr(end, text)) text.resize(text.size() - end.size());
    if (reformat) {
      size_t lead = 0;
      while (lead < text.size() && (text[lead] == ' ' || IsQuoteChar(text[lead]))) ++lead;
      text = WordWrapText(text, text.substr(0, lead), Footnotes.WrapWidth);
    }
    for (int k = stop; k >= i; --k) body.Delete(k);
    // A wrapped block stays one entry; its line breaks count as lines on output.
    body.Insert(i, text);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Box quotes

void TVQSkript::ConvertBoxQuotes(int style) {
  if (style < 1 || style > BoxQuoteStyles) return;
  const TBoxQuote& bq = BoxQuotes[size_t(style - 1)];
  if (!bq.Valid) return;
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TBody& body = part->Body();
  if (!bq.FromFlag) {
    ConvertTextBoxes(body, bq);
    return;
  }
  // File boxes: the start line names a file whose lines are framed in its place.
  for (int i = 0; i < body.Count(); ++i) {
    const std::string line = body.GetInternalLine(i);
    if (!StartsStr(bq.StartLine, line)) continue;
    const std::string fileName = Trim(std::string_view(line).substr(bq.StartLine.size()));
    // A lookup that fails (a failing disk, no permission) is no missing file.
    if (!FileExistsChecked(fileName))
      ScriptErrorFmt("Boxquote.FileDoesntExists",
                     "Die als BoxQuote anzuzeigende Datei \"%s\" existiert nicht!", {fileName});
    std::vector<std::string> lines;
    LoadEditorTextFile(fileName, lines);
    lines.insert(lines.begin(), std::string());
    lines.emplace_back();
    DrawBoxQuote(fileName, bq, lines);
    body.Delete(i);
    for (size_t k = 0; k < lines.size(); ++k) body.Insert(i + int(k), lines[k]);
    i += int(lines.size()) - 1;
  }
}

// ---------------------------------------------------------------------------
// Footnotes

bool TVQSkript::ExtractFootnote(std::string& text) {
  const TFootnoteSettings& fn = Footnotes;
  if (fn.BeginMark.empty() || fn.EndMark.empty()) return false;
  bool extracted = false;
  // The search goes on after the number just written: with marks such as "["
  // and "]" the number would otherwise be taken for the next footnote.
  size_t from = 0;
  while (true) {
    const size_t at = text.find(fn.BeginMark, from);
    if (at == std::string::npos) break;
    const size_t noteStart = at + fn.BeginMark.size();
    const size_t close = FindClosingMark(text, noteStart, fn.BeginMark, fn.EndMark);
    if (close == std::string::npos) break;

    std::string note = text.substr(noteStart, close - noteStart);
    std::string head = text.substr(0, at) + "[" + IntToStr(int64_t(FootnoteLines.size()) + 1) + "]";
    const size_t lastLineFeed = head.rfind('\n');
    const size_t keep = lastLineFeed == std::string::npos ? 0 : lastLineFeed + 1;

    // The line of the footnote and the rest of its paragraph are joined and
    // wrapped again; what follows the first empty line stays as it was.
    const std::vector<std::string> lines =
        SplitAtLineFeeds(head.substr(keep) + text.substr(close + fn.EndMark.size()));
    std::string paragraph;
    size_t k = 0;
    for (; k < lines.size() && (k == 0 || !lines[k].empty()); ++k) {
      if (k > 0 && !EndsStr(" ", paragraph)) paragraph += ' ';
      paragraph += lines[k];
    }
    const std::string wrapped = WordWrapText(paragraph, "", fn.WrapWidth);
    from = keep + WrappedOffset(paragraph, wrapped, head.size() - keep);
    std::string result = head.substr(0, keep) + wrapped;
    for (; k < lines.size(); ++k) (result += kCRLF) += lines[k];
    text = std::move(result);

    FootnoteLines.push_back(std::move(note));
    extracted = true;
  }
  return extracted;
}

std::string TVQSkript::JoinFootnoteText(const std::string& text) {
  std::string result;
  for (const std::string& line : SplitAtLineFeeds(text)) {
    if (line.empty()) {
      result += "\r\n\r\n";
      continue;
    }
    // Nothing to join to at the start or after a paragraph break.
    if (!result.empty() && result.back() != ' ' && result.back() != '\t' && result.back() != '\n') {
      if (result.back() == '-')
        result.pop_back();
      else
        result += ' ';
    }
    result += line;
  }
  if (!Footnotes.LineBreakMark.empty())
    result = StringReplace(result, Footnotes.LineBreakMark, kCRLF);
  return result;
}

void TVQSkript::ConvertFootnotes() {
  const TFootnoteSettings& fn = Footnotes;
  if (!fn.Valid) return;
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TBody& body = part->Body();
  bool converted = false;
  for (int i = 0; i < body.Count(); ++i) {
    const std::string line = body.GetInternalLine(i);
    if (line.find(fn.BeginMark) == std::string::npos || (!line.empty() && IsQuoteChar(line[0])))
      continue;
    // The paragraph: the following lines that the editor had wrapped. A
    // paragraph begun at any of its later lines ends at the same line.
    std::string text = line;
    std::vector<size_t> starts = {0};
    int64_t previousLength = hooks::Length(line);
    int next = i + 1;
    for (; next < body.Count(); ++next) {
      const std::string candidate = body.GetInternalLine(next);
      if (candidate.empty() || IsQuoteChar(candidate[0])) break;
      int64_t firstWord = hooks::Pos(" ", candidate);
      if (firstWord == 0) firstWord = int64_t(hooks::Length(candidate)) + 1;
      if (previousLength + firstWord + 5 <= fn.WrapWidth) break;
      text += kCRLF;
      starts.push_back(text.size());
      text += candidate;
      previousLength = hooks::Length(candidate);
    }
    starts.push_back(text.size() + 2);  // where a further line would begin

    // Each line of the paragraph that holds a begin mark opens a paragraph of
    // its own; the first whose footnote is closed is converted.
    const int count = next - i;
    int after = next;  // where the walk goes on
    if (text.find(fn.EndMark) != std::string::npos) {
      const TMarkScan scan(text, fn.BeginMark, fn.EndMark);
      for (int k = 0; k < count; ++k) {
        const size_t at = text.find(fn.BeginMark, starts[size_t(k)]);
        if (at == std::string::npos) break;
        if (at + fn.BeginMark.size() + 2 > starts[size_t(k) + 1] || !scan.MayClose(at)) continue;
        std::string rest = text.substr(starts[size_t(k)]);
        if (!ExtractFootnote(rest)) continue;
        converted = true;
        for (int j = next - 1; j >= i + k; --j) body.Delete(j);
        const std::vector<std::string> lines = SplitAtLineFeeds(rest);
        for (size_t j = 0; j < lines.size(); ++j) body.Insert(i + k + int(j), lines[j]);
        // The numbers just written are no footnote marks, whatever the marks are.
        after = i + k + int(lines.size());
        break;
      }
    }
    i = after - 1;
  }
  if (!converted) return;
  // Marks inside a footnote become footnotes of their own; entries added here
  // are visited too. One pass per entry takes every closed footnote out.
  for (size_t k = 0; k < FootnoteLines.size(); ++k) {
    std::string note = FootnoteLines[k];
    if (ExtractFootnote(note)) FootnoteLines[k] = std::move(note);
  }
}

void TVQSkript::AppendFootnotes() {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  const TFootnoteSettings& fn = Footnotes;
  TBody& body = part->Body();
  std::string text = StripTrailingCRLF(body.GetInternalText()) + kCRLF;
  if (!fn.Title.empty()) {
    (text += kCRLF) += fn.Title;
    if (fn.Underline) {
      // Characters, not bytes: the line stands under the title.
      (text += kCRLF) += std::string(size_t(hooks::Length(fn.Title)), fn.UnderlineChar);
      if (fn.TitleEmptyLine) text += kCRLF;
    }
  }
  const size_t count = FootnoteLines.size();
  for (size_t k = 1; k <= count; ++k) {
    std::string number = "[" + IntToStr(int64_t(k)) + "]";
    if (count > 9 && k < 10) number.insert(0, 1, ' ');
    const size_t indent = number.size() + 1;
    // The first line keeps room for the number; a placeholder without blanks
    // cannot be wrapped away from the text.
    std::string wrapped =
        WordWrapText(std::string(indent, '#') + JoinFootnoteText(Trim(FootnoteLines[k - 1])),
                     std::string(indent, ' '), fn.WrapWidth);
    wrapped.replace(0, indent, number + ' ');
    (text += kCRLF) += wrapped;
  }
  body.SetInternalText(text);
}

// ---------------------------------------------------------------------------
// One-liners and reformat blocks

void TVQSkript::ConvertOneLiners() {
  if (TMIMEPart* part = CurrentPart())
    ConvertMarkedBlocks(part->Body(), Specials.OnelinerBegin, Specials.OnelinerEnd, false);
}

void TVQSkript::ConvertReFormats() {
  if (TMIMEPart* part = CurrentPart())
    ConvertMarkedBlocks(part->Body(), Specials.ReformatBegin, Specials.ReformatEnd, true);
}

// ---------------------------------------------------------------------------
// Intro and appended lines

void TVQSkript::InsertIntro() {
  if (!HasIntro()) return;
  const TChangedStringlist* intro = GetIntro();
  TBody& body = CurrentPart()->Body();
  const int count = intro->Count();
  if (count <= body.Count()) {
    int k = 0;
    while (k < count && body.GetInternalLine(k) == (*intro)[k]) ++k;
    if (k == count) return;
  }
  if (body.Count() == 1 && body.GetInternalLine(0).empty()) body.Delete(0);
  for (int k = 0; k < count; ++k) body.Insert(k, (*intro)[k]);
}

void TVQSkript::AppendLines() {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr || LinesToAppend.empty()) return;
  TBody& body = part->Body();
  const std::string present = StripTrailingCRLF(body.GetInternalText());
  const std::string lines = StripTrailingCRLF(JoinLines(LinesToAppend));
  // Appended already when the body's last lines are these lines; the end of a
  // longer last line does not count.
  if (EndsStr(lines, present) &&
      (present.size() == lines.size() || present[present.size() - lines.size() - 1] == '\n'))
    return;
  if (body.Count() == 1 && body.GetInternalLine(0).empty())
    body.Delete(0);
  else if (Settings->BlankBeforeLines && body.Count() > 0 &&
           !body.GetInternalLine(body.Count() - 1).empty())
    body.Add("");
  for (const std::string& line : LinesToAppend) body.Add(line);
}
