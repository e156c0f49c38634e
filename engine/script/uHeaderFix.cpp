#include "uHeaderFix.h"

#include <algorithm>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uHeader.h"
#include "uHeaderCoding.h"
#include "uTools.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The field name of a stored line compared the way IndexOfField does.
bool IsField(const std::string& line, std::string_view name) {
  return StartsText(std::string(name) + ": ", line);
}

// The fields of a stored line. A script's header block is stored as one line
// whose later lines are fields of their own; a line after a line break that
// does not start with white space begins the next field, the others continue
// the one before.
std::vector<std::string_view> FieldsOfLine(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t p = line.find("\r\n"); p != std::string_view::npos; p = line.find("\r\n", p + 2)) {
    if (p + 2 < line.size() && line[p + 2] != ' ' && line[p + 2] != '\t') {
      fields.push_back(line.substr(start, p - start));
      start = p + 2;
    }
  }
  fields.push_back(line.substr(start));
  return fields;
}

}  // namespace

// ---------------------------------------------------------------------------
// Subject

bool RemoveAnswerDesignators(std::string& t, std::string_view convertToRe) {
  std::string designators = ",";
  designators += LowerCase(convertToRe);
  designators += ',';
  bool removed = false;
  for (;;) {
    int d = Pos(": ", t);
    const int comma = Pos(",", t);
    if (comma > 0 && comma < d) d = 0;
    if (d <= 1) break;
    const std::string w = LowerCase(Copy(t, 1, d - 1));
    if (w != "re" && Pos("," + w + ",", designators) == 0) break;
    Delete(t, 1, int64_t(d) + 1);
    removed = true;
  }
  if (removed) t = "Re: " + t;
  return removed;
}

bool KillWasAfterRe(std::string& t) {
  if (!StartsText("re:", t) || !EndsStr(")", t)) return false;
  const int was = Pos("(was:", LowerCase(t));
  if (was == 0) return false;
  t = Trim(Copy(t, 1, was - 1));
  return true;
}

bool ReplaceSubject8Bits(std::string& t) {
  const std::string lower = LowerCase(t);
  if (StartsStr("re:", lower) || StartsStr("cmsg ", lower) || StartsStr("cancel ", lower))
    return false;
  std::string tail;
  std::string head = t;
  if (EndsStr(")", t)) {
    if (const int was = Pos("(was:", lower); was > 0) {
      tail = CopyFrom(t, was);
      head = Copy(t, 1, was - 1);
    }
  }
  t = TransliterateToAscii(head) + tail;
  return true;
}

// ---------------------------------------------------------------------------
// References

std::string KillMessageIDBegin(const std::string& line, const std::vector<std::string>& begins) {
  // The last "<" that has at least one character after it.
  if (line.size() < 2) return line;
  const size_t open = line.rfind('<', line.size() - 2);
  if (open == std::string::npos) return line;
  const size_t p = open + 1;
  for (const std::string& e : begins) {
    if (e.empty()) continue;
    if (line.compare(p, e.size(), e) == 0) {
      std::string result = line;
      result.erase(p, e.size());
      return result;
    }
  }
  return line;
}

std::string ShortenReferences(const std::string& line, int32_t maxLength) {
  if (maxLength <= 0) return line;
  std::vector<std::string> ids;
  int64_t total = -1;
  for (size_t from = 0;;) {
    const size_t open = line.find('<', from);
    if (open == std::string::npos) break;
    const size_t close = line.find('>', open + 1);
    if (close == std::string::npos) break;
    ids.push_back(line.substr(open, close - open + 1));
    total += int64_t(ids.back().size()) + 1;
    from = close + 1;
  }
  if (ids.size() <= 4 || total <= maxLength) return line;
  // The first ID stays, and so do the last three.
  for (size_t n = ids.size() - 4; n > 0 && total > maxLength; --n) {
    total -= int64_t(ids[1].size()) + 1;
    ids.erase(ids.begin() + 1);
  }
  std::string result = line.substr(0, 12);
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i > 0) result += ' ';
    result += ids[i];
  }
  return result;
}

std::string FoldReferences(const std::string& line) {
  if (line.find("\r\n") != std::string::npos) return line;
  std::string s = line;
  std::string r;
  while (s.size() > 76) {
    const size_t firstClose = s.find('>');
    if (firstClose == std::string::npos) break;
    const size_t firstOpen = s.find('<', firstClose + 1);
    if (firstOpen == std::string::npos) break;
    // The last "<" at position 77 or before (index 76), else the first one.
    size_t cut = firstOpen;
    if (firstOpen <= 76) cut = s.rfind('<', 76);
    std::string head = s.substr(0, cut);
    while (!head.empty() && (head.back() == ' ' || head.back() == '\t')) head.pop_back();
    r += head;
    r += "\r\n";
    // The rest begins with its "<", so only its end needs trimming.
    std::string next = " ";
    next += TrimRight(std::string_view(s).substr(cut));
    s = std::move(next);
  }
  return r + s;
}

// ---------------------------------------------------------------------------
// Addresses

bool NormalizeSingleAddress(std::string_view value, std::string& result) {
  const std::string t = Trim(value);
  if (t.empty()) return false;
  // Outside quoted strings and comments there must be one "@" and no list or
  // group separator; every quote, comment and angle bracket must be closed.
  int ats = 0, comment = 0, angle = 0;
  bool quoted = false;
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '\\' && (quoted || comment > 0)) {
      ++i;
      continue;
    }
    if (quoted) {
      if (c == '"') quoted = false;
      continue;
    }
    if (comment > 0) {
      if (c == '(') ++comment;
      if (c == ')') --comment;
      continue;
    }
    switch (c) {
      case '"': quoted = true; break;
      case '(': ++comment; break;
      case ')': return false;
      case '<':
        if (++angle > 1) return false;
        break;
      case '>':
        if (--angle < 0) return false;
        break;
      case '@': ++ats; break;
      case ',':
      case ';':
      case ':': return false;
      default: break;
    }
  }
  if (quoted || comment != 0 || angle != 0 || ats != 1) return false;

  std::string name, shortName, address;
  ParseAddress(t, name, shortName, address);
  const size_t at = address.find('@');
  if (at == std::string::npos || at == 0 || at + 1 == address.size() ||
      address.find('@', at + 1) != std::string::npos)
    return false;
  for (unsigned char c : address)
    if (c <= ' ' || std::string_view("<>()\",;:\\[]").find(char(c)) != std::string_view::npos)
      return false;
  if (name.find_first_of("()") != std::string::npos && name != address) return false;
  result = BuildAddress(name, address);
  return true;
}

void ExtractRecipients(std::string_view value, std::vector<std::string>& addresses) {
  std::string rest(value);
  // Quoted display names may hold commas and "@"; an unclosed quote loses
  // only itself, so the address behind it survives.
  for (size_t open; (open = rest.find('"')) != std::string::npos;) {
    const size_t close = rest.find('"', open + 1);
    rest.erase(open, close == std::string::npos ? 1 : close - open + 1);
  }
  std::string name, shortName, address;
  size_t from = 0;
  for (;;) {
    const size_t comma = rest.find(',', from);
    const std::string_view piece =
        std::string_view(rest).substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    ParseAddress(piece, name, shortName, address);
    if (address.find('@') != std::string::npos) {
      std::string bracketed = "<";
      bracketed += Trim(address);
      bracketed += '>';
      addresses.push_back(std::move(bracketed));
    }
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
}

// ---------------------------------------------------------------------------
// Operations on a header

bool FixHeaderLines(THeader& header, const TVQEinstellungen& settings, const TCharsets& charsets) {
  bool changed = false;
  for (int i = 0; i < header.Count(); ++i) {
    // Only the line's first field is corrected: the later fields of a
    // script's header block are fields of their own and stay as they are.
    const std::string& line = header.Get(i);
    const std::string stored(FieldsOfLine(line).front());
    const std::string rest = line.substr(stored.size());
    const size_t colon = stored.find(": ");
    const std::string_view n =
        colon == std::string::npos ? std::string_view() : std::string_view(stored).substr(0, colon);
    if (SameText(n, "references")) {
      std::string l = stored;
      if (!settings.KillMessageIDBegins.empty()) l = KillMessageIDBegin(l, settings.KillMessageIDBegins);
      if (settings.MaxReferencesLength > 0) l = ShortenReferences(l, settings.MaxReferencesLength);
      if (settings.FoldingReferences) l = FoldReferences(l);
      if (l != stored) {
        header.Put(i, l + rest);
        changed = true;
      }
      continue;
    }
    std::string name, value;
    const bool subject = SameText(n, "subject");
    // Only a line that starts with one of the names can be split into it.
    const bool address = settings.CheckFromReplyFormat &&
                         (StartsText("from", stored) || StartsText("reply-to", stored)) &&
                         SplitHeaderLine(stored, name, value) &&
                         (SameText(name, "from") || SameText(name, "reply-to"));
    if (!subject && !address) continue;

    const std::string decoded = DecodeHeader(charsets, stored);
    std::string l = decoded;
    if (subject) {
      const std::string p = Copy(l, 1, 9);
      std::string t = CopyFrom(l, 10);
      bool applied = false;
      if (settings.DelDoubleRe) applied |= RemoveAnswerDesignators(t, settings.ConvertToRe);
      if (settings.CheckSubjectKillWasAfterRe) applied |= KillWasAfterRe(t);
      if (settings.CheckReplaceSubject8Bits) applied |= ReplaceSubject8Bits(t);
      if (applied) l = p + t;
    }
    if (settings.CheckFromReplyFormat && SplitHeaderLine(l, name, value) &&
        (SameText(name, "from") || SameText(name, "reply-to"))) {
      std::string rewritten;
      if (NormalizeSingleAddress(value, rewritten) && rewritten != value)
        l = name + ": " + rewritten;
    }
    if (l != decoded) {
      header.Put(i, EncodeHeader(charsets, l) + rest);
      changed = true;
    }
  }
  return changed;
}

bool OptimizeHeaderEncoding(THeader& header, const TCharsets& charsets) {
  bool changed = false;
  for (int i = 0; i < header.Count(); ++i) {
    // Only 8-bit bytes or an encoded word ("=" ...) can give 8-bit text.
    const std::string& stored = header.Get(i);
    if (std::none_of(stored.begin(), stored.end(),
                     [](char c) { return (unsigned char)c >= 128 || c == '='; }))
      continue;
    // Each field on its own: decoding drops the line breaks, so a line
    // holding several fields would come back as one.
    std::string encoded;
    bool first = true;
    for (const std::string_view field : FieldsOfLine(stored)) {
      if (!first) encoded += "\r\n";
      first = false;
      const std::string decoded = DecodeHeader(charsets, field);
      if (std::none_of(decoded.begin(), decoded.end(), [](char c) { return (unsigned char)c >= 128; }))
        encoded += field;
      else
        encoded += EncodeHeader(charsets, decoded);
    }
    if (encoded != stored) {
      header.Put(i, encoded);
      changed = true;
    }
  }
  return changed;
}

bool SortHeaderFields(THeader& header, std::string_view list) {
  std::vector<std::string> names;
  std::string rest(list), item;
  for (bool more = true; more;) {
    CutFirstItem(rest, more, item);
    if (!item.empty()) names.push_back(item);
  }
  // The new order is built first, as indexes, so a header already in order
  // stays unchanged and the message does not count as changed.
  const int count = header.Count();
  std::vector<int> order;
  std::vector<bool> taken(size_t(count), false);
  for (const std::string& name : names) {
    const std::string prefix = HeaderFieldPrefix(name);
    for (int i = 0; i < count; ++i)
      if (!taken[size_t(i)] && StartsText(prefix, header.Get(i))) {
        order.push_back(i);
        taken[size_t(i)] = true;
      }
  }
  if (order.empty()) return false;
  for (int i = 0; i < count; ++i)
    if (!taken[size_t(i)]) order.push_back(i);
  bool inOrder = true;
  for (int i = 0; i < count && inOrder; ++i)
    inOrder = header.Get(order[size_t(i)]) == header.Get(i);
  if (inOrder) return false;
  std::vector<std::string> lines;
  lines.reserve(size_t(count));
  for (int i : order) lines.push_back(header.Get(i));
  // Moves keep each line's object and set the changed mark.
  for (int target = 0; target < int(lines.size()); ++target) {
    if (header.Get(target) == lines[size_t(target)]) continue;
    for (int from = target + 1; from < header.Count(); ++from)
      if (header.Get(from) == lines[size_t(target)]) {
        header.Move(from, target);
        break;
      }
  }
  return true;
}

namespace {

bool IsRcptToLine(const std::string& line) {
  const size_t colon = line.find(':');
  return colon != std::string::npos && SameText(Trim(std::string_view(line).substr(0, colon)), "!RCPT TO");
}

// Envelope addresses compare without case and without their angle brackets.
bool SameRecipient(std::string_view a, std::string_view b) {
  auto bare = [](std::string_view s) {
    if (s.size() >= 2 && s.front() == '<' && s.back() == '>') s = s.substr(1, s.size() - 2);
    return s;
  };
  return SameText(bare(a), bare(b));
}

std::vector<std::string>::iterator FindRecipient(std::vector<std::string>& list, std::string_view s) {
  return std::find_if(list.begin(), list.end(), [&](const std::string& e) { return SameRecipient(e, s); });
}

// Keeps the first of every repetition; true when one went.
bool RemoveDuplicates(std::vector<std::string>& list) {
  std::vector<std::string> unique;
  for (std::string& s : list)
    if (FindRecipient(unique, s) == unique.end()) unique.push_back(std::move(s));
  const bool removed = unique.size() != list.size();
  list = std::move(unique);
  return removed;
}

}  // namespace

bool RecreateRcptToLines(THeader& header, bool always) {
  const int mailFrom = header.IndexOfField("!MAIL FROM");
  const int firstRcpt = header.IndexOfField("!RCPT TO");
  if (!always && (mailFrom < 0 || firstRcpt < 0)) return false;
  bool changed = false;

  std::vector<std::string> old;
  for (int i = 0; i < header.Count(); ++i)
    if (IsRcptToLine(header.Get(i))) old.push_back(Trim(CopyFrom(header.Get(i), Pos(":", header.Get(i)) + 1)));
  std::vector<std::string> fresh;
  for (const char* field : {"To", "CC", "BCC"})
    for (int i = 0; i < header.Count(); ++i)
      if (IsField(header.Get(i), field)) ExtractRecipients(header.GetFieldAt(i, true), fresh);

  // A recipient named twice would be delivered twice.
  bool differ = RemoveDuplicates(old);
  RemoveDuplicates(fresh);
  std::vector<std::string> remaining = old;
  for (const std::string& address : fresh) {
    auto it = FindRecipient(remaining, address);
    if (it != remaining.end())
      remaining.erase(it);
    else
      differ = true;
  }
  if (!remaining.empty()) differ = true;

  if (differ) {
    for (int i = header.Count() - 1; i >= 0; --i)
      if (IsRcptToLine(header.Get(i))) header.Delete(i);
    // The position is taken again: deleted lines may have stood before it.
    const int at = std::min(std::max(header.IndexOfField("!MAIL FROM"), 0) + 1, header.Count());
    std::vector<std::string> lines = fresh;
    lines.insert(lines.end(), remaining.begin(), remaining.end());
    for (size_t k = lines.size(); k-- > 0;) header.Insert(at, "!RCPT TO: " + lines[k]);
    changed = true;
  }
  // Blind copies never leave the machine in the message itself.
  for (int i = header.Count() - 1; i >= 0; --i)
    if (IsField(header.Get(i), "BCC")) {
      header.Delete(i);
      changed = true;
    }
  return changed;
}

bool ConvertHeaderLinesTo8Bit(THeader& header, const TCharsets& charsets) {
  if (header.HasField("X-CopyIf-Converted-Headers")) return false;
  std::string names;
  for (int i = header.Count() - 1; i >= 0; --i) {
    const std::string decoded = DecodeHeader(charsets, header.Get(i));
    if (decoded == header.Get(i)) continue;
    header.Put(i, decoded);
    if (!names.empty()) names += ", ";
    names += header.FieldNameAt(i);
  }
  if (names.empty()) return false;
  header.AddRaw("X-CopyIf-Converted-Headers: " + names);
  return true;
}

bool FixOEKillFalseReSubject(THeader& header, const TCharsets& charsets) {
  const int index = header.IndexOfField("Subject");
  if (index < 0 || header.HasField("References")) return false;
  const std::string s = DecodeHeader(charsets, header.GetFieldAt(index, true));
  if (s.empty()) return false;
  const int colon = Pos(":", s);
  if (colon < 1 || colon > 3 || StartsText("re:", s)) return false;
  for (int i = 0; i < colon - 1; ++i)
    if (!IsAsciiLetter(s[size_t(i)])) return false;
  header.Put(index, header.FieldNameAt(index) + ": XX: " + header.GetFieldAt(index, true));
  header.AddRaw("X-CopyIf-OE-KillFalseRe-Bug: Fixed!");
  return true;
}

void TakeHeadersFromBody(TCharsetStringlist& body, bool allowX, bool allowAny, THeader& hlist) {
  while (body.Count() > 0) {
    std::string line = body.GetInternalLine(0);
    const bool x = allowX && StartsStr("X-", line);
    const bool at = allowAny && StartsStr("@", line);
    if (!x && !at) break;
    if (StartsStr("@", line)) line.erase(0, 1);
    std::string name, value;
    if (!SplitHeaderLine(line, name, value)) break;
    hlist.Add(name + ": " + value);
    body.Delete(0);
  }
  while (body.Count() >= 2 && TrimmedView(body.GetInternalLine(0)).empty()) body.Delete(0);
}
