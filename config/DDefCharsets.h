// The dialog of the default charsets (Specials.ini [Charsets]): the internal
// charset and the preset lists for header and body encoding.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QPushButton;

class TDlgDefCharsets : public QDialog {
  Q_OBJECT

public:
  explicit TDlgDefCharsets(QWidget* parent = nullptr);
  ~TDlgDefCharsets() override;

  // Creates, loads, shows and, after OK, writes the file.
  static void Execute(QWidget* owner = nullptr);
  void Load();
  void Store();

  // Event handlers.
  void FormCreate();
  void FormDestroy();

  std::vector<std::string> TranslationLines;

  QComboBox* cbCSIntern = nullptr;
  QComboBox* cbCSHeader = nullptr;
  QComboBox* cbCSBody = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butAbort = nullptr;
};
