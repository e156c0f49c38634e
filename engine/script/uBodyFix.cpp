#include "uBodyFix.h"

#include <algorithm>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uTools.h"

TQuoteOptions TQuoteOptions::FromProfile(const TVQEinstellungen& settings) {
  TQuoteOptions o;
  o.CheckQuotes = settings.CheckQuotes;
  o.AllowedQuoteChars = settings.CheckQuotesAllowedQuoteChars;
  o.AddSpaceBetweenQuoteAndText = settings.CheckQuotesAddSpaceBetweenQuoteAndText;
  o.AddSpaceBetweenDifferentQuoteChars = settings.CheckQuotesAddSpaceBetweenDifferentQuoteChars;
  o.DoNotChangeBegin = settings.CheckQuotesDoNotChangeBegin;
  o.DoNotChangeEnd = settings.CheckQuotesDoNotChangeEnd;
  o.DelAtBegin = settings.DelAtBegin;
  o.Utf8 = InternalCharsetIsUtf8();
  return o;
}

TQuoteChecker::TQuoteChecker(TQuoteOptions options)
    : options_(std::move(options)), begin_(true, TPerlre::kCaseless), end_(true, TPerlre::kCaseless) {
  if (!options_.Utf8)
    for (unsigned char c : options_.AllowedQuoteChars) quoteByte_[c] = true;
}

bool TQuoteChecker::Matches(TPerlre& re, std::string_view pattern, std::string_view text) {
  // Compiled on first use: a body without text never meets a bad pattern.
  // The options do not change during the checker's life.
  if (!re.HasPattern()) re.SetRegex(pattern);
  return re.Test(text);
}

size_t TQuoteChecker::CharLength(std::string_view s, size_t i) const {
  const unsigned char b = s[i];
  size_t n = 1;
  if (options_.Utf8 && b >= 0x80) n = (b & 0xF0) == 0xF0 ? 4 : (b & 0xF0) == 0xE0 ? 3 : 2;
  return std::min(n, s.size() - i);
}

bool TQuoteChecker::IsQuoteChar(std::string_view c) const {
  if (!options_.Utf8) return c.size() == 1 && quoteByte_[static_cast<unsigned char>(c[0])];
  const std::string_view allowed = options_.AllowedQuoteChars;
  for (size_t i = 0; i < allowed.size();) {
    const size_t n = CharLength(allowed, i);
    if (allowed.substr(i, n) == c) return true;
    i += n;
  }
  return false;
}

bool TQuoteChecker::CheckQuoteLine(std::string& p) {
  if (!p.empty()) {
    if (Matches(begin_, options_.DoNotChangeBegin, p)) Protected = true;
    if (Matches(end_, options_.DoNotChangeEnd, p)) Protected = false;
  }
  if (Protected) return false;
  bool changed = false;
  if (!options_.DelAtBegin.empty() && StartsStr(options_.DelAtBegin, p)) {
    p.erase(0, options_.DelAtBegin.size());
    changed = true;
  }
  if (!options_.CheckQuotes) return changed;
  if (p.empty()) {
    Shift = 0;
    return changed;
  }

  if (!IsQuoteChar(std::string_view(p).substr(0, CharLength(p, 0)))) {
    // An indented line after a moved quote line moves with it.
    if (Shift != 0 && p[0] == ' ') {
      if (Shift > 0) {
        p.insert(0, size_t(Shift), ' ');
      } else {
        size_t n = 0;
        while (n < size_t(-Shift) && n < p.size() && p[n] == ' ') ++n;
        p.erase(0, n);
      }
      changed = true;
    }
    Shift = 0;
    return changed;
  }

  // The prefix Q; positions are counted in characters (T is 1-based), the
  // cut in bytes.
  std::string q;
  int64_t qChars = 0;
  std::string_view lastQuote;
  size_t cut = p.size();
  int64_t chars = 0;
  bool stopped = false;
  for (size_t i = 0; i < p.size();) {
    const size_t n = CharLength(p, i);
    const std::string_view c = std::string_view(p).substr(i, n);
    if (IsQuoteChar(c)) {
      if (options_.AddSpaceBetweenDifferentQuoteChars && qChars > 0 && c != lastQuote) {
        q += ' ';
        ++qChars;
      }
      q += c;
      ++qChars;
      lastQuote = std::string_view(p).substr(i, n);
    } else if (c == " ") {
      // Two blanks in a row mark an indentation that stays.
      if (i + 1 < p.size() && i > 0 && p[i - 1] == ' ') stopped = true;
    } else {
      Shift = 0;
      stopped = true;
    }
    if (stopped) {
      cut = i;
      break;
    }
    i += n;
    ++chars;
  }
  int64_t t = chars + 1;
  if (!options_.AddSpaceBetweenQuoteAndText && t > 2 && stopped && p[cut] == ' ' && p[cut - 1] == ' ') {
    --t;
    --cut;
  }
  const std::string_view rest = std::string_view(p).substr(cut);
  std::string& r = scratch_;
  r = q;
  if (rest.empty()) {
    // Only the prefix is left.
  } else if (Shift == 0) {
    Shift = qChars - (t - 2);
    if (options_.AddSpaceBetweenQuoteAndText)
      r += ' ';
    else
      --Shift;
    r += rest;
  } else {
    const int64_t l = qChars;
    Shift -= l - (t - 2);
    if (options_.AddSpaceBetweenQuoteAndText)
      r += ' ';
    else
      ++Shift;
    if (Shift > 0) r.append(size_t(Shift), ' ');
    r += rest;
    // Each step takes one blank at the end of the prefix, while there is one.
    if (Shift < 0) {
      size_t n = 0;
      while (n < size_t(-Shift) && q.size() + n < r.size() && r[q.size() + n] == ' ') ++n;
      r.erase(q.size(), n);
    }
    Shift = l - (t - 2);
  }
  // The prefix may stand as it was after DelAtBegin changed the line.
  if (r == p) return changed;
  // The line's old buffer becomes the next line's scratch.
  p.swap(r);
  return true;
}

bool TQuoteChecker::CheckLine(std::string& line) {
  if (line.find("\r\n") == std::string::npos) return CheckQuoteLine(line);
  std::string result, piece;
  for (size_t from = 0;;) {
    const size_t end = line.find("\r\n", from);
    piece.assign(line, from, end == std::string::npos ? end : end - from);
    CheckQuoteLine(piece);
    result += piece;
    if (end == std::string::npos) break;
    result += "\r\n";
    from = end + 2;
  }
  if (result == line) return false;
  line = std::move(result);
  return true;
}

bool CheckBodyLines(TCharsetStringlist& body, const TQuoteOptions& options) {
  TQuoteChecker checker(options);
  bool changed = false;
  std::string line;
  for (int i = 0; i < body.Count(); ++i) {
    body.GetInternalLine(i, line);
    if (checker.CheckLine(line)) {
      body.SetInternalLine(i, line);
      changed = true;
    }
  }
  return changed;
}

bool DeleteEmptyLinesAtEnd(TCharsetStringlist& body, TCharsetStringlist* sig) {
  bool changed = false;
  while (body.Count() >= 2 && TrimmedView(body.GetInternalLine(body.Count() - 1)).empty()) {
    body.Delete(body.Count() - 1);
    changed = true;
  }
  while (sig && sig->Count() >= 1 && TrimmedView(sig->GetInternalLine(sig->Count() - 1)).empty()) {
    sig->Delete(sig->Count() - 1);
    changed = true;
  }
  return changed;
}

bool RTrimLineKeepSigDelimiter(std::string& line) {
  if (line.empty() || line.back() != ' ' || EndsStr("-- ", line)) return false;
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return true;
}

bool DeleteBlanksAtEndOfLines(TCharsetStringlist& lines) {
  bool changed = false;
  for (int i = 0; i < lines.Count(); ++i) {
    std::string line = lines.GetInternalLine(i);
    if (RTrimLineKeepSigDelimiter(line)) {
      lines.SetInternalLine(i, line);
      changed = true;
    }
  }
  return changed;
}

int QuoteLevel(std::string_view line) {
  if (line.empty()) return -1;
  if (line[0] != '>') return 0;
  int level = 0;
  for (char c : line) {
    if (c == '>')
      ++level;
    else if (c != ' ' && c != '\t')
      return level;
  }
  return -1;
}

bool RepairOEQuoteLines(TCharsetStringlist& body) {
  bool changed = false;
  for (int i = 0; i < body.Count() - 2; ++i) {
    const std::string a = body.GetInternalLine(i);
    const std::string b = body.GetInternalLine(i + 1);
    const int qa = QuoteLevel(a);
    if (qa < 1 || QuoteLevel(b) != 0) continue;
    const int64_t la = hooks::Length(a), lb = hooks::Length(b);
    if (la + lb >= 2 * int64_t(qa) + 90) continue;
    if (qa + la + lb <= 60) continue;
    if (lb >= 15) {
      const int blank = hooks::Pos(" ", b);
      if (!(blank < 15 && lb < 30)) continue;
    }
    const size_t text = b.find_first_not_of(' ');
    if (text == std::string::npos || b[text] == '^') continue;
    body.SetInternalLine(i, a + " " + b);
    body.Delete(i + 1);
    changed = true;
  }
  return changed;
}

bool HasOEBeginBug(TCharsetStringlist& lines) {
  bool changed = false;
  for (int i = 0; i < lines.Count(); ++i) {
    std::string line = lines.GetInternalLine(i);
    if (line.size() <= 7 || !StartsStr("begin  ", line)) continue;
    const char c = line[7];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) continue;
    line.erase(5, 1);
    lines.SetInternalLine(i, line);
    changed = true;
  }
  return changed;
}
