// The news server's automation object. The programs reach the server only
// through TNewsServer, one method per call they make; every failure of a call
// (server not running, a method failing) is an ENewsServerError.
//
// The implementation shipped, TFileNewsServer, works on a news-server folder:
//   Hamster.ini              present while the server counts as running
//   Groups/groups.lst        the newsgroups, one a line, in index order
//   Groups/<group>/<n>       article n of a group, one file each
//   Groups/<group>/data.ini  the group's data file
//   Groups/News.Out/, Mails/<box>/, Mails/Mail.Out/   outgoing news, mailboxes, outgoing mail
//   Logs/control.log         where ControlAddLog appends
//   hs2.queue                where hs2AsyncCommand appends
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "SysUtils.h"

class ENewsServerError : public Exception {
public:
  using Exception::Exception;
};

class TNewsServer {
public:
  virtual ~TNewsServer() = default;

  virtual std::string ControlGetVersion() = 0;
  // Folders, each with a trailing separator.
  virtual std::string ControlGetPath() = 0;
  virtual std::string ControlGetGroupsPath() = 0;
  virtual std::string ControlGetMailsPath() = 0;
  virtual std::string ControlGetNewsOutPath() = 0;
  virtual std::string ControlGetMailsOutPath() = 0;
  virtual void ControlAddLog(const std::string& text, int32_t level) = 0;

  virtual int32_t NewsGrpCount() = 0;
  // Index 0 .. NewsGrpCount() - 1.
  virtual std::string NewsGrpName(int32_t index) = 0;
  // A handle for the other group calls.
  virtual int32_t NewsGrpOpen(const std::string& groupName) = 0;
  virtual void NewsGrpClose(int32_t handle) = 0;
  virtual int32_t NewsArtNoMin(int32_t handle) = 0;
  virtual int32_t NewsArtNoMax(int32_t handle) = 0;
  // Header and body with CR LF line ends; empty for an article that is gone.
  virtual std::string NewsArtText(int32_t handle, int32_t artNo) = 0;

  // The server runs the command on its own.
  virtual void hs2AsyncCommand(const std::string& command) = 0;
};

// Creates the object: the file-backed server over NewsServerDir(), unless a
// factory is installed.
std::unique_ptr<TNewsServer> CreateNewsServer();
using TNewsServerFactory = std::function<std::unique_ptr<TNewsServer>()>;
// For tests; an empty factory restores the file-backed server.
void SetNewsServerFactory(TNewsServerFactory factory);

// TIDELARN_NEWSSERVER when set, else the program directory; absolute, with a
// trailing "/".
std::string NewsServerDir();

class TFileNewsServer : public TNewsServer {
public:
  // Raises ENewsServerError when Folder holds no Hamster.ini.
  explicit TFileNewsServer(std::string folder);

  // "1.4.0.0".
  std::string ControlGetVersion() override;
  std::string ControlGetPath() override;
  std::string ControlGetGroupsPath() override;
  std::string ControlGetMailsPath() override;
  std::string ControlGetNewsOutPath() override;
  std::string ControlGetMailsOutPath() override;
  // Appends "yyyy-mm-dd hh:nn:ss [level] text" to Logs/control.log; line
  // breaks in Text become blanks.
  void ControlAddLog(const std::string& text, int32_t level) override;

  int32_t NewsGrpCount() override;
  std::string NewsGrpName(int32_t index) override;
  // The group must be listed (its name is compared without regard to ASCII case).
  int32_t NewsGrpOpen(const std::string& groupName) override;
  void NewsGrpClose(int32_t handle) override;
  // Over the files named by a number; a group without any has 1 and 0.
  int32_t NewsArtNoMin(int32_t handle) override;
  int32_t NewsArtNoMax(int32_t handle) override;
  std::string NewsArtText(int32_t handle, int32_t artNo) override;

  // Appends the command as one line to hs2.queue; a command holding a line
  // break or NUL is refused, as it would become several commands.
  void hs2AsyncCommand(const std::string& command) override;

private:
  void RequireRunning() const;
  const std::vector<std::string>& Groups();
  const std::string& OpenGroup(int32_t handle) const;
  // Numbers of the group's article files, smallest and largest.
  void ArticleRange(int32_t handle, int32_t& lo, int32_t& hi);

  std::string folder_;
  std::vector<std::string> groups_;
  std::string groupsStamp_;  // what groups.lst looked like when it was read
  std::map<int32_t, std::string> open_;
  int32_t nextHandle_ = 1;
};

// The group names of a groups.lst text in index order: lines are trimmed,
// blank lines and lines beginning with "#" skipped, invalid names left out.
std::vector<std::string> ParseGroupList(std::string_view text);
// A name that can stand for a folder of its own below Groups: not empty, no
// "/", "\" or NUL, no leading ".".
bool IsValidGroupName(std::string_view name);
// Every CR LF, lone CR and lone LF as CR LF.
std::string ToCrLf(std::string_view text);
