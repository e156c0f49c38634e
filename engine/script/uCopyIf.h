// The CopyIf run: walks the news server's newsgroups, runs Copyif.def on every
// article that arrived since the last run, keeps the script's counters, counts
// unfetched mails and shows the statistics at the end.
//
// The run always simulates: the number of the last tested article of a group
// is read from CopyIf.ini but not stored, and no article is copied or moved;
// the target groups the script names are kept for the article being tested.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TCIEinstellungen;
class THamsterSession;

// One CopyIf run. It walks the groups through the news-server session it is
// given, and the script object of each article it tests serves the run's
// commands (target groups, counters) and the session's.
class TCopyIfRun {
public:
  // RunExitCode, when given, takes the exit code of each article's Sub main.
  explicit TCopyIfRun(THamsterSession& hamster, int32_t* runExitCode = nullptr);
  ~TCopyIfRun();
  TCopyIfRun(const TCopyIfRun&) = delete;
  TCopyIfRun& operator=(const TCopyIfRun&) = delete;

  int32_t GroupCount = 0;
  int32_t ArticleCount = 0;
  int32_t ExportedCount = 0;
  int32_t CopiedCount = 0;
  int32_t ChangedCount = 0;
  // The groups the article being tested goes to, separated by ",", and whether
  // the script changed them.
  std::string TargetGroups;
  bool TargetChanged = false;

  // The whole pass: what the driver's "copyif" mode runs. False when the walk
  // failed (its error is shown already).
  bool RunCopyIf();

  // The walk's callbacks, in the order the walk calls them. False from the first
  // skips the walk, from the second the groups, from the third the other groups.
  bool CopyIfStart();
  bool LoadCopyIfSettings();
  bool CopyIfGroup();
  void CopyIfFinish();

  // Runs the CopyIf script on one article given as its lines (nothing for none).
  void CopyIfArticle(const std::vector<std::string>& text);

  // The settings of the running walk; null outside one.
  TCIEinstellungen* CopyIfSettings() const { return settings_.get(); }

  // Script commands. Groups is a list of names separated by ",".
  void CopyToGroups(const std::string& groups);
  void MoveToGroups(const std::string& groups);
  // Both do nothing outside a walk.
  void DefineCounter(const std::string& name, bool separator);
  void IncCounter(const std::string& name, const std::string& item);

  void ShowCopyIfStatistics();

private:
  // Progress lines for the news server's log; the first failure silences them.
  void AddLog(const std::string& text, int32_t level);
  // Whether Id was tested before; remembers it when not.
  bool SeenBefore(const std::string& id);

  THamsterSession& hamster_;
  int32_t* runExitCode_;
  int64_t startTime_ = 0;
  bool log_ = false;
  std::unique_ptr<TCIEinstellungen> settings_;
  // Message-IDs tested in this pass, lower-cased and sorted; kept only while
  // RunCopyIf runs.
  std::optional<std::vector<std::string>> seen_;
};

// "h.mm.ss:zzz", for example 1.02.05:042.
std::string FormatDuration(int64_t milliseconds);
