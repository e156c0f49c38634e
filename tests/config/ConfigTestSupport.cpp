#include "ConfigTestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QSettings>

#include <cstdlib>

#include "CfgEdits.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "TestSupport.h"
#include "uTransla.h"

void EnsureTestApplication() {
  static int argc = 1;
  static char name[] = "test_config";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's runtime folder stays in the test's own folder, not in TMPDIR.
  static TempDir runtime;
  setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
  new QApplication(argc, argv);
}

int TScriptedPrompter::MessageBox(const std::string& text, const std::string& /*caption*/,
                                  unsigned flags) {
  boxes.push_back(text);
  if (answers.empty()) return DefaultButton(flags);
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

bool TScriptedPrompter::InputBox(const std::string& /*title*/, const std::string& prompt,
                                 std::string& value) {
  questions.push_back(prompt);
  if (inputs.empty()) return false;
  value = inputs.front();
  inputs.pop_front();
  return true;
}

void ConfigTest::SetUp() {
  EnsureTestApplication();
  LoadCharsetTables();
  SetProgramDir(dir_.Path() + "/");
  // Qt's own state (the file dialogs') stays in the test's folder.
  for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(dir_.Path()));
  DoneTranslation();
  SetPrompter(&prompter_);
}

void ConfigTest::TearDown() {
  SetPrompter(nullptr);
  DoneTranslation();
}

std::unique_ptr<TVQEinstellungen> ConfigTest::ReadProfile(const std::string& name) const {
  auto p = std::make_unique<TVQEinstellungen>();
  p->IniFileName = IniFile();
  p->Section = name;
  p->Load(true);
  return p;
}

void FillAllFields(TVQEinstellungen& p, int variant) {
  const std::string v = IntToStr(variant);
  for (bool* flag : {&p.CheckMIMEHeaders,
                     &p.CheckReplaceSubject8Bits,
                     &p.CheckQuotes,
                     &p.CheckQuotesAddSpaceBetweenQuoteAndText,
                     &p.CheckQuotesAddSpaceBetweenDifferentQuoteChars,
                     &p.CheckQuotesDoNotChangeAfterSigDelimiter,
                     &p.CheckSubjectKillWasAfterRe,
                     &p.AllowXHeader,
                     &p.AllowAnyHeader,
                     &p.DelDoubleRe,
                     &p.FoldingReferences,
                     &p.GMT,
                     &p.MakeBak,
                     &p.DeleteEmptyLines,
                     &p.BlankBeforeSig,
                     &p.BlankBeforeLines,
                     &p.HamsterheaderFirst,
                     &p.RecreateRCPT_To,
                     &p.SetLines,
                     &p.RecreateRCPT_To_Always,
                     &p.CheckFromReplyFormat,
                     &p.KillOEWordWraps,
                     &p.ConvertBoxQuotes,
                     &p.ConvertFootnotes,
                     &p.ConvertOneLiners,
                     &p.ConvertReFormats,
                     &p.RightTrimLines,
                     &p.MinBodyCharset,
                     &p.HTML2Text,
                     &p.ConvertBase64,
                     &p.Convert8Bit,
                     &p.ConvertQP,
                     &p.SaveAttachments,
                     &p.AutoFunctions})
    *flag = !*flag;
  p.ConvertToSigDelimiter = "--" + v;
  p.CheckQuotesAllowedQuoteChars = ">:" + v;
  p.CheckQuotesDoNotChangeBegin = "BEGIN" + v + "*";
  p.CheckQuotesDoNotChangeEnd = "END" + v + "*";
  p.ConvertToRe = "AW,Sv" + v;
  p.CheckFilesWithExtension = "eml" + v;
  p.DontChangeRenameToExtension = "test" + v;
  p.MessagePath = "Groups\\Out" + v;
  p.FilePath = "/srv/files" + v;
  p.HeaderDef = "script" + v + ".def";
  p.SigFile = "sig\x81" + v + ".txt";  // a byte without a character in windows-1252
  p.DelAtBegin = FromUtf8("Grüße") + v;
  p.SortHeader = "From,Subject," + v;
  p.BodyCharsets = "iso-8859-15";
  p.HeaderCharsets = "us-ascii,utf-8";  // a list no single entry stands for
  p.SaveHTMLAs = "/tmp/html" + v + "_*.html";
  p.SaveAttachmentsDir = "/tmp/att" + v;
  p.ActionIfAttExists = 2;
  p.EndAction = 3;
  p.KillMessageIDBegins = {"plim" + v, "sort" + v};
  p.DelXHeader = {"X-Foo" + v, "X-Bar\x81"};
  p.MaxReferencesLength = 900 + variant;
  p.SetDateHeader = 2;
  p.SafeReg1 = 3 + variant;
  p.SafeReg2 = 4;
  p.DefaultEncoding = 7;  // beyond the list: shown as nothing, kept
  p.doDebugOutput = 5;
}

QLineEdit* EditOf(QWidget* form, const char* name) {
  QWidget* w = form->findChild<QWidget*>(QString::fromLatin1(name));
  if (!w) return nullptr;
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit;
  return PathEditField(w);
}
