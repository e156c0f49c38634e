// The news-server assistant: registers the runner for the news server's four
// actions (with the matching profiles) and switches on the repairs for mails
// and postings of Outlook Express. It changes the settings form's profile
// objects only; the form writes them on OK. Hamster.ini is written at once.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QPushButton;
class TProfileList;

class TDlgAssistent : public QDialog {
  Q_OBJECT

public:
  explicit TDlgAssistent(QWidget* parent = nullptr);
  ~TDlgAssistent() override;

  QPushButton* Button1 = nullptr;  // registration
  QPushButton* Button2 = nullptr;  // Outlook Express options
  QPushButton* Button3 = nullptr;  // close

  // The form's message lines of the current language.
  std::vector<std::string> TranslationLines;
  // The settings form's profiles (not owned); set before the dialog is shown.
  TProfileList* ProfileList = nullptr;

  void FormCreate();
  void FormDestroy();
  void Button1Click();
  void Button2Click();
  void Button3Click();

private:
  std::string Text(const char* id, const char* germanDefault) const;
};
