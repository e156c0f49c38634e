// The built runner with its settings in a folder other users may write: what
// they plant there (profiles, scripts, links, a fifo for the lock) must not
// steer it, and the usual private folder works as before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr uid_t kOther = 65534;
const std::string kMessage = "Subject: x\r\n\r\ntext\r\n";

// Files the other user plants; links are planted as theirs too.
void Plant(const std::string& path, const std::string& text) {
  WriteFile(path, text);
  chown(path.c_str(), kOther, kOther);
}
void PlantLink(const std::string& path, const std::string& target) {
  symlink(target.c_str(), path.c_str());
  lchown(path.c_str(), kOther, kOther);
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// The reports a run left in the settings folder, one after the other.
std::string Reports(const std::string& folder) {
  std::string all;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().starts_with("VQ-")) all += ReadFile(e.path().string());
  return all;
}

}  // namespace

TEST(SharedFolders, WhatOthersPlantDoesNotSteerTheRunner) {
  struct Case {
    const char* what;
    mode_t folderMode;  // of the settings folder
    bool needsRoot;     // to plant files of another user
    // Plants into the settings folder; Private is a file of ours elsewhere.
    std::function<void(const std::string& settings, const std::string& priv)> plant;
    int exitCode;
    bool corrected;
    const char* named;  // in stderr or a report; "": the folder
  } cases[] = {
      {"a private folder like the default one", 0700, false, nullptr, 0, true, nullptr},
      {"a group folder", 02770, false, nullptr, 0, true, nullptr},
      {"a folder every user may write", 0777, false, nullptr, 1, false, ""},
      {"a sticky folder every user may write", 01777, false, nullptr, 1, false, ""},
      {"a fifo in place of the lock", 0700, false,
       [](const std::string& s, const std::string&) { mkfifo((s + "/.tidelarn-ini.lock").c_str(), 0600); },
       0, true, ".tidelarn-ini.lock"},
      {"their profile file", 0770, true,
       [](const std::string& s, const std::string&) { chown((s + "/Tidelarn.ini").c_str(), kOther, kOther); },
       1, false, "Tidelarn.ini"},
      {"their header script", 0770, true,
       [](const std::string& s, const std::string&) { chown((s + "/header.def").c_str(), kOther, kOther); },
       1, false, "header.def"},
      {"their include", 0770, true,
       [](const std::string& s, const std::string&) {
         WriteFile(s + "/header.def", "Do Include \"inc.def\"\r\n");
         Plant(s + "/inc.def", "Sub main\r\n  X-Theirs: yes\r\nEnd Sub\r\n");
       },
       1, false, "inc.def"},
      {"their translations", 0770, true,
       [](const std::string& s, const std::string&) { Plant(s + "/Tidelarn.dat", "[English]\r\n"); },
       1, false, "Tidelarn.dat"},
      {"our own dangling link as the header script: made at its target", 02770, false,
       [](const std::string& s, const std::string& priv) {
         fs::remove(s + "/header.def");
         fs::create_symlink(priv + ".def", s + "/header.def");
       },
       0, false, nullptr},
      {"their dangling link as the header script", 0770, true,
       [](const std::string& s, const std::string& priv) {
         fs::remove(s + "/header.def");
         PlantLink(s + "/header.def", priv + ".def");
       },
       1, false, "header.def"},
      {"their link as the profile file", 0770, true,
       [](const std::string& s, const std::string& priv) {
         fs::rename(s + "/Tidelarn.ini", priv);
         PlantLink(s + "/Tidelarn.ini", priv);
       },
       1, false, "Tidelarn.ini"},
      {"their link as the trace", 0770, true,
       [](const std::string& s, const std::string& priv) {
         WriteFile(s + "/Tidelarn.ini", ReadFile(s + "/Tidelarn.ini") + "doDebugOutput=1\r\n");
         PlantLink(s + "/VQDebug.txt", priv);
       },
       0, true, "VQDebug.txt"},
      {"their link as an INI file a script writes", 0770, true,
       [](const std::string& s, const std::string& priv) {
         WriteFile(s + "/header.def", "Sub main\r\n  Do Write IniStr \"stat.ini\", \"s\", \"k\", \"v\"\r\n"
                                      "  X-Corrected: yes\r\nEnd Sub\r\n");
         PlantLink(s + "/stat.ini", priv);
       },
       0, false, "stat.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needsRoot && geteuid() != 0) continue;
    TempDir programs, settings, home;
    const std::string exe = InstallOnlyVQ(programs.Path());
    const std::string profile = "[news]\r\nFilePath=" + settings.Path() +
                                "/\r\nHeader.def=header.def\r\nSetLines=0\r\n";
    WriteFile(settings / "Tidelarn.ini", profile);
    WriteFile(settings / "header.def", "Sub main\r\n  X-Corrected: yes\r\nEnd Sub\r\n");
    const std::string priv = home / "private", msg = home / "x.msg";
    WriteFile(priv, "private");
    WriteFile(msg, kMessage);
    chmod(settings.Path().c_str(), c.folderMode);
    if (c.plant) c.plant(settings.Path(), priv);
    const std::string keptPrivate = ReadFile(priv), keptProfile = ReadFile(settings / "Tidelarn.ini");
    // A writer that hung on the lock would never end.
    ProcessResult r = RunProcess("/usr/bin/timeout", {"60", exe, "Type:news", "Filename:" + msg},
                                 {"TIDELARN_HOME=" + settings.Path(), "HOME=" + home.Path(),
                                  "XDG_CONFIG_HOME=" + home.Path()},
                                 home.Path());
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_EQ(ReadFile(priv), keptPrivate);
    const std::string out = ReadFile(msg);
    EXPECT_EQ(out.find("X-Theirs"), std::string::npos) << out;
    if (c.corrected) {
      EXPECT_NE(out.find("X-Corrected: yes\r\n"), std::string::npos) << out;
    } else {
      EXPECT_EQ(out, kMessage);
    }
    if (c.named) {
      const std::string said = r.err + Reports(settings.Path());
      EXPECT_NE(said.find(*c.named ? settings / c.named : settings.Path() + "/"), std::string::npos)
          << said;
      if (c.folderMode & S_IWOTH) {
        EXPECT_EQ(ReadFile(settings / "Tidelarn.ini"), keptProfile);
      }
      continue;
    }
    // The profile's defaults were written under the lock, which only those
    // who may write the settings can open.
    EXPECT_NE(ReadFile(settings / "Tidelarn.ini").find("AutoFunctions=1"), std::string::npos);
    EXPECT_EQ(ModeOf(settings / ".tidelarn-ini.lock"), c.folderMode & S_ISGID ? 0660u : 0600u);
  }
}


// Another user's link to a folder of ours, put where our attachments or
// messages go, must not take our writes there.
TEST(SharedFolders, AnotherUsersLinkToAFolderIsNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "plants files of another user";
  const std::string attachment =
      "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\ntext  \r\n"
      "--b\r\nContent-Type: text/html\r\n\r\n<p>hi</p>\r\n"
      "--b\r\nContent-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment; filename=authorized_keys\r\n\r\ntheirs\r\n--b--\r\n";
  struct Row {
    const char* link;  // in the shared folder, to our private one
    const char* keys;
    bool sweep;  // the profile's folder, else one file
  } rows[] = {
      {"att", "SaveAttachments=1\r\nSaveAttachmentsDir=%s\r\n", false},
      {"msgs", "MessagePath=%s\r\n", true},
      {"html", "HTML2Text=1\r\nSaveHTMLAs=%s/new/Orig_*.html\r\n", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.link);
    TempDir programs, settings, home, shared;
    chmod(shared.Path().c_str(), 01777);
    const std::string exe = InstallOnlyVQ(programs.Path());
    const std::string priv = home / "private", link = shared / row.link;
    fs::create_directories(priv);
    PlantLink(link, priv);
    std::string keys = row.keys;
    keys.replace(keys.find("%s"), 2, link);
    WriteFile(settings / "Tidelarn.ini", "[news]\r\nFilePath=" + settings.Path() + "/\r\n" + keys);
    WriteFile(settings / "header.def", "");
    const std::string msg = row.sweep ? priv + "/p.msg" : home / "x.msg";
    WriteFile(msg, attachment);
    std::vector<std::string> args = {"60", exe, "news"};
    if (!row.sweep) args = {"60", exe, "Type:news", "Filename:" + msg};
    ProcessResult r = RunProcess("/usr/bin/timeout", args,
                                 {"TIDELARN_HOME=" + settings.Path(), "HOME=" + home.Path()},
                                 home.Path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE((r.err + Reports(settings.Path())).find(link), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(msg), attachment);
    // Nothing made behind their link, not even a folder.
    std::vector<std::string> made;
    for (const auto& e : fs::directory_iterator(priv)) made.push_back(e.path().filename());
    EXPECT_EQ(made, row.sweep ? std::vector<std::string>{"p.msg"} : std::vector<std::string>{});
  }
}

// Files read for their text where others may write: their files and their
// links (to a file of ours they could not read themselves) are refused before
// anything of them reaches a message, an attachment folder or the answer.
TEST(SharedFolders, WhatOthersPlantIsNotRead) {
  if (geteuid() != 0) GTEST_SKIP() << "plants files of another user";
  const std::string secret = "SECRET-KEY";
  const std::string mail =
      "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\n" + secret + "\r\n"
      "--b\r\nContent-Type: application/octet-stream\r\n"
      "Content-Disposition: attachment; filename=key.txt\r\n\r\n" + secret + "\r\n--b--\r\n";
  struct Row {
    const char* what;
    const char* keys;    // more profile keys; %s is the settings folder
    const char* script;  // the header script; %s is the settings folder
    const char* planted; // their file or link in the settings folder
    bool link;           // their link to our private file, else their file
    const char* message; // in the settings folder, else one of ours elsewhere
    const char* said;    // besides the planted name, on stderr
  } rows[] = {
      {"their link as the signature file", "SigFile=%s/sig.txt\r\n", "", "sig.txt", true, nullptr, ""},
      {"their signature file", "SigFile=%s/sig.txt\r\n", "", "sig.txt", false, nullptr, ""},
      {"their file for Set ... from", "",
       "Sub main\r\n  Set Intro from \"%s/intro.txt\"\r\nEnd Sub\r\n", "intro.txt", false, nullptr, ""},
      {"their link for Append ... from", "",
       "Sub main\r\n  Append Lines from \"%s/lines.txt\"\r\nEnd Sub\r\n", "lines.txt", true, nullptr, ""},
      {"their link as a box-quote file", "ConvertBoxQuotes=1\r\n", "", "box.txt", true, nullptr, ""},
      {"their link as the footnote settings", "ConvertFootnotes=1\r\n", "", "Footnote.ini", true,
       nullptr, ""},
      {"their link as the message", "", "", "a.msg", true, "a.msg", ""},
      {"their message", "", "", "a.msg", false, "a.msg", ""},
      {"their fifo as the header script", "", nullptr, "header.def", false, nullptr,
       "anderen Benutzer"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir programs, settings, home;
    chmod(settings.Path().c_str(), 0770);
    const std::string exe = InstallOnlyVQ(programs.Path());
    auto fill = [&](std::string text) {
      for (size_t at; (at = text.find("%s")) != std::string::npos;) text.replace(at, 2, settings.Path());
      return text;
    };
    const std::string att = home / "att";
    fs::create_directories(att);
    WriteFile(settings / "Tidelarn.ini",
              fill("[news]\r\nFilePath=%s/\r\nHeader.def=header.def\r\nSetLines=0\r\n"
                   "SaveAttachments=1\r\nSaveAttachmentsDir=" + att + "\r\n" + row.keys));
    WriteFile(settings / "BoxQuotes.ini", "[BQ#1]\r\nBQFrom=F\r\n");
    if (row.script) WriteFile(settings / "header.def", fill(row.script));
    const std::string priv = home / "private", planted = settings / row.planted;
    WriteFile(priv, mail);
    if (row.link) {
      PlantLink(planted, priv);
    } else if (std::string(row.planted) == "header.def") {
      mkfifo(planted.c_str(), 0600);
      chown(planted.c_str(), kOther, kOther);
    } else {
      Plant(planted, std::string(row.planted) == "a.msg" ? mail : secret + "\r\n");
    }
    // Ours, unless it is theirs; its body names the box-quote file.
    const std::string msg = row.message ? settings / row.message : home / "x.msg";
    const std::string ours = "Subject: x\r\n\r\ntext\r\nboxquote1:" + (settings / "box.txt") + "\r\n";
    if (!row.message) WriteFile(msg, ours);
    ProcessResult r = RunProcess("/usr/bin/timeout", {"60", exe, "Type:news", "Filename:" + msg},
                                 {"TIDELARN_HOME=" + settings.Path(), "HOME=" + home.Path(),
                                  "XDG_CONFIG_HOME=" + home.Path()},
                                 home.Path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::string said = r.err + Reports(settings.Path());
    EXPECT_NE(said.find(planted), std::string::npos) << said;
    EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(priv), mail);
    EXPECT_TRUE(fs::is_empty(att)) << "an attachment was saved";
    if (row.message) {
      EXPECT_EQ(ModeOf(planted) & 0777, row.link ? 0777u : 0644u);
    } else {
      EXPECT_EQ(ReadFile(msg), ours);
    }
  }
}
