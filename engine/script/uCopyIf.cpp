#include "uCopyIf.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>
#include <memory>

#include "FileWalk.h"
#include "IniFile.h"
#include "NewsServer.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uDriver.h"
#include "uEinstellungen.h"
#include "uHamster.h"
#include "uKorrigiereArtikel.h"
#include "uTools.h"
#include "uTransla.h"
#include "uVQSkript.h"

namespace {

using TCounters = std::vector<std::pair<std::string, int32_t>>;

constexpr const char* kSubItemPrefix = " - ";

int64_t TickCount() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

bool HasReImportedLine(const std::vector<std::string>& lines) {
  return std::any_of(lines.begin(), lines.end(),
                     [](const std::string& l) { return SameText(l, "X-ReImported: CopyIf"); });
}

bool ContainsGroup(const std::string& list, const std::string& name) {
  std::string rest = list;
  while (!rest.empty()) {
    bool more = false;
    std::string item;
    CutFirstItem(rest, more, item);
    if (SameText(item, name)) return true;
  }
  return false;
}

void Increment(int32_t& count) {
  if (count < std::numeric_limits<int32_t>::max()) ++count;
}

// ---------------------------------------------------------------------------
// The finish

// Subfolders of the mail folder holding unfetched mails, counted.
void AddMailInfo(THamsterSession& hamster, TCounters& counters) {
  std::string mails;
  try {
    mails = hamster.GetHamsterApp().ControlGetMailsPath();
  } catch (const std::exception&) {
    mails = hamster.GetHamsterApp().ControlGetPath() + "Mails\\";
  }
  mails = NativePath(mails);
  std::vector<std::string> boxes;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(mails, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_directory(typeError)) continue;
    std::string name = it->path().filename().string();
    std::string lower = LowerCase(name);
    if (lower == "mail.out" || lower.empty() || lower[0] == '.') continue;
    boxes.push_back(std::move(name));
  }
  std::sort(boxes.begin(), boxes.end());
  bool first = true;
  for (const std::string& box : boxes) {
    size_t count = ListFiles(JoinPath(mails, box), "*.msg").size();
    if (count == 0) continue;
    if (first) counters.emplace_back("", 0);
    first = false;
    counters.emplace_back(FromUtf8("Unabgeholte Mails für \"") + box + "\"",
                          int32_t(std::min<size_t>(count, std::numeric_limits<int32_t>::max())));
  }
}

void RemoveZeroCounters(TCounters& counters) {
  std::erase_if(counters, [](const auto& c) { return !c.first.empty() && c.second == 0; });
}

int64_t CountedTotal(const TCounters& counters) {
  int64_t total = 0;
  for (const auto& [line, count] : counters)
    if (!line.empty()) total += count;
  return total;
}

void RemoveDoubleEmptyLines(TCounters& counters) {
  for (size_t i = counters.size(); i-- > 1;)
    if (counters[i].first.empty() && counters[i - 1].first.empty())
      counters.erase(counters.begin() + std::ptrdiff_t(i));
}

void RemoveEmptyLinesAtTop(TCounters& counters) {
  auto first = std::find_if(counters.begin(), counters.end(),
                            [](const auto& c) { return !c.first.empty(); });
  counters.erase(counters.begin(), first);
}

void RemoveEmptyLinesAtBottom(TCounters& counters) {
  while (!counters.empty() && counters.back().first.empty()) counters.pop_back();
}

// The count takes the place of a "*" in a line, or follows it.
void InsertCounts(TCounters& counters) {
  for (auto& [line, count] : counters) {
    if (line.empty()) continue;
    const std::string number = IntToStr(count);
    size_t star = line.find('*');
    if (star != std::string::npos)
      line.replace(star, 1, number);
    else
      line += ": " + number;
  }
}

}  // namespace

TCopyIfRun::TCopyIfRun(THamsterSession& hamster, int32_t* runExitCode)
    : hamster_(hamster), runExitCode_(runExitCode) {}

TCopyIfRun::~TCopyIfRun() = default;

void TCopyIfRun::AddLog(const std::string& text, int32_t level) {
  if (!log_) return;
  try {
    hamster_.GetHamsterApp().ControlAddLog(text, level);
  } catch (const std::exception&) {
    log_ = false;
  }
}

// An article without a Message-ID cannot be matched with another, so it is
// always tested.
bool TCopyIfRun::SeenBefore(const std::string& id) {
  if (!seen_ || id.empty()) return false;
  std::string key = LowerCase(id);
  auto it = std::lower_bound(seen_->begin(), seen_->end(), key);
  if (it != seen_->end() && *it == key) return true;
  seen_->insert(it, std::move(key));
  return false;
}

// ---------------------------------------------------------------------------
// The run

bool TCopyIfRun::RunCopyIf() {
  log_ = true;
  if (!FileExistsChecked(TCIEinstellungen::GetIniFileName())) {
    ShowInfoBox(FromUtf8("Keine CopyIf.def vorhanden => Abbruch"));
    return false;  // the caller asked for a CopyIf run and none took place
  }
  seen_.emplace();
  bool walked = false;
  try {
    hamster_.WalkGroups(
        TCIEinstellungen::GetIniFileName(), [this](TIniFile&) { return CopyIfStart(); },
        [this] { return LoadCopyIfSettings(); }, [this] { return CopyIfGroup(); },
        [this] { CopyIfFinish(); });
    walked = true;
  } catch (const EAbort&) {
    // Shown already by the script's error display.
  } catch (const std::exception& e) {
    std::string message = e.what();
    if (!message.empty() && message.back() != '.') message += '.';
    Prompter().MessageBox(message, "Tidelarn", mb::Ok | mb::IconStop);
  }
  seen_.reset();
  settings_.reset();
  return walked;
}

bool TCopyIfRun::CopyIfStart() {
  GroupCount = 0;
  ArticleCount = 0;
  ExportedCount = 0;
  CopiedCount = 0;
  ChangedCount = 0;
  startTime_ = TickCount();
  return true;
}

bool TCopyIfRun::LoadCopyIfSettings() {
  settings_ = std::make_unique<TCIEinstellungen>();
  settings_->Section = "Settings";
  settings_->Load();
  settings_->Counters.clear();
  return true;
}

bool TCopyIfRun::CopyIfGroup() {
  TCIEinstellungen& settings = *settings_;
  const std::string name = hamster_.GroupName;
  if (!IsGroupSelected(name, &settings.IgnoreGroupsList, &settings.DontIgnoreGroupsList))
    return true;
  hamster_.OpenGroup();
  Increment(GroupCount);
  AddLog("CopyIf: " + name + " wird getestet", 3);

  // Wide arithmetic: the stored number is whatever the file holds.
  const int64_t highest = hamster_.GetOpenGroupArtNoMax();
  const int64_t lowest = hamster_.GroupArtNoMin;
  int64_t last =
      hamster_.WalkIni != nullptr ? hamster_.WalkIni->ReadInteger("Groups", name, 0) : 0;
  if (last == 0 && settings.NewGroups_TestMax > 0 && highest > settings.NewGroups_TestMax)
    last = highest - settings.NewGroups_TestMax;
  if (last < lowest - 1) last = lowest - 1;
  if (settings.TestMaxPostings > 0 && highest - last > settings.TestMaxPostings)
    last = highest - settings.TestMaxPostings;

  for (int64_t n = last + 1; n <= highest; ++n) {
    AddLog("CopyIf: " + name + " wird getestet - " + IntToStr((n - last) * 100 / (highest - last)) +
               "%",
           7);
    hamster_.LadeArtikel(int32_t(n));
    Increment(ArticleCount);
    if (!settings.Simulate && HasReImportedLine(hamster_.ArticleLines)) continue;
    if (settings.CheckXPostingsOnlyOnce && SeenBefore(hamster_.CurrentMessageId)) continue;
    CopyIfArticle(hamster_.ArticleLines);
  }
  if (!settings.Simulate && hamster_.WalkIni != nullptr) {
    hamster_.WalkIni->WriteInteger("Groups", name, int32_t(highest));
    hamster_.WalkIni->UpdateFile();
  }
  return true;
}

void TCopyIfRun::CopyIfArticle(const std::vector<std::string>& text) {
  if (text.empty()) return;
  TArtikel article(InternalCharsetName(), Specials.DefBody, Specials.DefHeader);
  article.SafeReg1 = 0;
  article.SafeReg2 = 0;
  article.SigDelimiter = "--";
  article.LoadFromString(JoinLines(text));
  TargetChanged = false;
  TargetGroups = article.Header.GetField("Newsgroups", false);

  TVQEinstellungen profile;
  profile.AutoFunctions = false;
  TVQSkript script("", &article, &profile);
  script.CopyIf = this;
  script.Hamster = &hamster_;
  script.RunExitCode = runExitCode_;
  KorrigiereArtikel(script, profile, article);
}

void TCopyIfRun::CopyIfFinish() {
  TCIEinstellungen& settings = *settings_;
  TCounters& counters = settings.Counters;
  const char* step = "";
  try {
    int64_t total = 0;
    if (settings.MailInfo) {
      step = "MailInfo";
      AddMailInfo(hamster_, counters);
    }
    if (settings.ShowOnlyCounterGreaterThanNull) {
      step = "Countercheck: 0er löschen";
      RemoveZeroCounters(counters);
    }
    step = "Countercheck: Addiere Counted";
    total = CountedTotal(counters);
    step = "Countercheck: Doppelleerzeilen löschen";
    RemoveDoubleEmptyLines(counters);
    step = "Countercheck: Leerzeilen oben löschen";
    RemoveEmptyLinesAtTop(counters);
    step = "Countercheck: Leerzeilen unten löschen";
    RemoveEmptyLinesAtBottom(counters);
    step = "Countercheck: * extrahieren";
    InsertCounts(counters);
    step = "Result anzeigen";
    const int64_t actions = int64_t(ExportedCount) + CopiedCount + ChangedCount;
    if (settings.ShowResultAlways || (settings.ShowResultIfAction && actions > 0) ||
        (settings.ShowResultIfCounter && total > 0))
      ShowCopyIfStatistics();
  } catch (const std::exception& e) {
    ShowInfoBox(FromUtf8("Fehler \"") + e.what() + "\" (" + FromUtf8(step) + ")");
  }
  // The walk ends here; the counters go with the settings.
  settings_.reset();
}

// ---------------------------------------------------------------------------
// Script commands

void TCopyIfRun::CopyToGroups(const std::string& groups) {
  std::string rest = groups;
  while (!rest.empty()) {
    bool more = false;
    std::string name;
    CutFirstItem(rest, more, name);
    if (name.empty() || ContainsGroup(TargetGroups, name)) continue;
    if (!TargetGroups.empty()) TargetGroups += ",";
    TargetGroups += name;
    TargetChanged = true;
  }
}

void TCopyIfRun::MoveToGroups(const std::string& groups) {
  TargetGroups.clear();
  TargetChanged = true;
  CopyToGroups(groups);
}

void TCopyIfRun::DefineCounter(const std::string& name, bool separator) {
  if (!settings_) return;
  TCounters& counters = settings_->Counters;
  if (separator) {
    if (!counters.empty() && !counters.back().first.empty()) counters.emplace_back("", 0);
    return;
  }
  auto same = [&](const auto& c) { return SameText(c.first, name); };
  if (std::none_of(counters.begin(), counters.end(), same)) counters.emplace_back(name, 0);
}

void TCopyIfRun::IncCounter(const std::string& name, const std::string& item) {
  if (!settings_) return;
  TCounters& counters = settings_->Counters;
  auto it = std::find_if(counters.begin(), counters.end(),
                         [&](const auto& c) { return SameText(c.first, name); });
  if (it == counters.end()) it = counters.emplace(counters.end(), name, 0);
  Increment(it->second);
  if (item.empty()) return;

  const std::string itemLine = kSubItemPrefix + item;
  auto sub = it + 1;
  for (; sub != counters.end() && sub->first.rfind(kSubItemPrefix, 0) == 0; ++sub) {
    if (sub->first == itemLine) {
      Increment(sub->second);
      return;
    }
  }
  counters.emplace(sub, itemLine, 1);
}

// ---------------------------------------------------------------------------
// The result

std::string FormatDuration(int64_t ms) {
  if (ms < 0) ms = 0;
  auto two = [](int64_t v) { return (v < 10 ? "0" : "") + IntToStr(v); };
  std::string millis = IntToStr(ms % 1000);
  millis.insert(0, 3 - millis.size(), '0');
  return IntToStr(ms / 3600000) + "." + two(ms / 60000 % 60) + "." + two(ms / 1000 % 60) + ":" +
         millis;
}

void TCopyIfRun::ShowCopyIfStatistics() {
  std::vector<std::string> lines;
  if (settings_)
    for (const auto& c : settings_->Counters) lines.push_back(c.first);
  if (!lines.empty()) lines.emplace_back();
  lines.emplace_back("STATISTIK");
  lines.push_back("Gruppen: " + IntToStr(GroupCount) + ", Artikel: " + IntToStr(ArticleCount) +
                  ", Exportiert: " + IntToStr(ExportedCount) + ", Kopiert: " +
                  IntToStr(CopiedCount) + FromUtf8(", Geändert: ") + IntToStr(ChangedCount));
  const int64_t total = TickCount() - startTime_;
  std::string totalText = "-", perArticle = "-";
  if (total >= 1) {
    totalText = FormatDuration(total);
    if (ArticleCount > 0) perArticle = FormatDuration(total / ArticleCount);
  }
  lines.push_back("Gesamtdauer: " + totalText + ", Je Posting: " + perArticle);

  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i > 0 ? "\r\n" : "") + lines[i];
  Prompter().MessageBox(text, "Tidelarn/CopyIf V" + ProgramVersion() + " - Ergebnisse", mb::Ok);
}
