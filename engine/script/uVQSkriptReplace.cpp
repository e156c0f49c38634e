// Changing text by pattern: regular-expression replacement in one of the texts
// a script reaches (Do Replace), deleting the lines between two matching lines
// (Delete between), and expanding a macro name in the body (Set Macro).
#include <functional>

#include "SysUtils.h"
#include "uArtikel.h"
#include "uHeader.h"
#include "uTransla.h"
#include "uVQSkript.h"
#include "uVarList.h"
#include "uperlre.h"

namespace {

// Replaces in Text the first, the last or every non-empty match of the
// compiled expression by With, taken literally. False when nothing matched.
bool ReplaceByRegex(TPerlre& re, const std::string& text, const std::string& with, uint8_t mode,
                    std::string& result) {
  result.clear();
  re.SetSubject(text);
  size_t copied = 0;   // Text before this position is in Result
  size_t lastStart = std::string::npos, lastEnd = 0;
  bool found = false;
  while (re.FindNext()) {
    const size_t start = re.MatchBase() + static_cast<size_t>(re.OffsetVector()[0]);
    const size_t end = re.MatchBase() + static_cast<size_t>(re.OffsetVector()[1]);
    if (end <= start) continue;  // empty matches replace nothing
    found = true;
    if (mode == TVQSkript::rmLast) {
      lastStart = start;
      lastEnd = end;
      continue;
    }
    result.append(text, copied, start - copied);
    result += with;
    copied = end;
    if (mode == TVQSkript::rmFirst) break;
  }
  if (!found) return false;
  if (mode == TVQSkript::rmLast) {
    result.append(text, 0, lastStart);
    result += with;
    copied = lastEnd;
  }
  result.append(text, copied, std::string::npos);
  return true;
}

// A list of lines that Do Replace reads and writes.
struct TLineAccess {
  std::function<int()> count;
  std::function<std::string(int)> get;
  std::function<void(int, const std::string&)> put;
};

TLineAccess Access(TChangedStringlist& list) {
  return {[&list] { return list.Count(); }, [&list](int i) { return list.Get(i); },
          [&list](int i, const std::string& s) { list.Put(i, s); }};
}

TLineAccess Access(TCharsetStringlist& list) {
  return {[&list] { return list.Count(); }, [&list](int i) { return list.GetInternalLine(i); },
          [&list](int i, const std::string& s) { list.SetInternalLine(i, s); }};
}

TLineAccess Access(std::vector<std::string>& list) {
  return {[&list] { return static_cast<int>(list.size()); },
          [&list](int i) { return list[static_cast<size_t>(i)]; },
          [&list](int i, const std::string& s) { list[static_cast<size_t>(i)] = s; }};
}

}  // namespace

void TVQSkript::DoReplace(const std::string& what, const std::string& with, int32_t fromLine,
                          int32_t toLine, const std::string& varName, uint8_t target,
                          uint8_t mode) {
  TPerlre re(false, 0);
  re.SetRegex(what);
  std::string result;

  if (target == rtVariable) {
    TVarObj* v = Variables->Find(varName);
    if (v == nullptr)
      ScriptErrorFmt("VarXXXNotExists.ReplaceNotUsable",
                     "Variable \"%s\" existiert nicht, Replace somit nicht anwendbar", {varName});
    if (v->VarType != VarType::String)
      ScriptErrorFmt("VarXXXNoStringVar.ReplaceNotUsable",
                     "Variable \"%s\" ist keine Stringvariable, Replace somit nicht anwendbar",
                     {varName});
    if (ReplaceByRegex(re, v->AsString(), with, mode, result)) v->SetString(std::move(result));
    return;
  }

  TMIMEPart* part = CurrentPart();
  // Reading the signature must not forget that a delimiter was seen.
  const bool sigFound = part != nullptr && part->SigFound;
  TChangedStringlist* intro = nullptr;
  TLineAccess lines;
  switch (target) {
    case rtSig:
      if (part == nullptr) return;
      lines = Access(part->Sig());
      break;
    case rtLines:
      lines = Access(LinesToAppend);
      break;
    case rtHeader:
      lines = Access(static_cast<TChangedStringlist&>(Article->Header));
      break;
    case rtHeader2:
      if (part == nullptr) return;
      lines = Access(static_cast<TChangedStringlist&>(part->Header()));
      break;
    case rtIntro:
      if (part == nullptr || (intro = part->GetNamedList("Intro")) == nullptr) return;
      lines = Access(*intro);
      break;
    default:
      if (part == nullptr) return;
      lines = Access(part->Body());
      break;
  }

  int lastIndex = -1;
  std::string lastResult;
  for (int i = 0; i < lines.count(); ++i) {
    const int n = i + 1;
    if ((fromLine != -1 && n < fromLine) || (toLine != -1 && n > toLine)) continue;
    const std::string line = lines.get(i);
    if (line.empty() || !ReplaceByRegex(re, line, with, mode, result)) continue;
    if (mode == rmLast) {
      lastIndex = i;
      lastResult = std::move(result);
      continue;
    }
    lines.put(i, result);
    if (mode == rmFirst) break;
  }
  if (lastIndex >= 0) lines.put(lastIndex, lastResult);
  if (target == rtSig && sigFound) part->SigFound = true;
}

bool TVQSkript::DeleteBetweenInLines(TCharsetStringlist& lines, bool first,
                                     const std::string& startRegex, const std::string& endRegex,
                                     bool deleteDelimiters, bool useReplacement,
                                     const std::string& replacement) {
  TPerlre startRe(true, TPerlre::kCaseless), endRe(true, TPerlre::kCaseless);
  if (!startRegex.empty()) startRe.SetRegex(startRegex);
  if (!endRegex.empty()) endRe.SetRegex(endRegex);
  auto matches = [&lines](TPerlre& re, int i) { return re.MatchSubject(lines.GetInternalLine(i)); };

  int start = -1, end = lines.Count();
  int state = 0;
  if (first) {
    if (startRegex.empty()) state = 1;
    for (int i = 0; i < lines.Count() && state < 2; ++i) {
      if (state == 0) {
        if (matches(startRe, i)) {
          start = i;
          state = 1;
        }
      } else if (endRegex.empty() || matches(endRe, i)) {
        end = i;
        state = 2;
      }
    }
  } else {
    if (endRegex.empty()) state = 1;
    for (int i = lines.Count() - 1; i >= 0 && state < 2; --i) {
      if (state == 0) {
        if (matches(endRe, i)) {
          end = i;
          state = 1;
        }
      } else if (startRegex.empty() || matches(startRe, i)) {
        start = i;
        state = 2;
      }
    }
  }
  if (state != 2) return false;

  for (int i = end - 1; i > start; --i) lines.Delete(i);
  if (deleteDelimiters) {
    if (!startRegex.empty())
      lines.Delete(start);
    else
      start = 0;
    if (!endRegex.empty() && start < lines.Count()) lines.Delete(start);
  }
  if (useReplacement && !replacement.empty())
    lines.Insert(deleteDelimiters ? start : start + 1, replacement);
  return true;
}

bool TVQSkript::DeleteBetween(bool first, const std::string& startRegex,
                              const std::string& endRegex, bool deleteDelimiters,
                              bool useReplacement, const std::string& replacement) {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return false;
  const bool sigFound = part->SigFound;
  if (DeleteBetweenInLines(part->Sig(), first, startRegex, endRegex, deleteDelimiters,
                           useReplacement, replacement))
    return true;
  part->SigFound = sigFound;
  return DeleteBetweenInLines(part->Body(), first, startRegex, endRegex, deleteDelimiters,
                              useReplacement, replacement);
}

void TVQSkript::ExpandMacro(const std::string& name, const std::vector<std::string>& macroLines) {
  TMIMEPart* part = CurrentPart();
  if (part == nullptr) return;
  TBody& body = part->Body();
  for (int i = body.Count() - 1; i >= 0; --i) {
    if (body.GetInternalLine(i) != name) continue;
    body.Delete(i);
    for (size_t k = 0; k < macroLines.size(); ++k) body.Insert(i + static_cast<int>(k), macroLines[k]);
    body.Changed = true;
  }
}
