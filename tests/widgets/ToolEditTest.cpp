// The file-name and directory edits: the name in the text, the dialogs'
// results in the text, keys, read-only rules and dropped files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <functional>

#include "Prompter.h"
#include "TestSupport.h"
#include "ToolEdit.h"
#include "WidgetTestSupport.h"
#include "uTransla.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
// The text a file edit shows for a chosen file: quoted when the path holds a
// blank, as one under a TMPDIR with blanks does.
QString Shown(const std::string& path) {
  return Q(path.find(' ') == std::string::npos ? path : "\"" + path + "\"");
}

class RecordingPrompter : public TPrompter {
public:
  std::vector<std::string> boxes;
  int MessageBox(const std::string& text, const std::string&, unsigned) override {
    boxes.push_back(text);
    return id::Ok;
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
};

class ToolEditTest : public ::testing::Test {
protected:
  void SetUp() override {
    EnsureTestApplication();
    std::filesystem::create_directory(dir / "with blank");
    std::filesystem::create_directory(dir / "sub");
    WriteFile(dir / "with blank/a file.txt", "x");
    WriteFile(dir / "plain.txt", "x");
    form.resize(300, 60);
  }

  // Answers the next modal file dialog with Answer and records what it
  // showed when it opened.
  void OnNextDialog(std::function<void(QFileDialog*)> answer) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [this, poll, answer] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      poll->stop();
      poll->deleteLater();
      ++dialogs;
      startDir = dialog->directory().absolutePath();
      answer(dialog);
    });
    poll->start(5);
  }
  static void Choose(QFileDialog* dialog, const QString& path) {
    // The dialog keeps what its focused name field holds.
    if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();
  }
  static void ChooseDir(QFileDialog* dialog, const QString& path) {
    dialog->setDirectory(path);
    static_cast<QDialog*>(dialog)->accept();
  }
  static void Cancel(QFileDialog* dialog) { dialog->reject(); }

  TestApplication app;
  TempDir dir;
  QWidget form;
  int dialogs = 0;
  QString startDir;
};

// ---------------------------------------------------------------------------

TEST_F(ToolEditTest, FileNameOfTheText) {
  TFilenameEdit edit(&form);
  const QString existing = Q(dir / "with blank/a file.txt");
  edit.setText(existing);
  EXPECT_EQ(edit.FileName(), existing);
  // Not a file: a program and its parameters, split at the first blank.
  const std::string missing = dir / "with blank/missing file.txt";
  edit.setText(Q(missing));
  EXPECT_EQ(edit.FileName(), Q(missing.substr(0, missing.find(' '))));
  edit.setText(QLatin1Char('"') + existing + QLatin1String("\" -x"));
  EXPECT_EQ(edit.FileName(), existing);
  EXPECT_EQ(edit.GetLongName(), QStringLiteral("a file.txt"));
}

TEST_F(ToolEditTest, SettingTheFileNameQuotesBlanksAndRefusesBadNames) {
  TFilenameEdit edit(&form);
  edit.SetFileName(Q(dir / "with blank/a file.txt"));
  EXPECT_EQ(edit.text(), Q("\"" + (dir / "with blank/a file.txt") + "\""));
  edit.SetFileName(QStringLiteral("c:\\pgp\\pgp.exe"));
  EXPECT_EQ(edit.text(), QStringLiteral("c:\\pgp\\pgp.exe"));
  edit.SetFileName(QString());
  EXPECT_EQ(edit.text(), QString());
  DoneTranslation();
  try {
    edit.SetFileName(QStringLiteral("a|b"));
    FAIL() << "no exception";
  } catch (const EComboEditError& e) {
    EXPECT_EQ(ToUtf8(e.Message()), "Ungültiger Dateiname - a|b");
  }
  EXPECT_EQ(edit.text(), QString());
}

TEST_F(ToolEditTest, FileDialogStartsAtTheTextAndItsChoiceGoesIntoTheText) {
  TFilenameEdit edit(&form);
  edit.setText(Q(dir / "plain.txt"));
  QString selected;
  OnNextDialog([&](QFileDialog* d) {
    selected = d->selectedFiles().value(0);
    Choose(d, Q(dir / "with blank/a file.txt"));
  });
  edit.EditButtonClick();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(startDir, Q(dir.Path()));
  EXPECT_EQ(selected, Q(dir / "plain.txt"));
  EXPECT_EQ(edit.text(), Q("\"" + (dir / "with blank/a file.txt") + "\""));
  EXPECT_EQ(edit.InitialDir, Q(dir / "with blank/"));

  OnNextDialog(Cancel);
  edit.EditButtonClick();
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(edit.text(), Q("\"" + (dir / "with blank/a file.txt") + "\""));
}

TEST_F(ToolEditTest, DialogEventsMayChangeOrCancel) {
  TFilenameEdit edit(&form);
  edit.setText(QStringLiteral("old"));
  edit.OnBeforeDialog = [](TFileDirEdit*, QString&, bool& action) { action = false; };
  edit.EditButtonClick();
  EXPECT_EQ(dialogs, 0);

  edit.OnBeforeDialog = nullptr;
  edit.OnAfterDialog = [](TFileDirEdit*, QString& name, bool&) { name += QLatin1String(".bak"); };
  OnNextDialog([&](QFileDialog* d) { Choose(d, Q(dir / "plain.txt")); });
  edit.EditButtonClick();
  EXPECT_EQ(edit.text(), Shown(dir / "plain.txt.bak"));

  edit.OnAfterDialog = [](TFileDirEdit*, QString&, bool& action) { action = false; };
  OnNextDialog([&](QFileDialog* d) { Choose(d, Q(dir / "plain.txt")); });
  edit.EditButtonClick();
  EXPECT_EQ(edit.text(), Shown(dir / "plain.txt.bak"));
}

TEST_F(ToolEditTest, DirectoryDialogStartsAtTheRootWithoutAUsableText) {
  TDirectoryEdit edit(&form);
  OnNextDialog([&](QFileDialog* d) { ChooseDir(d, Q(dir / "sub")); });
  edit.EditButtonClick();
  EXPECT_EQ(startDir, QStringLiteral("/"));
  EXPECT_EQ(edit.text(), Q(dir / "sub"));
  EXPECT_EQ(edit.InitialDir, Q(dir / "sub"));

  // An existing folder is where the next dialog starts.
  OnNextDialog(Cancel);
  edit.EditButtonClick();
  EXPECT_EQ(startDir, Q(dir / "sub"));
  EXPECT_EQ(edit.text(), Q(dir / "sub"));

  edit.setText(QStringLiteral("c:\\no\\such\\folder"));
  OnNextDialog(Cancel);
  edit.EditButtonClick();
  EXPECT_EQ(startDir, QStringLiteral("/"));
  EXPECT_EQ(edit.text(), QStringLiteral("c:\\no\\such\\folder"));
}

TEST_F(ToolEditTest, SeveralDirectoriesAreJoinedWithSemicolons) {
  TDirectoryEdit edit(&form);
  edit.MultipleDirs = true;
  edit.DialogKind = dkWin32;
  edit.setText(Q(dir / "sub"));
  OnNextDialog([&](QFileDialog* d) { ChooseDir(d, Q(dir / "with blank")); });
  edit.EditButtonClick();
  EXPECT_EQ(edit.text(), Q(dir / "sub") + QLatin1Char(';') + Q(dir / "with blank"));
  EXPECT_EQ(edit.GetLongName(), QStringLiteral("sub;with blank"));
}

TEST_F(ToolEditTest, ClickKeyAndReadOnly) {
  TFilenameEdit edit(&form);
  form.show();
  edit.setFocus();
  OnNextDialog(Cancel);
  KeyPress(&edit, Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(dialogs, 1);

  edit.SetReadOnly(true);
  EXPECT_TRUE(edit.isReadOnly());
  KeyPress(&edit, Qt::Key_Down, Qt::AltModifier);
  MousePress(edit.Button(), {3, 3});
  MouseRelease(edit.Button(), {3, 3});
  EXPECT_EQ(dialogs, 1);

  edit.AlwaysEnable = true;
  OnNextDialog(Cancel);
  KeyPress(&edit, Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(dialogs, 2);

  // Without direct input only the button changes the text.
  edit.SetReadOnly(false);
  edit.AlwaysEnable = false;
  edit.SetDirectInput(false);
  EXPECT_TRUE(edit.isReadOnly());
  OnNextDialog([&](QFileDialog* d) { Choose(d, Q(dir / "plain.txt")); });
  MousePress(edit.Button(), {3, 3});
  MouseRelease(edit.Button(), {3, 3});
  EXPECT_EQ(edit.text(), Shown(dir / "plain.txt"));
}

TEST_F(ToolEditTest, ButtonSitsInsideTheRightEdge) {
  TFilenameEdit edit(&form);
  form.show();
  edit.resize(200, 24);
  const QRect button(edit.Button()->mapTo(&edit, QPoint(0, 0)), edit.Button()->size());
  EXPECT_EQ(edit.ButtonWidth(), 21);  // the folder glyph and 6 pixels
  EXPECT_TRUE(edit.rect().contains(button));
  EXPECT_GE(button.left(), 200 - 21 - 4);
  EXPECT_EQ(edit.textMargins().right(), 21);

  edit.SetGlyphKind(gkEllipsis);
  const QImage dots = edit.Button()->Glyph().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(dots.width(), 15);
  int black = 0;
  for (int y = 0; y < dots.height(); ++y)
    for (int x = 0; x < dots.width(); ++x) black += dots.pixel(x, y) == qRgb(0, 0, 0);
  EXPECT_EQ(black, 12);
}

// Drops a list of local files on Edit; true when the edit took the drag.
bool DropFiles(QWidget* edit, const QStringList& files) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& f : files) urls << QUrl::fromLocalFile(f);
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(edit, &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(edit, &drop);
  return enter.isAccepted();
}

TEST_F(ToolEditTest, DroppedFiles) {
  TFilenameEdit files(&form);
  files.setText(QStringLiteral("kept"));
  EXPECT_FALSE(DropFiles(&files, {Q(dir / "plain.txt")}));
  EXPECT_EQ(files.text(), QStringLiteral("kept"));

  int dropped = 0;
  files.SetAcceptFiles(true);
  files.OnDropFiles = [&](TFileDirEdit*) { ++dropped; };
  EXPECT_TRUE(DropFiles(&files, {Q(dir / "with blank/a file.txt"), Q(dir / "plain.txt")}));
  EXPECT_EQ(files.text(), Q("\"" + (dir / "with blank/a file.txt") + "\""));
  EXPECT_EQ(dropped, 1);

  // A name the edit refuses is reported, not thrown into Qt. The file exists,
  // as a dropped one does: else its name would end at the first blank.
  WriteFile(dir / "a[1].txt", "x");
  RecordingPrompter prompter;
  SetPrompter(&prompter);
  EXPECT_TRUE(DropFiles(&files, {Q(dir / "a[1].txt")}));
  SetPrompter(nullptr);
  ASSERT_EQ(prompter.boxes.size(), 1u);
  EXPECT_NE(prompter.boxes[0].find("a[1].txt"), std::string::npos);
  EXPECT_EQ(files.text(), Q("\"" + (dir / "with blank/a file.txt") + "\""));

  TDirectoryEdit dirs(&form);
  dirs.SetAcceptFiles(true);
  EXPECT_TRUE(DropFiles(&dirs, {Q(dir / "plain.txt")}));
  EXPECT_EQ(dirs.text(), Q(dir.Path() + "/"));
  EXPECT_TRUE(DropFiles(&dirs, {Q(dir / "sub")}));
  EXPECT_EQ(dirs.text(), Q(dir / "sub"));
}

}  // namespace
