// The script's error and debug dialog: what each kind of stop shows and
// offers, the caret, editing with save and reload, and the choices.
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "CfgDialogs.h"
#include "ConfigTestSupport.h"
#include "DErrorOrDebug.h"
#include "SysUtils.h"
#include "uCharsets.h"
#include "uTools.h"

namespace {

using Lines = std::vector<std::string>;

void InsertAt(QStringList& l, size_t i, const char* line) { l.insert(qsizetype(i), line); }
void InsertAt(Lines& l, size_t i, const char* line) { l.insert(l.begin() + ptrdiff_t(i), line); }
void EraseAt(QStringList& l, size_t i) { l.removeAt(qsizetype(i)); }
void EraseAt(Lines& l, size_t i) { l.erase(l.begin() + ptrdiff_t(i)); }

// Lines replaced, deleted and added all through a script, the same on the
// memo's lines and the file's.
void Scatter(auto& lines) {
  for (size_t i = size_t(lines.size()); i-- > 0;) {
    if (i % 29 == 1) InsertAt(lines, i + 1, "X-Neu: 1");
    if (i % 41 == 2) lines[i] = "X-Ersetzt: 1";
    if (i % 37 == 0) EraseAt(lines, i);
  }
}

// 2,100 lines of UTF-8, all but the last with an arrow. A text comes back
// every 500 lines with the other arrow: the same "?" line in the memo under
// windows-1252, for other bytes.
Lines LargeScript() {
  Lines lines;
  for (int i = 0; i < 2099; ++i)
    lines.push_back("' " + std::string(i / 500 % 2 ? "\xE2\x86\x90" : "\xE2\x86\x92") + " " +
                    IntToStr(i % 500));
  lines.push_back("  Set Foo");
  return lines;
}

class ErrorOrDebugTest : public ConfigTest {
protected:
  void SetUp() override {
    ConfigTest::SetUp();
    TDlgErrorOrDebug::RememberedPage = 0;
    for (int i = 1; i <= 30; ++i) file.push_back("X-L" + IntToStr(i) + ": v");
    file[1] =
        "Gr\xfc\xdf"
        "e";  // one byte per character in windows-1252
    file[11] = "  Set Foo";
    WriteFile(Path("header.def"), JoinLines(file, "\n") + "\n");
  }

  // Prepared and shown, as ShowErrorOrDebug does before its loop.
  std::unique_ptr<TDlgErrorOrDebug> Open(int lineNo, const std::string& error, int caret,
                                         const std::string& scriptName = "4711.msg") {
    auto d = std::make_unique<TDlgErrorOrDebug>();
    d->Prepare(Path("header.def"), scriptName, lineNo, error, &script, &info, &file, &text, caret);
    d->show();
    QApplication::processEvents();
    return d;
  }

  // Characters before line No (1-based), line ends counted as two.
  int LineStart(int no) const {
    int n = 0;
    for (int i = 0; i < no - 1; ++i) n += int(file[size_t(i)].size()) + 2;
    return n;
  }

  Lines file, script{"Sub main", "  Set Foo", "End Sub"}, info{"Zeile 12/30:   Set Foo"},
      text{"Subject: x", "", "body"};
};

TEST_F(ErrorOrDebugTest, ErrorStopShowsTheFileWithTheCaretOnTheToken) {
  auto d = Open(12, "Unbekannt:\r\nFoo", LineStart(12) + 6);
  EXPECT_EQ(d->labFehler->text(), "Unbekannt:\nFoo");
  EXPECT_EQ(d->nb->tabText(0), QString::fromStdString(Path("header.def")));
  EXPECT_EQ(d->nb->tabText(1), "Datei: \"4711.msg\"");
  EXPECT_EQ(d->nb->tabText(2), "Gesamtskript");
  EXPECT_EQ(d->mSkript->toPlainText().split('\n')[1], QString::fromUtf8("Grüße"));
  EXPECT_EQ(d->mGesamt->toPlainText(), "Sub main\n  Set Foo\nEnd Sub");
  EXPECT_EQ(d->mVars->toPlainText(), "Zeile 12/30:   Set Foo");
  EXPECT_EQ(d->mText->toPlainText(), "Subject: x\n\nbody");

  QTextCursor caret = d->mSkript->textCursor();
  EXPECT_EQ(caret.blockNumber(), 11);
  EXPECT_EQ(caret.positionInBlock(), 6);  // on "Foo"
  EXPECT_EQ(d->mSkript->verticalScrollBar()->value(), 7);
  EXPECT_TRUE(d->mSkript->hasFocus());

  EXPECT_EQ(d->butWeiter, nullptr);
  EXPECT_EQ(d->butNaechsteZeile, nullptr);
  ASSERT_NE(d->butRetry, nullptr);
  EXPECT_FALSE(d->butRetry->isEnabled());
  EXPECT_TRUE(d->butSkip->isVisible());
  EXPECT_FALSE(d->butSave->isEnabled());
  EXPECT_FALSE(d->butReLoad->isEnabled());
  // The buttons stand in one row, right-aligned, Ende at the right.
  EXPECT_EQ(d->butRetry->y(), d->butEnde->y());
  EXPECT_LT(d->butSkip->x(), d->butEnde->x());
  EXPECT_LT(d->butRetry->x(), d->butSkip->x());
  EXPECT_EQ(d->Result, ErrorChoice::End);
  d->butSkip->click();
  EXPECT_EQ(d->Result, ErrorChoice::Continue);
}

TEST_F(ErrorOrDebugTest, CaretOffsetsInsideALineEndOrBeyondTheFile) {
  auto d = Open(3, "E", LineStart(3) - 1);  // between CR and LF
  EXPECT_EQ(d->mSkript->textCursor().blockNumber(), 1);
  EXPECT_EQ(d->mSkript->textCursor().positionInBlock(), 5);
  d = Open(3, "E", 1 << 30);
  EXPECT_TRUE(d->mSkript->textCursor().atEnd());
  // A small line number leaves the memo at its top.
  EXPECT_EQ(d->mSkript->verticalScrollBar()->value(), 0);
}

TEST_F(ErrorOrDebugTest, RetryOnlyAfterTheEditedScriptWasSaved) {
  auto d = Open(12, "E", 0);
  d->mSkript->setPlainText("Sub main\nX-Fixed: 1\nEnd Sub");
  EXPECT_TRUE(d->butSave->isEnabled());
  EXPECT_TRUE(d->butReLoad->isEnabled());
  EXPECT_FALSE(d->butRetry->isEnabled());
  d->butSave->click();
  // The file keeps its LF line ends.
  EXPECT_EQ(ReadFile(Path("header.def")), "Sub main\nX-Fixed: 1\nEnd Sub\n");
  EXPECT_FALSE(d->butSave->isEnabled());
  EXPECT_FALSE(d->butReLoad->isEnabled());
  EXPECT_TRUE(d->butRetry->isEnabled());
  d->butRetry->click();
  EXPECT_EQ(d->Result, ErrorChoice::Retry);

  // A file with CR LF keeps those; edits of the whole script are never saved.
  WriteFile(Path("header.def"), "a\r\nb\r\n");
  d = Open(1, "E", 0);
  d->mGesamt->setPlainText("changed");
  EXPECT_TRUE(d->butSave->isEnabled());
  d->mSkript->setPlainText("a\nb\nc\n");
  d->butSave->click();
  EXPECT_EQ(ReadFile(Path("header.def")), "a\r\nb\r\nc\r\n");
}

TEST_F(ErrorOrDebugTest, ReloadDiscardsEditsAndAFailureChangesNothing) {
  auto d = Open(12, "E", 0);
  WriteFile(Path("header.def"), "neu\r\n");
  d->mSkript->setPlainText("edited");
  d->butReLoad->click();
  EXPECT_EQ(d->mSkript->toPlainText(), "neu");
  EXPECT_FALSE(d->butSave->isEnabled());
  EXPECT_FALSE(d->butReLoad->isEnabled());

  d->mSkript->setPlainText("edited again");
  std::filesystem::remove(Path("header.def"));
  d->butReLoad->click();
  ASSERT_EQ(prompter_.boxes.size(), 1u);
  EXPECT_NE(prompter_.boxes[0].find("header.def"), std::string::npos);
  EXPECT_EQ(d->mSkript->toPlainText(), "edited again");
  EXPECT_TRUE(d->butReLoad->isEnabled());

  // A save into a folder that does not exist fails the same way.
  d->FileName = Path("nowhere/header.def");
  d->butSave->click();
  EXPECT_EQ(prompter_.boxes.size(), 2u);
  EXPECT_TRUE(d->butSave->isEnabled());
  EXPECT_FALSE(d->butRetry->isEnabled());
}

// The script is read in the encoding an editor saved it in, and an edit is
// saved back in that encoding: UTF-8 (with its byte order mark) or the
// internal charset windows-1252.
TEST_F(ErrorOrDebugTest, ReloadAndSaveKeepTheEncodingOfTheFile) {
  struct Row {
    std::string before, after;
  };
  const std::vector<Row> rows = {
      {"Gr\xC3\xBC\xC3\x9F" "e\n", "Gr\xC3\xBC\xC3\x9F" "e\nMa\xC3\x9F\n"},
      {"\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e\n", "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e\nMa\xC3\x9F\n"},
      {"Gr\xFC\xDF" "e\r\n", "Gr\xFC\xDF" "e\r\nMa\xDF\r\n"},
  };
  for (const Row& row : rows) {
    WriteFile(Path("header.def"), row.before);
    auto d = Open(1, "E", 0);
    d->mSkript->setPlainText("edited");
    d->butReLoad->click();
    EXPECT_EQ(d->mSkript->toPlainText(), QString::fromUtf8("Grüße")) << row.before;
    d->mSkript->setPlainText(QString::fromUtf8("Grüße\nMaß"));
    d->butSave->click();
    EXPECT_EQ(ReadFile(Path("header.def")), row.after);
  }
  // Lines left alone, moved or not, keep what windows-1252 lacks (shown as "?").
  const std::string lacking = "' Pfeil \xE2\x86\x92 \xD0\x96\n";
  WriteFile(Path("header.def"), lacking + "  Set Foo\n");
  auto d = Open(2, "E", 0);
  d->mSkript->setPlainText("edited");
  d->butReLoad->click();
  QString text = d->mSkript->toPlainText();
  text.replace("Set Foo", "X-Foo: 1");
  d->mSkript->setPlainText(text + "\n" + text);
  d->butSave->click();
  EXPECT_EQ(ReadFile(Path("header.def")), lacking + "  X-Foo: 1\n" + lacking + "  X-Foo: 1\n");
}

// Saving after lines were inserted, deleted or edited: every line the user
// left alone keeps its exact bytes, and the file its encoding, whatever the
// internal charset could show of it and however long the script.
TEST_F(ErrorOrDebugTest, SavedLinesLeftAloneKeepTheirBytesAndTheFileItsEncoding) {
  struct Kind {
    const char* name;
    const char* internal;
    std::string mark;  // byte order mark
    Lines lines;       // the file's bytes; the last line is "  Set Foo"
    bool holdsAll;     // the memo shows every character of the file
  };
  const std::vector<Kind> kinds = {
      {"UTF-8 under windows-1252", "", "",
       {"' \xE2\x86\x92", "Gr\xC3\xBC\xC3\x9F" "e", "' \xD0\x96", "  Set Foo"}, false},
      {"UTF-8 with mark under utf-8", "utf-8", "\xEF\xBB\xBF",
       {"' \xE2\x86\x92", "Gr\xC3\xBC\xC3\x9F" "e", "' \xD0\x96", "  Set Foo"}, true},
      {"windows-1252 under windows-1252", "", "",
       {"' \x81\x8D", "Gr\xFC\xDF" "e", "' \x8F\x90\x9D", "  Set Foo"}, false},
      {"windows-1252 under utf-8", "utf-8", "",
       {"' \x81\x8D", "Gr\xFC\xDF" "e", "' \x8F\x90\x9D", "  Set Foo"}, true},
      {"windows-1252 with NUL under utf-8", "utf-8", "",
       {std::string("' \0 a", 5), std::string("' \0 b", 5), "Gr\xFC\xDF" "e", "  Set Foo"},
       false},
      {"2,100 lines of UTF-8 under windows-1252", "", "", LargeScript(), false},
      {"2,100 lines of UTF-8 under utf-8", "utf-8", "", LargeScript(), true},
  };
  // Each edit, on the memo's lines and on the file's lines as it should save them.
  struct Edit {
    const char* name;
    bool needsAll;  // changes lines that hold characters the memo may not show
    std::function<void(QStringList&)> memo;
    std::function<void(Lines&)> file;
  };
  const std::vector<Edit> edits = {
      {"insert", false, [](QStringList& l) { l.insert(0, "X-Neu: 1"); },
       [](Lines& l) { l.insert(l.begin(), "X-Neu: 1"); }},
      {"delete", false, [](QStringList& l) { l.removeAt(0); },
       [](Lines& l) { l.erase(l.begin()); }},
      {"edit and insert", false,
       [](QStringList& l) {
         l.last() = "  X-Foo: 1";
         l.insert(2, "X-Neu: 1");
       },
       [](Lines& l) {
         l.back() = "  X-Foo: 1";
         l.insert(l.begin() + 2, "X-Neu: 1");
       }},
      {"insert at top and bottom", false,
       [](QStringList& l) {
         l.prepend("X-Neu: 1");
         l.append("X-Neu: 2");
       },
       [](Lines& l) {
         l.insert(l.begin(), "X-Neu: 1");
         l.push_back("X-Neu: 2");
       }},
      {"scattered edits", false, [](QStringList& l) { Scatter(l); },
       [](Lines& l) { Scatter(l); }},
      {"edit every line", true, [](QStringList& l) { for (QString& s : l) s += "!"; },
       [](Lines& l) { for (std::string& s : l) s += "!"; }},
  };
  struct Restore {
    ~Restore() { SetInternalCharset(""); }
  } restore;
  for (const Kind& kind : kinds) {
    for (const Edit& edit : edits) {
      if (edit.needsAll && !kind.holdsAll) continue;
      SCOPED_TRACE(std::string(kind.name) + ", " + edit.name);
      SetInternalCharset(kind.internal);
      const std::string before = kind.mark + JoinLines(kind.lines, "\n");
      WriteFile(Path("header.def"), before);
      auto d = Open(4, "E", 0);
      d->mSkript->setPlainText("edited");
      d->butReLoad->click();
      QStringList memo = d->mSkript->toPlainText().split('\n');
      ASSERT_EQ(memo.size(), qsizetype(kind.lines.size()));
      edit.memo(memo);
      const QString shown = memo.join('\n');
      d->mSkript->setPlainText(shown);
      d->butSave->click();
      Lines expected = kind.lines;
      edit.file(expected);
      const std::string saved = ReadFile(Path("header.def"));
      EXPECT_EQ(saved, kind.mark + JoinLines(expected, "\n"));
      EXPECT_EQ(EditorTextEncoding(saved), EditorTextEncoding(before));
      // And it reads back as the user saw it.
      d->mSkript->setPlainText("edited");
      d->butReLoad->click();
      EXPECT_EQ(d->mSkript->toPlainText(), shown);
    }
  }
}

TEST_F(ErrorOrDebugTest, DebugStopHidesTheMessageAndOffersStepping) {
  auto d = Open(12, "", LineStart(12) + int(file[11].size()), "");
  EXPECT_EQ(d->windowTitle(), "Debuggen...");
  EXPECT_FALSE(d->frFehler->isVisible());
  EXPECT_FALSE(d->UebFehler->isVisible());
  EXPECT_EQ(d->nb->y(), d->frFehler->y());
  EXPECT_EQ(d->nb->tabText(1), "Datei: \"\"");
  EXPECT_EQ(d->butRetry, nullptr);
  EXPECT_EQ(d->butSkip, nullptr);
  EXPECT_LT(d->butNaechsteZeile->x(), d->butEnde->x());
  EXPECT_LT(d->butWeiter->x(), d->butNaechsteZeile->x());
  EXPECT_EQ(d->mSkript->textCursor().positionInBlock(), 9);  // end of the line
  d->butNaechsteZeile->click();
  EXPECT_EQ(d->Result, ErrorChoice::NextLine);
  d = Open(12, "", 0);
  d->butWeiter->click();
  EXPECT_EQ(d->Result, ErrorChoice::Continue);
  d = Open(12, "", 0);
  d->reject();  // closing the window
  EXPECT_EQ(d->Result, ErrorChoice::End);
}

TEST_F(ErrorOrDebugTest, NoCurrentLineShowsOnlyTheMessageAndEnde) {
  auto d = Open(0, "Fehler ohne Zeile", 0);
  EXPECT_EQ(d->windowTitle(), "Fehlermeldung");
  EXPECT_FALSE(d->nb->isVisible());
  EXPECT_FALSE(d->butRetry->isVisible());
  EXPECT_FALSE(d->butSkip->isVisible());
  EXPECT_TRUE(d->butEnde->isVisible());
  EXPECT_TRUE(d->labFehler->isVisible());
  EXPECT_GT(d->butEnde->y(), d->frFehler->y() + d->frFehler->height());
}

TEST_F(ErrorOrDebugTest, ThePageOfTheLastDialogComesBack) {
  auto d = Open(12, "E", 0);
  d->nb->setCurrentIndex(2);
  d.reset();
  EXPECT_EQ(TDlgErrorOrDebug::RememberedPage, 2);
  d = Open(12, "E", 0);
  EXPECT_EQ(d->nb->currentIndex(), 2);
}

TEST_F(ErrorOrDebugTest, ThePrompterShowsTheDialogAndReturnsTheChoice) {
  TErrorDisplay display;
  display.fileName = Path("header.def");
  display.lineNo = 12;
  display.errorMsg = "E";
  display.fileLines = file;
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TDlgErrorOrDebug*>(w); d && d->isVisible()) d->butSkip->click();
  });
  EXPECT_EQ(ShowErrorOrDebugDialog(display), ErrorChoice::Continue);
}

}  // namespace
