#include "uperlre.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <unordered_map>

// One compiled pattern, shared by every object that sets the same text.
struct TCompiledPattern {
  explicit TCompiledPattern(pcre2_code* c) : code(c) {}
  ~TCompiledPattern() { pcre2_code_free(code); }
  TCompiledPattern(const TCompiledPattern&) = delete;
  TCompiledPattern& operator=(const TCompiledPattern&) = delete;

  pcre2_code* code;
  uint32_t searches = 0;  // counted up to the JIT compilation
  bool jitAsked = false;
};

namespace {

std::string PcreMessage(int code) {
  PCRE2_UCHAR buf[256];
  int n = pcre2_get_error_message(code, buf, sizeof buf);
  if (n < 0) return "error " + IntToStr(code);
  return std::string(reinterpret_cast<const char*>(buf), size_t(n));
}

// The searched part of a text: up to its first NUL, and never more than the
// offsets can express.
size_t SearchLimit(std::string_view s) {
  size_t n = s.find('\0');
  if (n == std::string_view::npos) n = s.size();
  return std::min<size_t>(n, INT32_MAX);
}

// The code unit the library says every match starts with, when it is ASCII;
// else -1. (Bytes above 127 are left alone: whether they have case variants
// depends on the library's character tables.)
int FirstByte(const pcre2_code* code) {
  uint32_t type = 0, unit = 0;
  if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODETYPE, &type) != 0 || type != 1) return -1;
  if (pcre2_pattern_info(code, PCRE2_INFO_FIRSTCODEUNIT, &unit) != 0 || unit >= 128) return -1;
  return int(unit);
}

// The other case of an ASCII letter; any other byte itself.
char OtherCase(char c) {
  if (c >= 'a' && c <= 'z') return char(c - 32);
  if (c >= 'A' && c <= 'Z') return char(c + 32);
  return c;
}

// Compiled patterns by options and text. A pattern is only read once it is
// compiled, so one compilation serves every object that asks for it; the
// cache is emptied when it grows large, as a script may build patterns freely.
using TCompiledPtr = std::shared_ptr<TCompiledPattern>;

// Searches of a studied pattern before it is JIT-compiled: the compilation
// costs as much as a few dozen interpreted searches of a short line.
constexpr uint32_t kSearchesBeforeJit = 16;

TCompiledPtr& CachedPattern(uint32_t flags, bool study, std::string_view text) {
  static std::unordered_map<std::string, TCompiledPtr> cache;
  constexpr size_t kMaxEntries = 256;
  std::string key;
  key.reserve(text.size() + 2);
  key += (flags & PCRE2_CASELESS) ? 'i' : '-';
  key += study ? 'j' : '-';
  key += text;
  if (cache.size() >= kMaxEntries && !cache.count(key)) cache.clear();
  return cache[key];
}

}  // namespace

TPerlre::TPerlre(bool study, int options) : options_(options), study_(study) { Reset(); }

TPerlre::~TPerlre() {
  FreePattern();
  if (matchData_) pcre2_match_data_free(matchData_);
}

void TPerlre::FreePattern() {
  compiled_.reset();
  code_ = nullptr;
  firstByte_ = -2;
}

void TPerlre::SetRegex(std::string_view regex) {
  regex_ = std::string(regex);
  FreePattern();
  errorText_.clear();
  errorOffset_ = 0;

  std::string_view text = regex.substr(0, std::min(regex.find('\0'), regex.size()));
  uint32_t flags = (options_ & kCaseless) ? PCRE2_CASELESS : 0;
  TCompiledPtr& cached = CachedPattern(flags, study_, text);
  if (!cached) {
    int code = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                                         flags, &code, &offset, nullptr);
    if (!compiled) {
      errorText_ = PcreMessage(code);
      errorOffset_ = int(std::min<PCRE2_SIZE>(offset, INT_MAX));
      throw EPerlRe("Perlre: " + errorText_);
    }
    cached = std::make_shared<TCompiledPattern>(compiled);
  }
  compiled_ = cached;
  code_ = compiled_->code;
  Reset();
}

void TPerlre::UpdateRegex(std::string_view regex) {
  if (!code_ || regex != regex_) SetRegex(regex);
}

void TPerlre::SetSubject(std::string subject) {
  subject_ = std::move(subject);
  limit_ = SearchLimit(subject_);
  Reset();
}

void TPerlre::Reset() {
  matchBase_ = nextPos_ = 0;
  lastWasEmpty_ = false;
  lastResult_ = -1;
}

void TPerlre::PrepareSearch() {
  if (!matchData_) {
    matchData_ = pcre2_match_data_create(kPairs, nullptr);
    if (!matchData_) throw std::bad_alloc();
  }
  TCompiledPattern& pattern = *compiled_;
  if (study_ && !pattern.jitAsked && ++pattern.searches >= kSearchesBeforeJit) {
    // Without JIT support matching simply runs interpreted, as unstudied
    // patterns did; so a JIT failure is no error.
    pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
    pattern.jitAsked = true;
  }
}

bool TPerlre::FindNext() {
  if (!code_) throw EPerlRe("Perlre: no regex defined");
  PrepareSearch();
  matchBase_ = std::min(nextPos_, limit_);
  uint32_t flags = lastWasEmpty_ ? PCRE2_NOTEMPTY_ATSTART : 0;
  auto search = [&](uint32_t extra) {
    return pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject_.data() + matchBase_),
                       limit_ - matchBase_, 0, flags | extra, matchData_, nullptr);
  };
  lastResult_ = search(0);
  // The JIT's stack is smaller than the interpreter's heap: a deep match it
  // gives up on is tried again interpreted rather than reported as none.
  if (lastResult_ == PCRE2_ERROR_JIT_STACKLIMIT) lastResult_ = search(PCRE2_NO_JIT);
  if (lastResult_ < 0) return false;

  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(matchData_);
  // Pairs past the last one set are stale in the library's vector.
  size_t set = lastResult_ == 0 ? kPairs : size_t(lastResult_);
  offsets_.fill(0);
  for (size_t i = 0; i < 2 * kPairs; ++i)
    offsets_[i] = i >= 2 * set || ov[i] == PCRE2_UNSET ? -1 : int32_t(ov[i]);
  nextPos_ = matchBase_ + std::max(ov[0], ov[1]);
  lastWasEmpty_ = ov[1] <= ov[0];
  return true;
}

bool TPerlre::MatchSubject(std::string subject) {
  SetSubject(std::move(subject));
  return FindNext();
}

bool TPerlre::Test(std::string_view text) {
  if (!code_) throw EPerlRe("Perlre: no regex defined");
  if (firstByte_ == -2) firstByte_ = FirstByte(code_);
  if (firstByte_ >= 0) {
    // Absent from the whole text, the byte is absent before its first NUL.
    const char c = char(firstByte_), other = OtherCase(c);
    auto holds = [&](char b) { return !text.empty() && std::memchr(text.data(), b, text.size()); };
    if (!holds(c) && (other == c || !holds(other))) return false;
  }
  PrepareSearch();
  const size_t limit = SearchLimit(text);
  // The library wants a subject even when it is empty.
  const char* subject = text.empty() ? "" : text.data();
  auto search = [&](uint32_t extra) {
    return pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject), limit, 0, extra, matchData_,
                       nullptr);
  };
  int result = search(0);
  if (result == PCRE2_ERROR_JIT_STACKLIMIT) result = search(PCRE2_NO_JIT);
  return result >= 0;
}

bool TPerlre::Match(std::string_view regex, std::string subject) {
  SetRegex(regex);
  return MatchSubject(std::move(subject));
}

size_t TPerlre::GroupStart(int group) const {
  if (lastResult_ < 0 || group < 0 || group >= kPairs || offsets_[size_t(2 * group)] < 0)
    return std::string::npos;
  return matchBase_ + size_t(offsets_[size_t(2 * group)]);
}

std::string TPerlre::GroupText(int group) const {
  size_t start = GroupStart(group);
  if (start == std::string::npos) return {};
  int32_t s = offsets_[size_t(2 * group)], e = offsets_[size_t(2 * group + 1)];
  return e > s ? subject_.substr(start, size_t(e - s)) : std::string();
}

void TPerlre::Split(std::string_view regex, std::string subject, bool trimPieces,
                    std::vector<std::string>* pieces) {
  if (!pieces) throw EPerlRe("Perlre: undefined TStrings in split");
  SetRegex(regex);
  SetSubject(std::move(subject));
  auto add = [&](std::string_view piece) {
    pieces->push_back(trimPieces ? Trim(piece) : std::string(piece));
  };
  std::string_view all = subject_;
  while (FindNext()) add(all.substr(matchBase_, size_t(offsets_[0])));
  // The rest keeps any bytes after a NUL: they were not searched, but they are
  // part of the text.
  std::string_view rest = all.substr(std::min(matchBase_, all.size()));
  if (trimPieces) {
    std::string trimmed = Trim(rest);
    if (!trimmed.empty()) pieces->push_back(std::move(trimmed));
  } else if (!rest.empty()) {
    pieces->emplace_back(rest);
  }
}

void TPerlre::SplitTagged(std::string_view regex, std::string subject, std::string_view tagOther,
                          std::string_view tagMatch, int maxMatches,
                          std::vector<std::string>* tags, std::vector<std::string>* pieces,
                          int& matchCount) {
  if (!tags || !pieces) throw EPerlRe("Perlre: undefined TStrings in split");
  matchCount = 0;
  tags->clear();
  pieces->clear();
  SetRegex(regex);
  SetSubject(std::move(subject));
  std::string_view all = subject_;
  size_t restFrom = 0;
  while (FindNext()) {
    if (maxMatches >= 1 && matchCount >= maxMatches) break;
    size_t before = size_t(offsets_[0]);
    size_t start = matchBase_ + before;
    size_t end = matchBase_ + size_t(std::max(offsets_[0], offsets_[1]));
    if (before > 0) {
      pieces->emplace_back(all.substr(matchBase_, before));
      tags->emplace_back(tagOther);
    }
    if (end > start) {
      ++matchCount;
      pieces->emplace_back(all.substr(start, end - start));
      tags->emplace_back(tagMatch);
    }
    restFrom = end;
  }
  // After the last match taken; when the loop stopped at MaxMatches the search
  // that found the untaken match began at the same place.
  std::string_view rest = all.substr(std::min(restFrom, all.size()));
  if (!rest.empty()) {
    pieces->emplace_back(rest);
    tags->emplace_back(tagOther);
  }
}

TPerlre& SharedPerlre() {
  static TPerlre shared(true, TPerlre::kCaseless);
  return shared;
}

std::string QuoteRegex(std::string_view text) {
  static constexpr std::string_view kSpecial = "!$()*+,-.:=?[\\]^{|}";
  std::string r;
  r.reserve(text.size() * 2);
  for (char c : text) {
    if (c != '\0' && kSpecial.find(c) != std::string_view::npos) r += '\\';
    r += c;
  }
  return r;
}
