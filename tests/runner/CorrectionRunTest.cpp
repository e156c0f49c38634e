// The main road end to end: the built runner corrects message files with a
// profile and a header script, as the news server starts it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kPosting =
    "From: Max Muster <max@example.org>\r\n"
    "Newsgroups: de.test\r\n"
    "Subject: AW: Re: Frage (was: alt)\r\n"
    "References: <1@a.example> <2@a.example> <3@a.example> <4@a.example> <5@a.example>\r\n"
    "\r\n"
    "X-No-Archive: yes\r\n"
    "\r\n"
    "Max Muster schrieb:\r\n"
    "> > >Wie geht das?\r\n"
    ">>und das?\r\n"
    "So.\r\n"
    "\r\n"
    "\r\n"
    "-- \r\n"
    "Max\r\n";

const std::string kCorrectedBody =
    "Max Muster schrieb:\r\n"
    ">>> Wie geht das?\r\n"
    ">> und das?\r\n"
    "So.\r\n"
    "-- \r\n"
    "Max\r\n";

class CorrectionRun : public ::testing::Test {
protected:
  TempDir dir, home;
  std::string exe;

  void SetUp() override {
    exe = InstallOnlyVQ(dir.Path());
    fs::create_directories(dir / "out");
  }

  void Profile(const std::string& name, const std::string& keys) {
    const std::string ini = dir / "Tidelarn.ini";
    const std::string before = fs::exists(ini) ? ReadFile(ini) : std::string();
    WriteFile(ini, before + "[" + name + "]\r\nFilePath=" + dir.Path() + "/\r\nMessagePath=" +
                       dir.Path() + "/out/\r\nHeader.def=header.def\r\nSetLines=0\r\n" + keys);
  }
  std::vector<std::string> Env(const std::string& zone = "UTC0") const {
    return {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path(), "TZ=" + zone};
  }
  ProcessResult Run(const std::vector<std::string>& args, const std::string& zone = "UTC0") {
    return RunProcess(exe, args, Env(zone), dir.Path());
  }
  static std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Out(const std::string& name) const { return dir / ("out/" + name); }
};

}  // namespace

TEST_F(CorrectionRun, SingleFileWithBackupAndExitCode) {
  Profile("news", "MakeBak=1\r\nMaxReferencesLength=40\r\n");
  WriteFile(dir / "header.def", "Sub main\r\n  X-Corrected: yes\r\n  %Exitcode% = 3\r\nEnd Sub\r\n");
  const std::string msg = Out("posting.msg");
  WriteFile(msg, kPosting);
  ProcessResult r = Run({"Type:news", "Filename:" + msg});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(ReadFile(Out("posting.bak")), kPosting);
  const std::string out = ReadFile(msg);
  EXPECT_NE(out.find("\r\nSubject: Re: Frage\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\nReferences: <1@a.example> <3@a.example> <4@a.example> <5@a.example>\r\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\r\nX-Corrected: yes\r\n"), std::string::npos) << out;
  EXPECT_TRUE(out.ends_with("\r\n\r\n" + kCorrectedBody)) << out;

  // A second run finds nothing to correct: the file and its backup stay.
  r = Run({"Type:news", "Filename:" + msg});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(ReadFile(msg), out);
  EXPECT_EQ(ReadFile(Out("posting.bak")), kPosting);
}

TEST_F(CorrectionRun, DateHeaderInTheLocalZoneWithMinutes) {
  Profile("news", "SetDateHeader=2\r\n");
  WriteFile(dir / "header.def", "");
  const std::string msg = Out("x.msg");
  WriteFile(msg, "Subject: x\r\n\r\ntext\r\n");
  ProcessResult r = Run({"Type:news", "Filename:" + msg}, "IST-5:30");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string out = ReadFile(msg);
  EXPECT_TRUE(std::regex_search(out, std::regex("\r\nDate: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d "
                                                "[A-Z][a-z][a-z] \\d{4} \\d\\d:\\d\\d:\\d\\d \\+0530\r\n")))
      << out;
  Profile("gmt", "SetDateHeader=2\r\nDateHeaderType=GMT\r\n");
  r = Run({"Type:gmt", "Filename:" + msg}, "IST-5:30");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::regex_search(ReadFile(msg), std::regex("\r\nDate: [^\r]* \\d\\d:\\d\\d:\\d\\d GMT\r\n")));
}

// The runner names its own version wherever a script sees one.
TEST_F(CorrectionRun, TheRunnersVersionInScriptsAndTheInputTitle) {
  Profile("news", "");
  // A stand-in for the configuration program keeps a copy of the request.
  WriteFile(dir / "Tidelarn", "#!/bin/sh\ncp \"$2\" \"$(dirname \"$0\")/request\"\n");
  fs::permissions(dir / "Tidelarn", fs::perms::owner_all);
  WriteFile(dir / "header.def",
            "Sub main\r\n  %x% = Input(\"\", \"\", \"pre\")\r\n  %v% = Version\r\n"
            "  X-Got: %x% %v%\r\nEnd Sub\r\n");
  const std::string msg = Out("x.msg");
  WriteFile(msg, "Subject: x\r\n\r\ntext\r\n");
  ProcessResult r = Run({"Type:news", "Filename:" + msg});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir / "request"),
            "[InputBox]\r\nTitle=Tidelarn V4.2.1\r\nPrompt=Bitte eingeben:\r\nDefault=pre\r\n");
  EXPECT_NE(ReadFile(msg).find("\r\nX-Got: pre 4.2.1\r\n"), std::string::npos) << ReadFile(msg);
}

TEST_F(CorrectionRun, OutgoingMailEnvelope) {
  Profile("mails", "RecreateRCPT_To=1\r\nHamsterheaderFirst=1\r\n");
  WriteFile(dir / "header.def", "");
  const std::string msg = Out("mail.msg");
  WriteFile(msg,
            "Subject: Hallo\r\nTo: Eva <eva@b.example>, max@c.example\r\nBcc: geheim@d.example\r\n"
            "!MAIL FROM: <me@a.example>\r\n!RCPT TO: <eva@b.example>\r\n\r\nText\r\n");
  ProcessResult r = Run({"Type:mails", "Filename:" + msg});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(msg),
            "!MAIL FROM: <me@a.example>\r\n!RCPT TO: <eva@b.example>\r\n!RCPT TO: <max@c.example>\r\n"
            "!RCPT TO: <geheim@d.example>\r\nSubject: Hallo\r\nTo: Eva <eva@b.example>, max@c.example\r\n"
            "\r\nText\r\n");
}

TEST_F(CorrectionRun, ProfileSweepOverAFolder) {
  Profile("news", "MakeBak=1\r\n");
  // The exit code is the last article's: the files are corrected in name order.
  WriteFile(dir / "header.def",
            "Sub CheckAbort\r\n"
            "  if Header(\"Subject\") = \"skip\" then\r\n"
            "    %abort% = true\r\n"
            "  endif\r\n"
            "End Sub\r\n"
            "Sub main\r\n"
            "  %Exitcode% = 10\r\n"
            "  if Header(\"Subject\") = \"Re: last\" then\r\n"
            "    %Exitcode% = 11\r\n"
            "  endif\r\n"
            "End Sub\r\n");
  const std::string plain = "Subject: ok\r\n\r\n> fine\r\n";
  const std::string skipped = "Subject: skip\r\n\r\n>>not corrected\r\n";
  WriteFile(Out("a.msg"), kPosting);
  WriteFile(Out("b.msg"), plain);
  WriteFile(Out("c.MSG"), skipped);
  WriteFile(Out("d.txt"), kPosting);
  WriteFile(Out("e.msg"), "Subject: AW: last\r\n\r\n>>x\r\n");
  ProcessResult r = Run({"news"});
  EXPECT_EQ(r.exitCode, 11) << r.err;
  EXPECT_TRUE(ReadFile(Out("a.msg")).ends_with(kCorrectedBody));
  EXPECT_EQ(ReadFile(Out("a.bak")), kPosting);
  EXPECT_EQ(ReadFile(Out("b.msg")), plain);
  EXPECT_FALSE(fs::exists(Out("b.bak")));
  EXPECT_EQ(ReadFile(Out("c.MSG")), skipped);
  EXPECT_FALSE(fs::exists(Out("c.bak")));
  EXPECT_EQ(ReadFile(Out("d.txt")), kPosting);
  EXPECT_EQ(ReadFile(Out("e.msg")), "Subject: Re: last\r\n\r\n>> x\r\n");
  EXPECT_TRUE(fs::exists(Out("e.bak")));
}

// Scripts and the files they name are read in the encoding an editor saved
// them in, UTF-8 or windows-1252, whatever the internal charset: the message
// comes out the same. Each row: the internal charset, then the encoding ('u'
// UTF-8, 'w' windows-1252) of the script, its include, a file read with
// "from" and the profile's signature file.
TEST_F(CorrectionRun, ScriptsAndTheirFilesInUtf8OrWindows1252) {
  struct Row {
    const char* internal;
    const char* encodings;
  };
  const std::vector<Row> rows = {{"", "uuuu"},      {"", "wwww"},      {"", "uwuw"},
                                 {"utf-8", "uuuu"}, {"utf-8", "wwww"}, {"utf-8", "wuwu"}};
  // Every character here is one of windows-1252 below 256, the same code.
  auto saved = [](char encoding, const std::string& utf8) {
    if (encoding == 'u') return utf8;
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
      if (!(utf8[i] & 0x80)) {
        out += utf8[i];
      } else {
        out += char(((utf8[i] & 0x03) << 6) | (utf8[i + 1] & 0x3F));
        ++i;
      }
    }
    return out;
  };
  Profile("news", "SigFile=sig.txt\r\nHeaderCharsets=iso-8859-1\r\nBodyCharsets=iso-8859-1\r\n");
  const std::string msg = Out("x.msg");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.internal) + " " + row.encodings);
    WriteFile(dir / "Specials.ini", std::string("[Charsets]\r\nInternal=") + row.internal + "\r\n");
    WriteFile(dir / "header.def", saved(row.encodings[0],
                                        "Sub main\n  X-Gruss: Grüße\n  Append Lines \"Schöne Grüße\"\n"
                                        "  Do Include \"inc.def\"\n  Set Intro from \"intro.txt\"\n"
                                        "End Sub\n"));
    WriteFile(dir / "inc.def", saved(row.encodings[1], "  X-Inc: Maß\n"));
    WriteFile(dir / "intro.txt", saved(row.encodings[2], "Hallo Jürgen,\n"));
    WriteFile(dir / "sig.txt", saved(row.encodings[3], "Gruß aus Köln\n"));
    WriteFile(msg, "Subject: x\r\nMIME-Version: 1.0\r\n"
                   "Content-Type: text/plain; charset=iso-8859-1\r\n"
                   "Content-Transfer-Encoding: 8bit\r\n\r\nText\r\n");
    ProcessResult r = Run({"Type:news", "Filename:" + msg});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(msg),
              "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
              "Content-Transfer-Encoding: 8bit\r\nX-Gruss: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
              "X-Inc: =?iso-8859-1?Q?Ma=DF?=\r\n\r\nHallo J\xFCrgen,\r\nText\r\n\r\n"
              "Sch\xF6ne Gr\xFC\xDF" "e\r\n-- \r\nGru\xDF aus K\xF6ln\r\n")
        << r.err;
  }
}

// The bundled sample, as the demo runs it.
TEST_F(CorrectionRun, BundledSample) {
  const fs::path sample = fs::path(TIDELARN_SOURCE_DIR) / "data/sample";
  std::string ini = ReadFile((sample / "Tidelarn.ini").string());
  for (size_t p; (p = ini.find("@WORK@")) != std::string::npos;) ini.replace(p, 6, dir.Path());
  WriteFile(dir / "Tidelarn.ini", ini);
  fs::copy_file(sample / "header.def", dir / "header.def");
  fs::copy(sample / "messages", dir / "messages");
  ProcessResult r = RunProcess(exe, {"News"}, {"TIDELARN_HOME=" + dir.Path(), "XDG_CONFIG_HOME=" + home.Path()},
                               dir.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto text = [&](const std::string& name) { return ReadFile(dir / ("messages/" + name)); };
  auto original = [&](const std::string& name) { return ReadFile((sample / "messages" / name).string()); };
  EXPECT_NE(text("reply.msg").find("Subject: Re: Frage zum Testen\n"), std::string::npos);
  EXPECT_NE(text("reply.msg").find("\n>> Erste Ebene\n>> Zweite Ebene\nAntwort.\n\n-- \n"), std::string::npos);
  EXPECT_NE(text("thread.msg").find("Subject: Re: Neues Thema\nReferences: <start.1001@news.example.org> "
                                    "<antwort.1004@mail.example.net>\n <antwort.1005@news.example.org>"),
            std::string::npos)
      << text("thread.msg");
  EXPECT_EQ(text("reply.bak"), original("reply.msg"));
  for (const char* unchanged : {"plain", "marked"}) {
    EXPECT_EQ(text(std::string(unchanged) + ".msg"), original(std::string(unchanged) + ".msg"));
    EXPECT_FALSE(fs::exists(dir / ("messages/" + std::string(unchanged) + ".bak")));
  }
}

// A news-server call with no server running ends the run as a failure, past
// the script's error display: exit code 1, and the message stays as it was.
TEST_F(CorrectionRun, NewsServerCallsWithoutAServerFailTheRun) {
  Profile("news", "MakeBak=1\r\n");
  fs::create_directories(dir / "server");
  const std::string msg = Out("x.msg");
  for (const char* call : {"HamsterApp hs2command \"news.pull\"", "Do Touch \"^de\\.\""}) {
    WriteFile(dir / "header.def", std::string("Sub main\r\n  X-Before: 1\r\n  ") + call +
                                      "\r\n  X-After: 1\r\nEnd Sub\r\n");
    WriteFile(msg, kPosting);
    ProcessResult r = RunProcess(exe, {"Type:news", "Filename:" + msg},
                                 {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path(),
                                  "TIDELARN_NEWSSERVER=" + (dir / "server")},
                                 dir.Path());
    EXPECT_EQ(r.exitCode, 1) << call << "\n" << r.err;
    EXPECT_NE(r.err.find("Anwendungsfehler"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(msg), kPosting) << call;
    EXPECT_FALSE(fs::exists(Out("x.bak"))) << call;
  }
}

// Action codes are single bytes: a number beyond one must not become another
// code (258 would be 2, delete; 257 would be 1, overwrite).
TEST_F(CorrectionRun, ActionCodesBeyondAByteReadAsTheDefault) {
  struct Row {
    const char* keys;
    bool kept;         // the message file is still there
    const char* note;  // the attachment folder's note.txt afterwards
  };
  const std::vector<Row> rows = {
      {"EndAction=258", true, "old"},       {"EndAction=-254", true, "old"},
      {"EndAction=2", false, "old"},        {"ActionIfAttExists=257", true, "old"},
      {"ActionIfAttExists=258", true, "old"}, {"ActionIfAttExists=1", true, "new"},
  };
  WriteFile(dir / "header.def", "");
  const std::string msg = Out("x.msg");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keys);
    fs::remove(dir / "Tidelarn.ini");
    fs::remove_all(dir / "att");
    fs::create_directories(dir / "att");
    WriteFile(dir / "att/note.txt", "old");
    Profile("news", "SaveAttachments=1\r\nSaveAttachmentsDir=" + (dir / "att") + "\r\n" +
                        row.keys + "\r\n");
    WriteFile(msg,
              "Subject: x\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
              "--b\r\nContent-Type: text/plain\r\n\r\ntext\r\n"
              "--b\r\nContent-Type: application/octet-stream\r\n"
              "Content-Disposition: attachment; filename=note.txt\r\n\r\nnew\r\n"
              "--b--\r\n");
    ProcessResult r = Run({"Type:news", "Filename:" + msg});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(fs::exists(msg), row.kept);
    EXPECT_EQ(ReadFile(dir / "att/note.txt"), row.note);
    EXPECT_FALSE(fs::exists(dir / "att/note[1].txt"));
  }
}

// Set Option holds for its own message: when the profile cannot be read back
// at the script's end, the run ends there rather than correct the next
// message with those options.
TEST_F(CorrectionRun, AProfileThatCannotBeReadBackEndsTheSweep) {
  Profile("news", "");
  const std::string ini = dir / "Tidelarn.ini";
  // Quoted for the splitting of the parameters: the path may hold blanks.
  auto q = [](const std::string& path) { return "\"" + path + "\""; };
  WriteFile(dir / "header.def",
            "Sub main\r\n  if Header(\"Subject\") = \"a\" then\r\n"
            "    Set Option SetDateHeader = 2\r\n"
            "    Do Exec and wait \"/bin/mv\", '" + q(ini) + " " + q(ini + ".away") + "'\r\n"
            "    Do Exec and wait \"/bin/mkdir\", '" + q(ini) + "'\r\n"
            "  endif\r\nEnd Sub\r\n");
  const std::string second = "Subject: b\r\n\r\ntext\r\n";
  WriteFile(Out("a.msg"), "Subject: a\r\n\r\ntext\r\n");
  WriteFile(Out("b.msg"), second);
  ProcessResult r = Run({"news"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("Anwendungsfehler"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(Out("b.msg")), second);
}

// A message that is a header alone gets the empty line after its header
// when it is written, in the line ends it came with.
TEST_F(CorrectionRun, AHeaderAloneIsWrittenWithTheEmptyLineAfterIt) {
  struct Row {
    const char* name;
    std::string in, out;
  };
  const std::vector<Row> rows = {
      {"CR LF", "A: 1\r\nB: 2\r\n", "A: 1\r\nB: 2\r\nX-New: 1\r\n\r\n"},
      {"no final line end", "A: 1\r\nB: 2", "A: 1\r\nB: 2\r\nX-New: 1\r\n\r\n"},
      {"LF", "A: 1\nB: 2\n", "A: 1\nB: 2\nX-New: 1\n\n"},
      {"empty", "", "X-New: 1\r\n\r\n"},
  };
  Profile("news", "AutoFunctions=0\r\n");
  WriteFile(dir / "header.def", "Sub main\r\n  X-New: 1\r\nEnd Sub\r\n");
  const std::string msg = Out("x.msg");
  for (const Row& row : rows) {
    WriteFile(msg, row.in);
    ProcessResult r = Run({"Type:news", "Filename:" + msg});
    EXPECT_EQ(r.exitCode, 0) << row.name << "\n" << r.err;
    EXPECT_EQ(ReadFile(msg), row.out) << row.name;
  }
}

// A sub that calls itself ends at the call-depth bound through the script's
// error display (stderr here, with no configuration program to show it); the
// run ends and the message, which nothing changed, stays as it was.
TEST_F(CorrectionRun, ASubCallingItselfEndsAtTheDepthBound) {
  Profile("news", "MakeBak=1\r\n");
  WriteFile(dir / "header.def",
            "Sub main\r\n  gosub R\r\nEnd Sub\r\nSub R\r\n  gosub R\r\nEnd Sub\r\n");
  const std::string msg = Out("x.msg");
  const std::string text = "Subject: x\r\n\r\ntext\r\n";
  WriteFile(msg, text);
  ProcessResult r = Run({"Type:news", "Filename:" + msg});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("verschachtelter Sub-Aufrufe"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(msg), text);
  EXPECT_FALSE(fs::exists(Out("x.bak")));
}

// TIDELARN_HOME moves the settings, reports and hand-over files, never the
// siblings: the configuration program beside the runner still gets the dialog.
TEST_F(CorrectionRun, SettingsApartFromTheProgramsStillReachTheSibling) {
  TempDir settings;
  WriteFile(settings / "Tidelarn.ini", "[news]\r\nHeader.def=header.def\r\nSetLines=0\r\n");
  WriteFile(settings / "header.def", "Sub main\r\n  %x% = Input(\"\", \"\", \"pre\")\r\nEnd Sub\r\n");
  WriteFile(dir / "Tidelarn", "#!/bin/sh\necho \"$1 $2\" >\"$(dirname \"$0\")/asked\"\n");
  fs::permissions(dir / "Tidelarn", fs::perms::owner_all);
  const std::string msg = Out("x.msg");
  WriteFile(msg, "Subject: x\r\n\r\ntext\r\n");
  ProcessResult r = RunProcess(
      exe, {"Type:news", "Filename:" + msg},
      {"TIDELARN_HOME=" + settings.Path(), "XDG_CONFIG_HOME=" + home.Path()}, home.Path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadFile(dir / "asked").rfind("#InputBox# " + settings.Path() + "/VQ-", 0), 0u)
      << ReadFile(dir / "asked");
  EXPECT_FALSE(fs::exists(dir / "Tidelarn.ini"));
  EXPECT_NE(ReadFile(settings / "Tidelarn.ini").find("AutoFunctions=1"), std::string::npos);
}

// A settings folder whose listing fails (a failing disk, NFS) ends the run
// with an error naming it: a profile file that is there never reads as
// missing, so no question, no defaults written over it, no second file.
TEST_F(CorrectionRun, AFolderThatCannotBeListedEndsTheRunAndResetsNoProfile) {
  if (!StraceWorks()) GTEST_SKIP() << "no strace to make the listing fail";
  Profile("news", "MakeBak=1\r\n");
  WriteFile(dir / "header.def", "Sub main\r\n  X-Corrected: yes\r\nEnd Sub\r\n");
  const std::string msg = Out("x.msg"), text = "Subject: x\r\n\r\ntext\r\n";
  // Once as usual: the profile is complete, so reading it writes nothing.
  WriteFile(msg, text);
  ASSERT_EQ(Run({"Type:news", "Filename:" + msg}).exitCode, 0);
  fs::remove(Out("x.bak"));
  const std::string stored = ReadFile(dir / "Tidelarn.ini");
  std::string current = dir / "Tidelarn.ini";
  for (const char* spelling : {"Tidelarn.ini", "tidelarn.ini"}) {
    SCOPED_TRACE(spelling);
    const std::string profile = dir / spelling;
    fs::rename(current, profile);
    current = profile;
    fs::last_write_time(profile, fs::file_time_type::clock::now() - std::chrono::hours(1));
    WriteFile(msg, text);
    const std::vector<std::string> before = Names(dir.Path());
    ProcessResult r = RunTraced(
        {"-o", "/dev/null", "-e", "trace=getdents64", "-e", "inject=getdents64:error=EIO"}, exe,
        {"Type:news", "Filename:" + msg}, Env(), dir.Path());
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("Der Ordner " + dir.Path() + "/"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Unbekannter Abschnitt"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(profile), stored);
    EXPECT_EQ(Names(dir.Path()), before);
    EXPECT_EQ(ReadFile(msg), text);
  }
}

// A settings write that cannot take the writers' lock (another process holds
// it, or an older lock cannot be made private) is lost, and said so on stderr
// with the file and the lock, besides the report; the exit code stays the
// script's, as a news server takes it for the script's verdict.
TEST_F(CorrectionRun, ASettingsWriteLostToTheLockIsSaidOnStderr) {
  struct Case {
    const char* what;
    bool hold;           // the test holds the lock, else an older 0644 lock is planted
    const char* inject;  // a system call strace fails with EPERM
    bool report;         // a report file is left (it needs fchmod too)
  } cases[] = {
      {"held by another process", true, nullptr, true},
      {"an older lock whose mode cannot be set", false, "fchmod", false},
  };
  WriteFile(dir / "header.def", "Sub main\r\n  %Exitcode% = 3\r\nEnd Sub\r\n");
  const std::string msg = Out("x.msg"), lock = dir / ".tidelarn-ini.lock";
  const std::string ini = dir / "Tidelarn.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.inject && !StraceWorks()) continue;
    fs::remove(ini);
    fs::remove(lock);
    for (const std::string& name : Names(dir.Path()))
      if (name.starts_with("VQ-")) fs::remove(dir / name);
    // Few keys: the load writes the others back.
    Profile("news", "");
    const std::string stored = ReadFile(ini);
    WriteFile(msg, "Subject: x\r\n\r\ntext\r\n");
    int held = -1;
    if (c.hold) {
      held = open(lock.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
      ASSERT_GE(held, 0);
      ASSERT_EQ(flock(held, LOCK_EX), 0);
    } else {
      WriteFile(lock, "");
      fs::permissions(lock, fs::perms(0644));
    }
    const std::vector<std::string> args = {"Type:news", "Filename:" + msg};
    ProcessResult r = c.inject ? RunTraced({"-o", "/dev/null", "-e", std::string("trace=") + c.inject,
                                            "-e", std::string("inject=") + c.inject + ":error=EPERM"},
                                           exe, args, Env(), dir.Path())
                               : Run(args);
    if (held >= 0) close(held);
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.err.find(ini), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(lock), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(ini), stored);
    std::string reports;
    for (const std::string& name : Names(dir.Path()))
      if (name.starts_with("VQ-")) reports += ReadFile(dir / name);
    if (c.report) {
      EXPECT_NE(reports.find(ini), std::string::npos) << reports;
    }
  }
}

// TIDELARN_HOME that is another user's link (in a folder others may write) to
// a folder of ours: refused before anything, not even a report, is made there.
TEST_F(CorrectionRun, NothingIsMadeBehindAnotherUsersLinkAsTheSettingsFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "a link of another user needs root";
  if (!StraceWorks()) GTEST_SKIP() << "no strace to watch what is made";
  TempDir shared, priv;
  chmod(shared.Path().c_str(), 01777);
  const std::string link = shared / "settings";
  ASSERT_EQ(symlink(priv.Path().c_str(), link.c_str()), 0);
  ASSERT_EQ(lchown(link.c_str(), 65534, 65534), 0);
  const std::string msg = Out("x.msg"), text = "Subject: x\r\n\r\ntext\r\n";
  WriteFile(msg, text);
  const std::string trace = home / "trace";
  std::vector<std::string> env = Env();
  env.push_back("TIDELARN_HOME=" + link);
  ProcessResult r = RunTraced({"-o", trace, "-e", "trace=%file"}, exe,
                              {"Type:news", "Filename:" + msg}, env, home.Path());
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find(link), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(msg), text);
  EXPECT_TRUE(fs::is_empty(priv.Path()));
  // Not even made and removed again.
  const std::string calls = ReadFile(trace);
  EXPECT_EQ(calls.find("VQ-"), std::string::npos) << calls;
  for (const std::string& path : {link + "/", priv.Path() + "/"}) {
    for (size_t at = calls.find(path); at != std::string::npos; at = calls.find(path, at + 1)) {
      const size_t begin = calls.rfind('\n', at) + 1, end = calls.find('\n', at);
      const std::string call = calls.substr(begin, end - begin);
      EXPECT_TRUE(call.find("O_CREAT") == std::string::npos && call.find("mkdir") == std::string::npos &&
                  call.find("rename") == std::string::npos && call.find("unlink") == std::string::npos)
          << call;
    }
  }
}

// A status that cannot be read is no missing file or folder: the run ends
// naming it with the reason, and never goes on with another copy or folder.
TEST_F(CorrectionRun, AStatusThatCannotBeReadIsNeverTakenAsMissing) {
  if (!StraceWorks()) GTEST_SKIP() << "no strace to make the status fail";
  // Installed: the programs in bin with their data beside, the settings in
  // the user's folder with own copies of the shipped files.
  const std::string bin = dir / "inst/bin", data = dir / "inst/share/tidelarn";
  const std::string settings = home / "tidelarn", files = dir / "files";
  for (const std::string& d : {bin, data, settings, files}) fs::create_directories(d);
  fs::permissions(settings, fs::perms::owner_all);
  const std::string installed = InstallOnlyVQ(bin);
  for (const char* f : {"charsets.dat", "lHeader.txt"}) {
    fs::copy_file(bin + "/" + f, data + "/" + f);
    fs::copy_file(bin + "/" + f, settings + "/" + f);
    fs::remove(bin + "/" + f);
  }
  const std::string profile = "[news]\r\nFilePath=" + files + "/\r\nMessagePath=" + dir.Path() +
                              "/out/\r\nHeader.def=header.def\r\nSetLines=0\r\n";
  WriteFile(settings + "/Tidelarn.ini", profile);
  WriteFile(files + "/header.def", "Sub main\r\n  X-Corrected: yes\r\nEnd Sub\r\n");
  WriteFile(settings + "/Specials.ini", "[General]\r\nLanguage=English\r\n");
  WriteFile(settings + "/Tidelarn.dat", "[English]\r\n");
  std::vector<std::string> env = Env();
  env.push_back("TIDELARN_HOME=");
  const std::string msg = Out("x.msg"), text = "Subject: x\r\n\r\ntext\r\n";
  WriteFile(msg, text);
  // Untroubled, the run corrects the message with these files.
  ProcessResult plain = RunProcess(installed, {"news"}, env, dir.Path());
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  ASSERT_NE(ReadFile(msg), text);

  const std::string reason = std::string(" (") + std::strerror(EIO) + ")";
  struct Row {
    std::string path;  // whose status fails
    std::string said;  // on stderr, followed by the reason
    bool planted;      // a profile file the row puts there
  } rows[] = {
      {dir / "out/", "Der Ordner " + dir.Path() + "/out/ kann nicht gelesen werden", false},
      {files + "/", "Der Ordner " + files + "/ kann nicht gelesen werden", false},
      {settings, "Der Einstellungsordner " + settings + " kann nicht angelegt werden", false},
      {bin + "/TIDELARN.INI", "Die Datei " + bin + "/TIDELARN.INI kann nicht gelesen werden", true},
      {settings + "/Tidelarn.dat", "Die Datei " + settings + "/Tidelarn.dat kann nicht gelesen werden",
       false},
      {settings + "/charsets.dat", "Die Datei " + settings + "/charsets.dat kann nicht gelesen werden",
       false},
      {settings + "/lHeader.txt", "Die Datei " + settings + "/lHeader.txt kann nicht gelesen werden",
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    if (row.planted) WriteFile(row.path, profile);
    WriteFile(msg, text);
    ProcessResult r = RunTraced({"-o", "/dev/null", "-P", row.path, "-e", "trace=newfstatat,statx",
                                 "-e", "inject=newfstatat,statx:error=EIO"},
                                installed, {"news"}, env, dir.Path());
    if (row.planted) fs::remove(row.path);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(row.said + reason), std::string::npos) << r.err;
    // No other copy or folder stood in for it: the message was not corrected.
    EXPECT_EQ(ReadFile(msg), text);
  }
}

// A file a profile or a script names for reading is missing only when there
// is no such file. Any other failure of its lookup or its read ends the run
// with an error naming the file and the reason, and the message is not
// written; ReadIni and ReadIniStr give their default either way, but name a
// file they cannot read.
TEST_F(CorrectionRun, AFileThatCannotBeReadIsNoMissingFile) {
  if (!StraceWorks()) GTEST_SKIP() << "no strace to make the file fail";
  struct Row {
    const char* what;
    const char* keys;    // more profile keys
    const char* script;  // more lines of Sub main
    const char* file;    // in the test folder
    bool lookup;         // its lookup fails, else its read
    bool fatal;          // a failure other than "no such file" ends the run
    int missingExit;     // with no such file
    const char* missingSaid;  // then on stderr; null: the file is not named
    const char* saved;        // in the message whenever it is written
  } rows[] = {
      {"the signature file", "SigFile=sig.txt\r\n", "", "sig.txt", true, true, 3,
       "Sigfile \"sig.txt\" existiert nicht!", ""},
      {"the signature file's read", "SigFile=sig.txt\r\n", "", "sig.txt", false, true, 3, nullptr, ""},
      {"Set Intro from", "", "  Set Intro from \"intro.txt\"\r\n", "intro.txt", true, true, 3,
       "intro.txt\" konnte nicht gefunden werden!", ""},
      {"Append Lines from", "", "  Append Lines from \"lines.txt\"\r\n", "lines.txt", true, true, 3,
       "lines.txt\" konnte nicht gefunden werden!", ""},
      {"a box-quote file", "ConvertBoxQuotes=1\r\n", "", "box.txt", true, true, 1,
       "box.txt\" existiert nicht!", ""},
      {"ReadIni", "", "  X-Ini: %ReadIni(\"x.ini\", \"s\", \"k\", \"default\")%\r\n", "x.ini", true,
       false, 3, nullptr, "\r\nX-Ini: default\r\n"},
      {"ReadIniStr", "", "  X-Ini: %ReadIniStr(\"x.ini\", \"s\", \"k\", \"default\")%\r\n", "x.ini",
       true, false, 3, nullptr, "\r\nX-Ini: default\r\n"},
  };
  WriteFile(dir / "BoxQuotes.ini", "[BQ#1]\r\nBQFrom=F\r\n");
  // Nothing of them may reach a message written without them.
  for (const char* name : {"sig.txt", "intro.txt", "lines.txt", "box.txt"})
    WriteFile(dir / name, std::string("CONTENT-OF-") + name + "\n");
  WriteFile(dir / "x.ini", "[s]\r\nk=CONTENT-OF-x.ini\r\n");
  const std::string msg = Out("x.msg");
  const std::string text = "Subject: x\r\n\r\ntext\r\nboxquote1:" + (dir / "box.txt") + "\r\n";
  for (const Row& row : rows) {
    for (const int err : {EIO, ENOENT}) {
      // Only a lookup can tell that there is no such file.
      if (err == ENOENT && !row.lookup) continue;
      SCOPED_TRACE(std::string(row.what) + ", " + strerrorname_np(err));
      fs::remove(dir / "Tidelarn.ini");
      Profile("news", row.keys);
      WriteFile(dir / "header.def", std::string("Sub main\r\n  X-Corrected: yes\r\n") +
                                        "  %Exitcode% = 3\r\n" + row.script + "End Sub\r\n");
      WriteFile(msg, text);
      const std::string file = dir / row.file;
      const std::string calls = row.lookup ? "newfstatat,statx" : "read";
      ProcessResult r = RunTraced({"-o", "/dev/null", "-P", file, "-e", "trace=" + calls, "-e",
                                   "inject=" + calls + ":error=" + strerrorname_np(err)},
                                  exe, {"Type:news", "Filename:" + msg}, Env(), dir.Path());
      const bool failed = err != ENOENT;
      const int exitCode = failed ? (row.fatal ? 1 : 3) : row.missingExit;
      EXPECT_EQ(r.exitCode, exitCode) << r.err;
      const std::string after = ReadFile(msg);
      if (exitCode == 1) {
        EXPECT_EQ(after, text);
      } else {
        EXPECT_NE(after.find("\r\nX-Corrected: yes\r\n"), std::string::npos) << after;
        EXPECT_NE(after.find(row.saved), std::string::npos) << after;
        EXPECT_EQ(after.find("CONTENT-OF-"), std::string::npos) << after;
      }
      if (failed) {
        EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(std::string("(") + std::strerror(err) + ")"), std::string::npos)
            << r.err;
      } else if (row.missingSaid) {
        EXPECT_NE(r.err.find(row.missingSaid), std::string::npos) << r.err;
      } else {
        EXPECT_EQ(r.err.find(file), std::string::npos) << r.err;
      }
      if (failed && row.missingSaid) {
        EXPECT_EQ(r.err.find(row.missingSaid), std::string::npos) << r.err;
      }
    }
  }
}
