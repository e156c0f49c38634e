// The headless prompter: the default button of each box, and the line on
// stderr that says which answer was taken when there was a choice.
#include "Prompter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uTransla.h"

namespace {

// What a box writes to stderr while it is shown.
std::string StderrOf(int& answer, unsigned flags) {
  TempDir dir;
  std::fflush(stderr);
  int saved = dup(2);
  FILE* out = std::fopen((dir / "err").c_str(), "w");
  dup2(fileno(out), 2);
  THeadlessPrompter prompter;
  answer = prompter.MessageBox("Weiter?", "Frage", flags);
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::fclose(out);
  return ReadFile(dir / "err");
}

TEST(HeadlessPrompter, AnswersWithTheDefaultButtonAndSaysWhichOneWhenThereWasAChoice) {
  TempDir home;
  SetProgramDir(home.Path() + "/");
  DoneTranslation();
  struct Case {
    unsigned flags;
    int answer;
    const char* said;  // empty: a box without a choice says nothing more
  };
  const Case cases[] = {
      {mb::Ok | mb::IconInformation, id::Ok, ""},
      {mb::YesNoCancel | mb::IconQuestion, id::Yes, "Ja"},
      {mb::YesNo | mb::DefButton2, id::No, "Nein"},
      {mb::OkCancel | mb::IconStop | mb::DefButton2, id::Cancel, "Abbrechen"},
      {mb::AbortRetryIgnore | mb::DefButton3, id::Ignore, "Ignorieren"},
      {mb::RetryCancel, id::Retry, "Wiederholen"},
  };
  for (const Case& c : cases) {
    int answer = 0;
    std::string err = StderrOf(answer, c.flags);
    std::string expected = "Frage: Weiter?\n";
    if (*c.said)
      expected += ToUtf8(FromUtf8("Ohne Anzeige beantwortet mit \"")) + c.said + "\".\n";
    EXPECT_EQ(answer, c.answer) << c.flags;
    EXPECT_EQ(err, expected) << c.flags;
  }
  DoneTranslation();
}

}  // namespace
