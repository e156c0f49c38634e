// One-line edits with a small button inside their right edge: the file-name
// edit's button picks a file, the directory edit's button a folder, and the
// choice goes into the field. The forms read and write only their text.
#pragma once

#include <QImage>
#include <QKeySequence>
#include <QLineEdit>
#include <QString>

#include <functional>

#include "RXCtrls.h"
#include "SysUtils.h"

class QFileDialog;
class TCustomComboEdit;

// A file name that the file-name edit cannot take.
class EComboEditError : public Exception {
public:
  using Exception::Exception;
};

enum TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };
enum TFileDialogKind { dkOpen, dkSave, dkOpenPicture, dkSavePicture };
// Both choose a folder; dkWin32 shows DialogText as the chooser's title.
enum TDirDialogKind { dkVCL, dkWin32 };

// The button of a combo edit: it passes its press on as focus for the edit
// and joins the edit's face with two lines at its left edge.
class TEditButton : public TRxSpeedButton {
  Q_OBJECT

public:
  explicit TEditButton(TCustomComboEdit* edit, QWidget* parent);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  TCustomComboEdit* edit_;
};

class TCustomComboEdit : public QLineEdit {
  Q_OBJECT

public:
  explicit TCustomComboEdit(QWidget* parent = nullptr);

  TEditButton* Button() const { return button_; }
  int ButtonWidth() const;
  void SetButtonWidth(int width);

  // The key that clicks the button.
  QKeySequence ClickKey{QKeyCombination(Qt::AltModifier, Qt::Key_Down)};
  // Read-only also stops the button, unless AlwaysEnable; without DirectInput
  // only the button changes the text.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  bool DirectInput() const { return directInput_; }
  void SetDirectInput(bool value);
  bool AlwaysEnable = false;

  // What a click of the button does: nothing on a read-only edit, otherwise
  // ButtonClick.
  void EditButtonClick();

  std::function<void(TCustomComboEdit* sender)> OnButtonClick;

protected:
  virtual QImage GetDefaultGlyph() const { return {}; }
  // Fires OnButtonClick; the edits add their dialogs.
  virtual void ButtonClick();
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Takes the focus when the edit can.
  void TakeFocus();

private:
  void UpdateButtonPosition();
  void UpdateReadOnly();

  QWidget* container_;
  TEditButton* button_;
  bool readOnly_ = false;
  bool directInput_ = true;
};

class TFileDirEdit : public TCustomComboEdit {
  Q_OBJECT

public:
  TGlyphKind GlyphKind() const { return glyphKind_; }
  void SetGlyphKind(TGlyphKind kind);
  // Files dropped on the edit go into it.
  bool AcceptFiles() const { return acceptFiles_; }
  void SetAcceptFiles(bool value);

  // The long and short forms of the name in the edit.
  virtual QString GetLongName() const = 0;
  virtual QString GetShortName() const = 0;
  // Takes a dropped or accepted name.
  virtual void ReceptFileDir(const QString& name) = 0;
  virtual void ClearFileList() {}

  // Around the dialog: the handler may change the name or clear Action to
  // cancel.
  using TExecOpenDialogEvent =
      std::function<void(TFileDirEdit* sender, QString& name, bool& action)>;
  TExecOpenDialogEvent OnBeforeDialog;
  TExecOpenDialogEvent OnAfterDialog;
  std::function<void(TFileDirEdit* sender)> OnDropFiles;

protected:
  explicit TFileDirEdit(QWidget* parent);
  QImage GetDefaultGlyph() const override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  TGlyphKind glyphKind_ = gkCustom;
  bool acceptFiles_ = false;
};

class TFilenameEdit : public TFileDirEdit {
  Q_OBJECT

public:
  explicit TFilenameEdit(QWidget* parent = nullptr);

  // The text when a file of that name exists, else the first word of the
  // text read as a command line.
  QString FileName() const;
  // An empty value or one whose name part is valid; quoted when it holds a
  // blank. Raises EComboEditError otherwise.
  void SetFileName(const QString& value);

  TFileDialogKind DialogKind = dkOpen;
  QString InitialDir;
  QString DefaultExt;
  QString DialogTitle() const;
  void SetDialogTitle(const QString& title);
  // Pairs "description|patterns" joined by "|", patterns separated by ";".
  QString Filter() const { return filter_; }
  void SetFilter(const QString& filter);
  QFileDialog* Dialog() const { return dialog_; }

  QString GetLongName() const override;
  QString GetShortName() const override;
  void ReceptFileDir(const QString& name) override;
  void ClearFileList() override;

protected:
  void ButtonClick() override;

private:
  QFileDialog* dialog_;
  QString filter_;
};

class TDirectoryEdit : public TFileDirEdit {
  Q_OBJECT

public:
  explicit TDirectoryEdit(QWidget* parent = nullptr);

  QString InitialDir;
  QString DialogText;  // the folder browser's title
  TDirDialogKind DialogKind = dkVCL;
  // The text is a list of folders separated by ";"; a chosen one is added.
  bool MultipleDirs = false;

  QString GetLongName() const override;
  QString GetShortName() const override;
  void ReceptFileDir(const QString& name) override;

protected:
  void ButtonClick() override;
};
