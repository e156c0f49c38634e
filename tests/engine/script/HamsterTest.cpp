#include "uHamster.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "IniFile.h"
#include "NewsServer.h"
#include "ProgramDir.h"
#include "TestSupport.h"
#include "uperlre.h"

namespace {

// A server in memory that records the calls that change something.
class FakeServer : public TNewsServer {
public:
  std::vector<std::string> groups{"de.comp.misc", "local.test", "de.alt.all"};
  std::map<int32_t, std::string> articles;
  std::string path = "/nowhere/";
  bool groupsPathFails = false;
  std::vector<std::string>* calls;

  explicit FakeServer(std::vector<std::string>* log) : calls(log) {}

  std::string ControlGetVersion() override { return "1.4.0.0"; }
  std::string ControlGetPath() override { return path; }
  std::string ControlGetGroupsPath() override {
    if (groupsPathFails) throw ENewsServerError("no such method");
    return path + "Groups/";
  }
  std::string ControlGetMailsPath() override { return path + "Mails/"; }
  std::string ControlGetNewsOutPath() override { return path + "Groups/News.Out/"; }
  std::string ControlGetMailsOutPath() override { return path + "Mails/Mail.Out/"; }
  void ControlAddLog(const std::string& text, int32_t) override { calls->push_back("log " + text); }
  int32_t NewsGrpCount() override { return int32_t(groups.size()); }
  std::string NewsGrpName(int32_t index) override { return groups.at(size_t(index)); }
  int32_t NewsGrpOpen(const std::string& name) override {
    calls->push_back("open " + name);
    return 40 + int32_t(calls->size());
  }
  void NewsGrpClose(int32_t handle) override { calls->push_back("close " + IntToStr(handle)); }
  int32_t NewsArtNoMin(int32_t) override { return 5; }
  int32_t NewsArtNoMax(int32_t) override { return 9; }
  std::string NewsArtText(int32_t, int32_t artNo) override {
    auto it = articles.find(artNo);
    return it == articles.end() ? "" : it->second;
  }
  void hs2AsyncCommand(const std::string& command) override { calls->push_back("hs2 " + command); }
};

class Hamster : public ::testing::Test {
protected:
  void SetUp() override {
    SetNewsServerFactory([this]() -> std::unique_ptr<TNewsServer> {
      ++created;
      auto server = std::make_unique<FakeServer>(&calls);
      fake = server.get();
      if (configure) configure(*server);
      return server;
    });
  }
  void TearDown() override { SetNewsServerFactory(nullptr); }

  // Runs a walk that records what the callbacks see.
  void Walk(bool init, bool start, const std::function<bool()>& group) {
    hamster.WalkGroups(
        dir / "Walk.ini",
        [&](TIniFile& ini) {
          calls.push_back("init");
          EXPECT_EQ(&ini, hamster.WalkIni);
          return init;
        },
        [&] {
          calls.push_back("start " + IntToStr(hamster.GroupCount));
          return start;
        },
        [&] {
          calls.push_back("group " + IntToStr(hamster.GroupIndex) + " " + hamster.GroupName);
          return group();
        },
        [&] { calls.push_back("finish"); });
  }

  TempDir dir;
  std::vector<std::string> calls;
  int created = 0;
  FakeServer* fake = nullptr;
  std::function<void(FakeServer&)> configure;
  THamsterSession hamster;
};

using Calls = std::vector<std::string>;

}  // namespace

TEST_F(Hamster, CreatesTheServerObjectOnce) {
  TNewsServer& first = hamster.GetHamsterApp();
  EXPECT_EQ(&hamster.GetHamsterApp(), &first);
  EXPECT_EQ(created, 1);
  THamsterSession second;
  second.GetHamsterApp();
  EXPECT_EQ(created, 2);

  // A failed creation leaves nothing cached, so the next use tries again.
  THamsterSession third;
  SetNewsServerFactory([]() -> std::unique_ptr<TNewsServer> { throw ENewsServerError("down"); });
  EXPECT_THROW(third.GetHamsterApp(), ENewsServerError);
  EXPECT_THROW(third.GetHamsterApp(), ENewsServerError);
}

TEST_F(Hamster, WalksEveryGroupAndClosesWhatWasOpened) {
  Walk(true, true, [this] {
    if (hamster.GroupName == "local.test") hamster.OpenGroup();
    return true;
  });
  EXPECT_EQ(calls, (Calls{"init", "start 3", "group 1 de.comp.misc", "group 2 local.test",
                          "open local.test", "close 45", "group 3 de.alt.all", "finish"}));
  EXPECT_FALSE(hamster.GroupOpen);
  EXPECT_EQ(hamster.WalkIni, nullptr);
}

TEST_F(Hamster, EndsTheWalkWhereACallbackSaysSo) {
  Walk(false, true, [] { return true; });
  EXPECT_EQ(calls, Calls{"init"});

  calls.clear();
  Walk(true, false, [] { return true; });
  EXPECT_EQ(calls, (Calls{"init", "start 3"}));

  calls.clear();
  Walk(true, true, [this] {
    hamster.OpenGroup();
    return false;
  });
  EXPECT_EQ(calls, (Calls{"init", "start 3", "group 1 de.comp.misc", "open de.comp.misc",
                          "close 44", "finish"}));
}

TEST_F(Hamster, ClosesTheGroupWhenTheCallbackFails) {
  EXPECT_THROW(Walk(true, true,
                    [this] {
                      hamster.OpenGroup();
                      throw Exception("script failed");
                      return true;
                    }),
               Exception);
  EXPECT_EQ(calls.back(), "close 44");
  EXPECT_FALSE(hamster.GroupOpen);
  EXPECT_EQ(hamster.WalkIni, nullptr);
  // The next walk may open groups again.
  calls.clear();
  Walk(true, true, [this] {
    hamster.OpenGroup();
    return false;
  });
  EXPECT_EQ(calls.back(), "finish");
}

TEST_F(Hamster, LoadsArticlesOfTheOpenGroup) {
  configure = [](FakeServer& s) {
    s.articles[5] = "Subject: x\r\nMESSAGE-ID: <a@b>\r\n\r\nbody\r\n";
    s.articles[6] = "Subject: y\r\n\r\nMessage-ID: <in@body>\r\n";
    s.articles[7] = "Message-ID:<tight@x>\r\nMessage-ID: <second@x>\r\n";
  };
  EXPECT_EQ(hamster.GetOpenGroupArtNoMax(), 0);
  hamster.GroupName = "de.test";
  hamster.OpenGroup();
  EXPECT_TRUE(hamster.GroupOpen);
  EXPECT_EQ(hamster.GroupArtNoMin, 5);
  EXPECT_EQ(hamster.GetOpenGroupArtNoMax(), 9);

  hamster.LadeArtikel(5);
  EXPECT_EQ(hamster.ArticleLines, (Calls{"Subject: x", "MESSAGE-ID: <a@b>", "", "body"}));
  EXPECT_EQ(hamster.CurrentMessageId, "<a@b>");
  EXPECT_EQ(hamster.CurrentArtNo, 5);
  // Only the header counts, and only with the blank after the colon.
  hamster.LadeArtikel(6);
  EXPECT_EQ(hamster.CurrentMessageId, "");
  hamster.LadeArtikel(7);
  EXPECT_EQ(hamster.CurrentMessageId, "<second@x>");
  hamster.LadeArtikel(8);
  EXPECT_TRUE(hamster.ArticleLines.empty());
  EXPECT_EQ(hamster.CurrentMessageId, "");
  EXPECT_EQ(hamster.CurrentArtNo, 8);
}

TEST_F(Hamster, EndsTheProgramOnInternalErrors) {
  EXPECT_EXIT(hamster.LadeArtikel(1), ::testing::ExitedWithCode(1),
              "Gruppe ist nicht ge.*ffnet, aber \"LadeArtikel\" wurde aufgerufen");
  hamster.GroupName = "de.test";
  hamster.OpenGroup();
  EXPECT_EXIT(hamster.OpenGroup(), ::testing::ExitedWithCode(1), "eine Gruppe mehrfach zu");
}

TEST_F(Hamster, SessionsSideBySideShareNothing) {
  THamsterSession other;
  hamster.GroupName = "de.a";
  hamster.OpenGroup();
  // A group open in one session is no reason to refuse one in another.
  other.GroupName = "de.b";
  other.OpenGroup();
  EXPECT_EQ(calls, (Calls{"open de.a", "open de.b"}));
  EXPECT_NE(&hamster.GetHamsterApp(), &other.GetHamsterApp());
  EXPECT_EQ(created, 2);
  other.LadeArtikel(5);
  EXPECT_EQ(other.CurrentArtNo, 5);
  EXPECT_EQ(hamster.CurrentArtNo, -1);
}

TEST(IsGroupSelected, SkipsIgnoredGroupsUnlessKeptOnPurpose) {
  const std::vector<std::string> ignore{"^local\\.", "^internal\\.", "\\.all$"};
  std::vector<std::string> keep;
  EXPECT_FALSE(IsGroupSelected("local.test", &ignore, &keep));
  EXPECT_FALSE(IsGroupSelected("de.alt.all", &ignore, &keep));
  EXPECT_FALSE(IsGroupSelected("LOCAL.Test", &ignore, nullptr));
  EXPECT_TRUE(IsGroupSelected("de.comp.misc", &ignore, &keep));
  keep.push_back("^local\\.test$");
  EXPECT_TRUE(IsGroupSelected("local.test", &ignore, &keep));
  EXPECT_FALSE(IsGroupSelected("local.other", &ignore, &keep));
  EXPECT_TRUE(IsGroupSelected("anything", nullptr, nullptr));
  // Empty entries (stray commas) match no group, in either list.
  const std::vector<std::string> strayCommas{"", "^local\\.", ""};
  const std::vector<std::string> emptyKeep{"", ""};
  EXPECT_TRUE(IsGroupSelected("de.comp.misc", &strayCommas, nullptr));
  EXPECT_TRUE(IsGroupSelected("de.comp.misc", &strayCommas, &emptyKeep));
  EXPECT_FALSE(IsGroupSelected("local.test", &strayCommas, &emptyKeep));
  const std::vector<std::string> broken{"("};
  EXPECT_THROW(IsGroupSelected("x", &broken, nullptr), EPerlRe);
}

TEST_F(Hamster, TouchesMatchingGroupsOncePerPattern) {
  WriteFile(dir / "Hamster.ini", "");
  mkdir((dir / "Groups").c_str(), 0755);
  WriteFile(dir / "Groups/groups.lst", "de.test\nde.comp.misc\nlocal.test\n");
  for (const char* g : {"de.test", "de.comp.misc", "local.test"})
    mkdir((dir / "Groups/" + g).c_str(), 0755);
  SetNewsServerFactory([this] { return std::make_unique<TFileNewsServer>(dir.Path()); });

  hamster.TouchGroups("^de\\.");
  for (const char* g : {"de.test", "de.comp.misc"}) {
    TIniFile ini(dir / "Groups/" + g + "/data.ini");
    std::string stamp = ini.ReadString("Info", "LastClientRead", "");
    EXPECT_EQ(stamp.size(), 14u) << g;
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << stamp;
  }
  EXPECT_FALSE(FileExists(dir / "Groups/local.test/data.ini"));

  unlink((dir / "Groups/de.test/data.ini").c_str());
  hamster.TouchGroups("^de\\.");
  EXPECT_FALSE(FileExists(dir / "Groups/de.test/data.ini"));
  // Case counts, in the pattern as in the match.
  hamster.TouchGroups("^DE\\.");
  EXPECT_FALSE(FileExists(dir / "Groups/de.test/data.ini"));
  hamster.TouchGroups("");
  EXPECT_EQ(hamster.TouchedPatterns, (Calls{"^de\\.", "^DE\\."}));
}

TEST_F(Hamster, TouchesBelowTheServerFolderWhenTheGroupsPathFails) {
  mkdir((dir / "Groups").c_str(), 0755);
  mkdir((dir / "Groups/local.test").c_str(), 0755);
  configure = [this](FakeServer& s) {
    s.path = dir.Path() + "/";
    s.groupsPathFails = true;
  };
  hamster.TouchGroups("test$");
  EXPECT_TRUE(FileExists(dir / "Groups/local.test/data.ini"));
}

TEST_F(Hamster, RetriesATouchThatFailed) {
  EXPECT_THROW(hamster.TouchGroups("("), EPerlRe);
  configure = [](FakeServer& s) { s.path = "/nonexistent-tidelarn-folder/"; };
  EXPECT_THROW(hamster.TouchGroups("^local"), Exception);
  EXPECT_TRUE(hamster.TouchedPatterns.empty());
}
