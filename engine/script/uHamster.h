// Client of the news server's automation object: walks the newsgroups, opens
// one group at a time, reads article numbers and texts, hands commands to the
// server's script engine and marks groups as read by a client. A session keeps
// one cached server object and the state of the group being visited; the run
// that needs the server owns one and hands it to whom it serves.
//
// Failures of the server calls reach the caller as exceptions
// (ENewsServerError). Two misuses of a session are internal errors: they show
// a message box and end the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TIniFile;
class TNewsServer;

using TWalkInitCallback = std::function<bool(TIniFile& ini)>;
using TWalkCallback = std::function<bool()>;
using TWalkFinishCallback = std::function<void()>;

class THamsterSession {
public:
  THamsterSession();
  // Releases the server object.
  ~THamsterSession();
  THamsterSession(const THamsterSession&) = delete;
  THamsterSession& operator=(const THamsterSession&) = delete;

  // The group OpenGroup opened.
  bool GroupOpen = false;
  int32_t GroupHandle = 0;
  int32_t GroupArtNoMin = 0;
  // The group WalkGroups is visiting (GroupIndex counts from 1) and the number
  // of groups when the walk began.
  std::string GroupName;
  int32_t GroupIndex = 0;
  int32_t GroupCount = 0;
  // The article LadeArtikel loaded last; CurrentArtNo is -1 when there is none.
  std::vector<std::string> ArticleLines;
  std::string CurrentMessageId;
  int32_t CurrentArtNo = -1;
  // Patterns TouchGroups has handled in this session.
  std::vector<std::string> TouchedPatterns;
  // The INI file of the running walk, null outside one.
  TIniFile* WalkIni = nullptr;

  // The server object, created on first use and cached; a failure to create
  // it reaches the caller and leaves the cache empty.
  TNewsServer& GetHamsterApp();

  // Hands Text to the server's script engine.
  void SendHs2Command(const std::string& text);

  // Opens the INI file IniFileName (WalkIni) and calls InitCallback with it
  // (false: nothing else happens); then GroupCount is taken and StartCallback
  // called (false: no group is visited and FinishCallback is not called); then
  // GroupCallback runs once per group with GroupName and GroupIndex set (false
  // ends the loop); FinishCallback follows. A group the callback left open is
  // closed after it, however the callback ended.
  void WalkGroups(const std::string& iniFileName, const TWalkInitCallback& initCallback,
                  const TWalkCallback& startCallback, const TWalkCallback& groupCallback,
                  const TWalkFinishCallback& finishCallback);

  // Opens the group GroupName. A group that is open already is an internal error.
  void OpenGroup();
  // The highest article number of the open group, 0 when none is open.
  int32_t GetOpenGroupArtNoMax();
  // Loads article ArtNo of the open group into ArticleLines, CurrentMessageId
  // and CurrentArtNo. Without an open group it is an internal error.
  void LadeArtikel(int32_t artNo);

  // Sets LastClientRead in the data.ini of every group whose name matches
  // Pattern (case-sensitive), so that the server keeps fetching those groups.
  // Each pattern is handled once per session; an empty one is ignored.
  void TouchGroups(const std::string& pattern);

private:
  void CloseOpenGroup();

  std::unique_ptr<TNewsServer> app_;
};

// False only when an expression of IgnoreList matches Name and none of
// DontIgnoreList does; either list may be null. Matching ignores case.
bool IsGroupSelected(const std::string& name, const std::vector<std::string>* ignoreList,
                     const std::vector<std::string>* dontIgnoreList);
