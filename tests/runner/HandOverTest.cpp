#include "uHandOver.h"

#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// A program folder with a fake configuration program: a shell script that
// records its arguments and the request, then runs Body on the file ("$2").
class HandOverTest : public ::testing::Test {
protected:
  void SetUp() override { SetProgramDir(dir.Path() + "/"); }

  void FakeTidelarn(const std::string& body) {
    std::string script = "#!/bin/sh\n"
                         "printf '%s\\n' \"$#\" \"$@\" > args.txt\n"
                         "cp \"$2\" request.copy\n" +
                         body + "\n";
    WriteFile(dir / "Tidelarn", script);
    chmod((dir / "Tidelarn").c_str(), 0755);
  }

  Lines Args() { return SplitLines(ReadFile(dir / "args.txt")); }

  // Hand-over files still lying in the program folder.
  int LeftOver() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
      if (e.path().filename().string().rfind("VQ-", 0) == 0) ++n;
    return n;
  }

  TErrorDisplay Sample() {
    TErrorDisplay d;
    d.fileName = "/home/u/Header.def";
    d.scriptName = "1234.msg";
    d.lineNo = 3;
    d.lineText = "  Set Foo";
    d.errorMsg = "Bad\r\nthing\nhere";
    d.caretPos = 13;
    d.continueLine = 12;
    d.scriptLines = {"Sub main", "  Set Foo", "End Sub"};
    d.infoLines = {"Zeile 3/3: Set Foo"};
    d.fileLines = {};
    d.textLines = {"Subject: x", "", "body"};
    return d;
  }

  TempDir dir;
};

TEST(HandOverValue, LineBreaksBecomeNulPairsAndComeBackAsCrLf) {
  using namespace std::string_literals;
  EXPECT_EQ(EncodeHandoverValue("a\r\nb\rc\nd"), "a\0\0b\0\0c\0\0d"s);
  // CR CR LF: the pair first, then the lone CR.
  EXPECT_EQ(EncodeHandoverValue("a\r\r\nb"), "a\0\0\0\0b"s);
  EXPECT_EQ(EncodeHandoverValue("\n\r"), "\0\0\0\0"s);
  EXPECT_EQ(EncodeHandoverValue("x\0y"s), "x y");
  EXPECT_EQ(DecodeHandoverValue("a\0\0b\0\0\0c"s), "a\r\nb\r\n\0c"s);
  EXPECT_EQ(DecodeHandoverValue(EncodeHandoverValue("1\n2\r3")), "1\r\n2\r\n3");
}

TEST(HandOverFile, RequestIsWrittenInFieldOrder) {
  using namespace std::string_literals;
  TErrorDisplay d;
  d.fileName = "F";
  d.lineNo = -1;
  d.errorMsg = "E\nF";
  d.caretPos = 7;
  d.continueLine = 12;
  d.scriptLines = {"a", "b\r\nc"};
  EXPECT_EQ(FormatShowErrorRequest(d),
            "F\r\n\r\n-1\r\n\r\nE\0\0F\r\n7\r\n12\r\n2\r\na\r\nb\0\0c\r\n0\r\n0\r\n0\r\n"s);
}

TEST(HandOverFile, ReaderTakesAnyLineEndAndRejectsShortFiles) {
  THandOverReader r("x\ny\rz\r\n 42 rest\n-3\n2\na\n");
  EXPECT_EQ(r.ReadHandoverLine(), "x");
  EXPECT_EQ(r.ReadHandoverLine(), "y");
  EXPECT_EQ(r.ReadHandoverLine(), "z");
  EXPECT_EQ(r.ReadInteger(), 42);
  EXPECT_EQ(r.ReadList(), Lines{});  // a negative count is an empty list
  EXPECT_THROW(r.ReadList(), EInOutError);
  EXPECT_THROW(THandOverReader("abc\n").ReadInteger(), EInOutError);
  EXPECT_THROW(THandOverReader("99999999999\n").ReadInteger(), EInOutError);
  EXPECT_THROW(THandOverReader("").ReadHandoverLine(), EInOutError);
}

TEST_F(HandOverTest, ErrorDisplayRoundTripsThroughTheConfigurationProgram) {
  FakeTidelarn("printf '12\\r\\n1\\r\\n' > \"$2\"");
  TErrorDisplay sent = Sample();
  TErrorDisplay d = Sample();
  d.continueLine = 99;
  sent.continueLine = 99;
  EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::Retry);
  EXPECT_EQ(d.continueLine, 12);

  Lines args = Args();
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[0], "2");
  EXPECT_EQ(args[1], "#ShowError#");
  EXPECT_EQ(ExtractFilePath(args[2]), ProgramDir());
  EXPECT_EQ(ExtractFileName(args[2]).substr(0, 3), "VQ-");

  TErrorDisplay got;
  THandOverReader r(ReadFile(dir / "request.copy"));
  ReadShowErrorHead(r, got);
  ReadShowErrorLists(r, got);
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(got.fileName, sent.fileName);
  EXPECT_EQ(got.scriptName, sent.scriptName);
  EXPECT_EQ(got.lineNo, 3);
  EXPECT_EQ(got.lineText, sent.lineText);
  EXPECT_EQ(got.errorMsg, "Bad\r\nthing\r\nhere");  // a lone LF arrives as CR LF
  EXPECT_EQ(got.caretPos, 13);
  EXPECT_EQ(got.continueLine, 99);
  EXPECT_EQ(got.scriptLines, sent.scriptLines);
  EXPECT_EQ(got.infoLines, sent.infoLines);
  EXPECT_EQ(got.fileLines, Lines{});
  EXPECT_EQ(got.textLines, sent.textLines);
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverTest, NoAnswerOrAStrangeOneEndsTheScript) {
  TErrorDisplay d = Sample();
  // Tidelarn ends without touching the file.
  FakeTidelarn("exit 1");
  testing::internal::CaptureStderr();
  EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::End);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Header.def:3: Bad"), std::string::npos);
  EXPECT_EQ(d.continueLine, 12);
  EXPECT_EQ(LeftOver(), 0);

  // A request whose first lines look like numbers is still no answer.
  d.fileName = "7";
  d.scriptName = "3";
  testing::internal::CaptureStderr();
  EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::End);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(d.continueLine, 12);

  // A choice outside 1..4 counts as the end.
  for (const char* state : {"0", "5", "-2"}) {
    FakeTidelarn(std::string("printf '12\\r\\n") + state + "\\r\\n' > \"$2\"");
    EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::End) << state;
  }
  FakeTidelarn("printf '12\\r\\n2\\r\\n' > \"$2\"");
  EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::NextLine);
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverTest, WithoutTheConfigurationProgramTheErrorGoesToStderr) {
  TErrorDisplay d = Sample();
  testing::internal::CaptureStderr();
  EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::End);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("/home/u/Header.def:3: Bad"), std::string::npos);
  EXPECT_EQ(LeftOver(), 0);

  // Present but not executable: the start fails the same way.
  WriteFile(dir / "Tidelarn", "#!/bin/sh\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(HandOverErrorDisplay(d), ErrorChoice::End);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverTest, AVanishedFileIsAnError) {
  FakeTidelarn("rm \"$2\"");
  TErrorDisplay d = Sample();
  EXPECT_THROW(HandOverErrorDisplay(d), EInOutError);
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverTest, InputBoxReturnsTheEditedDefault) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(HandOverInputBox({"T", "P", "preset"}), "preset");  // no Tidelarn
  EXPECT_NE(testing::internal::GetCapturedStderr().find("T: P"), std::string::npos);

  FakeTidelarn("sed -i 's/^Default=.*/Default=Antwort/' \"$2\"");
  EXPECT_EQ(HandOverInputBox({"Titel", "Frage?", "vorher"}), "Antwort");
  Lines args = Args();
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[1], "#InputBox#");
  EXPECT_EQ(ReadFile(dir / "request.copy"),
            "[InputBox]\r\nTitle=Titel\r\nPrompt=Frage?\r\nDefault=vorher\r\n");
  EXPECT_EQ(LeftOver(), 0);
}

TEST_F(HandOverTest, InputBoxDefaultsAndValuesThatIniFilesWouldSpoil) {
  FakeTidelarn("true");
  EXPECT_EQ(HandOverInputBox({"", "", " two\nlines "}), " two\r\nlines ");
  TInputBoxRequest got = ReadInputBoxRequest(dir / "request.copy");
  EXPECT_EQ(got.title, "Tidelarn V4.2.1");
  EXPECT_EQ(got.prompt, "Bitte eingeben:");
  EXPECT_EQ(got.preset, " two\r\nlines ");
  EXPECT_EQ(HandOverInputBox({"t", "p", "\"quoted\""}), "\"quoted\"");
  FakeTidelarn("rm \"$2\"");
  EXPECT_EQ(HandOverInputBox({"T", "P", "preset"}), "");  // the file vanished
  EXPECT_EQ(LeftOver(), 0);

  // Tidelarn that ends without answering (its display went, a signal): the
  // box is said on stderr, whatever the file holds, and the preset taken.
  for (const char* end : {"exit 3", "exit 1", "kill -9 $$",
                          "sed -i 's/^Default=.*/Default=x/' \"$2\"; exit 1"}) {
    FakeTidelarn(end);
    testing::internal::CaptureStderr();
    EXPECT_EQ(HandOverInputBox({"T", "P", "preset"}), "preset") << end;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "T: P\n") << end;
  }
  EXPECT_EQ(LeftOver(), 0);

  // Tidelarn's side writes its answer with the same rules.
  std::string file = dir / "answer.ini";
  WriteInputBoxRequest(file, {"t", "p", "x"});
  WriteInputBoxAnswer(file, "line1\r\nline2");
  EXPECT_EQ(ReadInputBoxRequest(file).preset, "line1\r\nline2");
  EXPECT_EQ(ReadInputBoxRequest(file).title, "t");
}

}  // namespace
