#include "NewsServer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "TestSupport.h"

namespace {

// A news-server folder with a few groups and articles.
class NewsServerFolder : public ::testing::Test {
protected:
  void SetUp() override {
    WriteFile(dir / "Hamster.ini", "[Setup]\r\n");
    mkdir((dir / "Groups").c_str(), 0755);
    WriteFile(dir / "Groups/groups.lst",
              "de.test\r\n\r\n# comment\r\n  de.comp.misc  \r\n../evil\r\n.hidden\r\na/b\r\n"
              "a\\b\r\nlocal.empty\n");
    mkdir((dir / "Groups/de.test").c_str(), 0755);
    WriteFile(dir / "Groups/de.test/3", "Subject: three\nMessage-ID: <3@x>\n\nbody\rline\r\n");
    WriteFile(dir / "Groups/de.test/12", "Subject: twelve\n");
    WriteFile(dir / "Groups/de.test/007", "not an article number");
    WriteFile(dir / "Groups/de.test/99999999999", "beyond the numbers");
    WriteFile(dir / "Groups/de.test/data.ini", "[Info]\r\n");
    mkdir((dir / "Groups/de.test/40").c_str(), 0755);
  }

  TempDir dir;
};

}  // namespace

TEST_F(NewsServerFolder, RunsOnlyWhileTheFolderHoldsHamsterIni) {
  TFileNewsServer server(dir.Path());
  EXPECT_EQ(server.ControlGetVersion(), "1.4.0.0");
  unlink((dir / "Hamster.ini").c_str());
  EXPECT_THROW(server.ControlGetVersion(), ENewsServerError);
  EXPECT_THROW(server.NewsGrpCount(), ENewsServerError);
  EXPECT_THROW(TFileNewsServer{dir.Path()}, ENewsServerError);
  // Spelt as Windows left it.
  WriteFile(dir / "HAMSTER.INI", "");
  EXPECT_NO_THROW(TFileNewsServer{dir.Path()});
}

TEST_F(NewsServerFolder, CreatesTheServerOfTheConfiguredFolder) {
  ASSERT_EQ(setenv("TIDELARN_NEWSSERVER", dir.Path().c_str(), 1), 0);
  EXPECT_EQ(NewsServerDir(), dir.Path() + "/");
  EXPECT_EQ(CreateNewsServer()->ControlGetPath(), dir.Path() + "/");
  unsetenv("TIDELARN_NEWSSERVER");

  int created = 0;
  SetNewsServerFactory([&] {
    ++created;
    return std::make_unique<TFileNewsServer>(dir.Path());
  });
  CreateNewsServer();
  EXPECT_EQ(created, 1);
  SetNewsServerFactory(nullptr);
}

TEST_F(NewsServerFolder, ListsTheValidGroupsInFileOrder) {
  TFileNewsServer server(dir.Path());
  ASSERT_EQ(server.NewsGrpCount(), 3);
  EXPECT_EQ(server.NewsGrpName(0), "de.test");
  EXPECT_EQ(server.NewsGrpName(1), "de.comp.misc");
  EXPECT_EQ(server.NewsGrpName(2), "local.empty");
  EXPECT_THROW(server.NewsGrpName(3), ENewsServerError);
  EXPECT_THROW(server.NewsGrpName(-1), ENewsServerError);

  // A changed list is read again.
  WriteFile(dir / "Groups/groups.lst", "only.one\n");
  EXPECT_EQ(server.NewsGrpCount(), 1);
  EXPECT_EQ(server.NewsGrpName(0), "only.one");
  unlink((dir / "Groups/groups.lst").c_str());
  EXPECT_EQ(server.NewsGrpCount(), 0);
}

TEST_F(NewsServerFolder, ReadsArticleNumbersAndTexts) {
  TFileNewsServer server(dir.Path());
  int32_t h = server.NewsGrpOpen("DE.Test");
  EXPECT_EQ(server.NewsArtNoMin(h), 3);
  EXPECT_EQ(server.NewsArtNoMax(h), 12);
  EXPECT_EQ(server.NewsArtText(h, 3), "Subject: three\r\nMessage-ID: <3@x>\r\n\r\nbody\r\nline\r\n");
  // Numbers without a file give no text; a folder is no article.
  EXPECT_EQ(server.NewsArtText(h, 4), "");
  EXPECT_EQ(server.NewsArtText(h, 7), "");
  EXPECT_EQ(server.NewsArtText(h, 40), "");
  EXPECT_EQ(server.NewsArtText(h, -1), "");

  int32_t other = server.NewsGrpOpen("local.empty");
  EXPECT_NE(other, h);
  EXPECT_EQ(server.NewsArtNoMin(other), 1);
  EXPECT_EQ(server.NewsArtNoMax(other), 0);

  server.NewsGrpClose(h);
  EXPECT_THROW(server.NewsArtNoMax(h), ENewsServerError);
  EXPECT_THROW(server.NewsGrpClose(h), ENewsServerError);
  EXPECT_THROW(server.NewsArtText(12345, 3), ENewsServerError);
}

TEST_F(NewsServerFolder, OpensOnlyListedGroups) {
  TFileNewsServer server(dir.Path());
  EXPECT_THROW(server.NewsGrpOpen("de.missing"), ENewsServerError);
  EXPECT_THROW(server.NewsGrpOpen("../evil"), ENewsServerError);
  EXPECT_THROW(server.NewsGrpOpen(""), ENewsServerError);
}

TEST_F(NewsServerFolder, DoesNotBlockOnAPipe) {
  ASSERT_EQ(mkfifo((dir / "Groups/de.test/5").c_str(), 0644), 0);
  TFileNewsServer server(dir.Path());
  int32_t h = server.NewsGrpOpen("de.test");
  EXPECT_EQ(server.NewsArtText(h, 5), "");
}

TEST_F(NewsServerFolder, AppendsLogLines) {
  TFileNewsServer server(dir.Path());
  server.ControlAddLog("CopyIf: de.test wird getestet", 3);
  server.ControlAddLog("two\r\nlines", 7);
  std::vector<std::string> lines = SplitLines(ReadFile(dir / "Logs/control.log"));
  ASSERT_EQ(lines.size(), 2u);
  const std::regex dated(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[(\d+)\] (.*))");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, dated)) << lines[0];
  EXPECT_EQ(m[1], "3");
  EXPECT_EQ(m[2], "CopyIf: de.test wird getestet");
  ASSERT_TRUE(std::regex_match(lines[1], m, dated)) << lines[1];
  EXPECT_EQ(m[2], "two  lines");
}

TEST_F(NewsServerFolder, QueuesCommandsOneALine) {
  TFileNewsServer server(dir.Path());
  server.hs2AsyncCommand("NewsPull");
  server.hs2AsyncCommand("MailSend(\"x\")");
  EXPECT_EQ(ReadFile(dir / "hs2.queue"), "NewsPull\nMailSend(\"x\")\n");
  EXPECT_THROW(server.hs2AsyncCommand("a\nQuit"), ENewsServerError);
  EXPECT_THROW(server.hs2AsyncCommand(std::string("a\0b", 3)), ENewsServerError);
  EXPECT_EQ(ReadFile(dir / "hs2.queue"), "NewsPull\nMailSend(\"x\")\n");
}

TEST(NewsServerFormats, ParsesGroupLists) {
  EXPECT_EQ(ParseGroupList(""), std::vector<std::string>{});
  EXPECT_EQ(ParseGroupList("a\rb\r\n#c\n\t\n.d\ne/f\ng\\h\n" + std::string("i\0j\n", 4) + "k"),
            (std::vector<std::string>{"a", "b", "k"}));
  EXPECT_FALSE(IsValidGroupName(".."));
  EXPECT_TRUE(IsValidGroupName("de.alt.all"));
}

