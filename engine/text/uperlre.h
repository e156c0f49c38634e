// Perl-compatible regular expressions: one compiled pattern, a subject and a
// moving search position, so a caller compiles once and walks the matches with
// FindNext, reading each match's offsets from the object.
//
// Every search treats the text from NextPos as a fresh subject: anchors and
// look-behind see it as if it began there, and the offsets are relative to
// MatchBase, the start of the last search. The subject is searched only up to
// its first NUL byte. Patterns and subjects are bytes (no UTF mode).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;
struct TCompiledPattern;

// Raised for a pattern that does not compile, a search without a pattern and a
// split without its lists; the messages begin "Perlre: ".
class EPerlRe : public Exception {
public:
  using Exception::Exception;
};

class TPerlre {
public:
  // Options bit for matching without regard to case.
  static constexpr int kCaseless = 1;
  // 14 (start, end) pairs: the whole match and up to 13 groups; the last third
  // is unused, as it was work space of the former library interface.
  static constexpr int kOffsetCount = 42;
  static constexpr int kPairs = kOffsetCount / 3;

  // Study: each compiled pattern is also JIT-compiled where the library can,
  // once it has been searched a few times (a pattern searched once or twice,
  // as most are in a run over one message, is cheaper interpreted).
  TPerlre(bool study, int options);
  ~TPerlre();
  TPerlre(const TPerlre&) = delete;
  TPerlre& operator=(const TPerlre&) = delete;

  // Compiles Regex (up to its first NUL); raises EPerlRe "Perlre: " + the
  // library's text, leaving no pattern behind.
  void SetRegex(std::string_view regex);
  // SetRegex only when Regex differs from the pattern last set.
  void UpdateRegex(std::string_view regex);
  // Stores the subject and returns to its start.
  void SetSubject(std::string subject);
  void Reset();
  // The next match from NextPos; raises EPerlRe "Perlre: no regex defined"
  // without a pattern. An empty match leaves NextPos where it is, and the
  // following search then skips an empty match at that very place, so every
  // loop over FindNext ends.
  bool FindNext();
  bool MatchSubject(std::string subject);
  // Whether the pattern matches Text (up to its first NUL), searched from its
  // start as MatchSubject would; the text is not copied, and the subject, the
  // offsets and the search position stay as they were. Raises EPerlRe without
  // a pattern.
  bool Test(std::string_view text);
  // SetRegex (always compiles), then MatchSubject.
  bool Match(std::string_view regex, std::string subject);

  // Appends to Pieces the texts between the matches (trimmed of blanks and
  // control bytes when TrimPieces); the rest after the last match only when it
  // is not empty. Pieces is not cleared. Null Pieces raises EPerlRe.
  void Split(std::string_view regex, std::string subject, bool trimPieces,
             std::vector<std::string>* pieces);
  // Cuts Subject into non-matching and matching pieces (empty ones left out),
  // tagged TagOther and TagMatch; joined in order they give Subject again. With
  // MaxMatches >= 1 at most that many matches are split off. Tags and Pieces
  // are cleared first; a null list raises EPerlRe.
  void SplitTagged(std::string_view regex, std::string subject, std::string_view tagOther,
                   std::string_view tagMatch, int maxMatches, std::vector<std::string>* tags,
                   std::vector<std::string>* pieces, int& matchCount);

  bool HasPattern() const { return code_ != nullptr; }
  const std::string& Regex() const { return regex_; }
  const std::string& Subject() const { return subject_; }
  int Options() const { return options_; }
  bool Study() const { return study_; }
  // 0-based byte positions in Subject.
  size_t MatchBase() const { return matchBase_; }
  size_t NextPos() const { return nextPos_; }
  // Pairs of byte offsets relative to MatchBase; -1 for groups that took no part.
  const std::array<int32_t, kOffsetCount>& OffsetVector() const { return offsets_; }
  // Number of pairs set by the last search (0: more groups than pairs), negative
  // for no match; -1 after Reset.
  int LastResult() const { return lastResult_; }
  const std::string& ErrorText() const { return errorText_; }
  int ErrorOffset() const { return errorOffset_; }

  // Conveniences over the last successful search. Group 0 is the whole match;
  // a group that is out of range or took no part gives npos / an empty text.
  size_t GroupStart(int group = 0) const;
  std::string GroupText(int group = 0) const;

private:
  void FreePattern();
  // The match data, and the JIT compilation of a studied pattern.
  void PrepareSearch();

  // Compiled patterns are shared through a cache of the process: the
  // correction of every message asks for the same few patterns again.
  std::shared_ptr<TCompiledPattern> compiled_;
  pcre2_real_code_8* code_ = nullptr;
  pcre2_real_match_data_8* matchData_ = nullptr;
  std::string regex_;
  std::string subject_;
  size_t limit_ = 0;  // searched length of subject_ (up to its first NUL)
  // An ASCII byte that starts every match (either case of a letter), so that
  // Test can answer most texts without the library; -1 none, -2 not yet asked.
  int firstByte_ = -2;
  size_t matchBase_ = 0;
  size_t nextPos_ = 0;
  bool lastWasEmpty_ = false;
  std::array<int32_t, kOffsetCount> offsets_{};
  int errorOffset_ = 0;
  int lastResult_ = -1;
  std::string errorText_;
  int options_;
  bool study_;
};

// The shared case-insensitive, studied instance (address parsing and the other
// callers that match without regard to case); lives for the whole program.
TPerlre& SharedPerlre();

// Text with a backslash before each of ! $ ( ) * + , - . : = ? [ \ ] ^ { | }.
std::string QuoteRegex(std::string_view text);
