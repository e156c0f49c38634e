#include "uHamster.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "NewsServer.h"
#include "ProgramDir.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uTransla.h"
#include "uperlre.h"

namespace {

constexpr const char* kInternalErrorCaption = "Tidelarn";

// A misuse of the session: nothing sensible can follow, so the program ends.
[[noreturn]] void InternalError(const std::string& text) {
  Prompter().MessageBox(text, kInternalErrorCaption, mb::Ok | mb::IconStop);
  std::exit(1);
}

}  // namespace

THamsterSession::THamsterSession() = default;
THamsterSession::~THamsterSession() = default;

void THamsterSession::CloseOpenGroup() {
  if (!GroupOpen) return;
  GroupOpen = false;
  GetHamsterApp().NewsGrpClose(GroupHandle);
}

TNewsServer& THamsterSession::GetHamsterApp() {
  if (!app_) {
    app_ = CreateNewsServer();
    if (!app_)
      throw ENewsServerError(
          Translate("Hamster.NoObject", "Das Hamster-Objekt kann nicht erzeugt werden."));
  }
  return *app_;
}

void THamsterSession::SendHs2Command(const std::string& text) {
  GetHamsterApp().hs2AsyncCommand(text);
}

void THamsterSession::WalkGroups(const std::string& iniFileName,
                                 const TWalkInitCallback& initCallback,
                                 const TWalkCallback& startCallback,
                                 const TWalkCallback& groupCallback,
                                 const TWalkFinishCallback& finishCallback) {
  TIniFileUTF8 ini(iniFileName);
  struct TWalkIniScope {
    TIniFile*& slot;
    TIniFile* previous;
    ~TWalkIniScope() { slot = previous; }
  } scope{WalkIni, WalkIni};
  WalkIni = &ini;

  if (!initCallback(ini)) return;
  GroupCount = GetHamsterApp().NewsGrpCount();
  if (!startCallback()) return;
  const int32_t count = GetHamsterApp().NewsGrpCount();
  for (int32_t i = 0; i < count; ++i) {
    GroupIndex = i + 1;
    GroupName = GetHamsterApp().NewsGrpName(i);
    GroupOpen = false;
    CurrentArtNo = -1;
    bool goOn;
    try {
      goOn = groupCallback();
    } catch (...) {
      // The callback's error is the one to report, not a failing close.
      try {
        CloseOpenGroup();
      } catch (...) {
      }
      throw;
    }
    CloseOpenGroup();
    if (!goOn) break;
  }
  finishCallback();
}

bool IsGroupSelected(const std::string& name, const std::vector<std::string>* ignoreList,
                     const std::vector<std::string>* dontIgnoreList) {
  TPerlre re(false, TPerlre::kCaseless);
  bool selected = true;
  // An empty entry (a stray comma in the list) matches no group: as an
  // expression it would match every one, and one comma would skip them all.
  if (ignoreList)
    for (const std::string& expression : *ignoreList) {
      if (!selected) break;
      selected = expression.empty() || !re.Match(expression, name);
    }
  if (!selected && dontIgnoreList)
    for (const std::string& expression : *dontIgnoreList) {
      if (selected) break;
      selected = !expression.empty() && re.Match(expression, name);
    }
  return selected;
}

void THamsterSession::OpenGroup() {
  if (GroupOpen)
    InternalError(Translate("Hamster.GroupOpenTwice",
                            "Interner Fehler: Versuch, eine Gruppe mehrfach zu öffnen!"));
  TNewsServer& app = GetHamsterApp();
  GroupHandle = app.NewsGrpOpen(GroupName);
  // Marked open before the next call, so the walk closes it even if that fails.
  GroupOpen = true;
  GroupArtNoMin = app.NewsArtNoMin(GroupHandle);
}

int32_t THamsterSession::GetOpenGroupArtNoMax() {
  return GroupOpen ? GetHamsterApp().NewsArtNoMax(GroupHandle) : 0;
}

void THamsterSession::LadeArtikel(int32_t artNo) {
  if (!GroupOpen)
    InternalError(Translate(
        "Hamster.GroupNotOpen",
        "Interner Fehler: Gruppe ist nicht geöffnet, aber \"LadeArtikel\" wurde aufgerufen!"));
  std::vector<std::string> lines = SplitLines(GetHamsterApp().NewsArtText(GroupHandle, artNo));
  std::string messageId;
  for (const std::string& line : lines) {
    if (line.empty()) break;
    if (LowerCase(Copy(line, 1, 12)) == "message-id: ") {
      messageId = CopyFrom(line, 13);
      break;
    }
  }
  ArticleLines = std::move(lines);
  CurrentMessageId = std::move(messageId);
  CurrentArtNo = artNo;
}

void THamsterSession::TouchGroups(const std::string& pattern) {
  if (pattern.empty() ||
      std::find(TouchedPatterns.begin(), TouchedPatterns.end(), pattern) != TouchedPatterns.end())
    return;
  TPerlre re(false, 0);
  re.SetRegex(pattern);
  TNewsServer& app = GetHamsterApp();
  std::string groupsDir;
  try {
    groupsDir = app.ControlGetGroupsPath();
  } catch (const ENewsServerError&) {
    groupsDir = app.ControlGetPath() + "Groups\\";
  }
  const int32_t count = app.NewsGrpCount();
  for (int32_t i = 0; i < count; ++i) {
    const std::string name = app.NewsGrpName(i);
    // The name becomes a folder: one that would lead elsewhere has no data.ini.
    if (!IsValidGroupName(name) || !re.MatchSubject(name)) continue;
    TIniFile ini(NativePath(groupsDir + name + "\\data.ini"));
    ini.WriteString("Info", "LastClientRead", LocalTimeText("%Y%m%d%H%M%S"));
    ini.UpdateFile();
  }
  // Only a touch that went through counts as done, so a retry repeats a failed one.
  TouchedPatterns.push_back(pattern);
}
