// The CopyIf run: walks the news server's newsgroups, runs Copyif.def on every
// article that arrived since the last run, keeps the script's counters, counts
// unfetched mails and shows the statistics at the end.
//
// The run always simulates: the number of the last tested article of a group
// is read from CopyIf.ini but not stored, and no article is copied or moved;
// the target groups the script names are kept for the article being tested.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TCIEinstellungen;

// The entry of the driver's "copyif" mode.
void RunCopyIf();

// The walk's callbacks, in the order the walk calls them. False from the first
// skips the walk, from the second the groups, from the third the other groups.
bool CopyIfStart();
bool LoadCopyIfSettings();
bool CopyIfGroup();
void CopyIfFinish();

// Runs the CopyIf script on one article given as its lines (nothing for none).
void CopyIfArticle(const std::vector<std::string>& text);

// The settings of the running CopyIf walk; null outside one.
TCIEinstellungen* CopyIfSettings();

// The state of one run.
namespace uCopyIf {
extern int32_t GroupCount;
extern int32_t ArticleCount;
extern int32_t ExportedCount;
extern int32_t CopiedCount;
extern int32_t ChangedCount;
// The groups the article being tested goes to, separated by ",", and whether
// the script changed them.
extern std::string TargetGroups;
extern bool TargetChanged;
}  // namespace uCopyIf

// Script commands. Groups is a list of names separated by ",".
void CopyToGroups(const std::string& groups);
void MoveToGroups(const std::string& groups);
// Both do nothing outside a CopyIf run.
void DefineCounter(const std::string& name, bool separator);
void IncCounter(const std::string& name, const std::string& item);

void ShowCopyIfStatistics();
// "h.mm.ss:zzz", for example 1.02.05:042.
std::string FormatDuration(int64_t milliseconds);
