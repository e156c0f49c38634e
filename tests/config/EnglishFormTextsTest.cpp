// The shipped translation file against the translated forms: every caption
// and hint a form shows in German has an English line, with as many lines.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "CfgMain.h"
#include "ConfigTestSupport.h"
#include "DAssiste.h"
#include "DCfgBQ.h"
#include "DCfgFN.h"
#include "DCfgOL_RF.h"
#include "DDefCharsets.h"
#include "FormTexts.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace fs = std::filesystem;

namespace {

// The caption TranslateForm would replace, as the widget shows it.
QString CaptionOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget()))
    if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget()))
      return tabs->tabText(tabs->indexOf(w));
  return {};
}

// Key of the file (without the form's prefix) to the German text.
std::map<std::string, QString> FormTexts(QWidget* form) {
  std::map<std::string, QString> texts;
  texts["caption"] = form->windowTitle();
  for (QWidget* w : form->findChildren<QWidget*>()) {
    std::string name = LowerCase(w->objectName().toStdString());
    // Dialogs a widget keeps for later (a file dialog) are windows of their own.
    if (name.empty() || w->window() != form) continue;
    if (QString caption = CaptionOf(w); !caption.isEmpty()) texts[name + ".caption"] = caption;
    if (!w->toolTip().isEmpty())
      texts[name + ".hint"] = QTextDocumentFragment::fromHtml(w->toolTip()).toPlainText();
  }
  return texts;
}

class EnglishFormTextsTest : public ConfigTest {};

}  // namespace

TEST_F(EnglishFormTextsTest, EveryTextOfTheTranslatedFormsHasAnEnglishLine) {
  const std::vector<std::function<std::unique_ptr<QWidget>()>> forms = {
      [] { return std::make_unique<TFrmMain>(); },
      [] { return std::make_unique<TDlgAssistent>(); },
      [] { return std::make_unique<TDlgCfgBQ>(); },
      [] { return std::make_unique<TDlgCfgFN>(); },
      [] { return std::make_unique<TDlgCfgOL_RF>(); },
      [] { return std::make_unique<TDlgDefCharsets>(); },
  };
  // German first: no translation file yet.
  std::map<std::string, std::map<std::string, QString>> german;
  for (const auto& make : forms) {
    std::unique_ptr<QWidget> form = make();
    german[form->objectName().toStdString()] = FormTexts(form.get());
  }
  fs::copy_file(fs::path(TIDELARN_SOURCE_DIR) / "data" / "Tidelarn.dat", Path("Tidelarn.dat"));
  DoneTranslation();
  SetLanguage("English");

  std::string missing, problems;
  for (const auto& [section, texts] : german) {
    EXPECT_GT(texts.size(), 3u) << section;
    std::vector<std::string> formLines;
    TFormTexts english = CollectFormTexts(section, formLines);
    for (const auto& [key, text] : texts) {
      std::optional<std::string> found;
      if (key == "caption") {
        found = english.caption;
      } else {
        size_t dot = key.rfind('.');
        if (const TComponentTexts* c = english.Component(key.substr(0, dot)))
          found = key.substr(dot) == ".hint" ? c->hint : c->caption;
      }
      std::string line = section + "." + key + "=" + StringReplace(text.toStdString(), "\n", "^m");
      if (!found)
        missing += line + "\n";
      else if (QStr(*found).count('\n') != text.count('\n'))
        problems += line + "\n    has another number of lines in English: " + *found + "\n";
    }
  }
  EXPECT_TRUE(missing.empty()) << "form texts without an English line in data/Tidelarn.dat:\n"
                               << missing;
  EXPECT_TRUE(problems.empty()) << problems;
}

TEST_F(EnglishFormTextsTest, TheChoicesOfTranslatedListsHaveEnglishItems) {
  struct Row {
    std::function<std::unique_ptr<QWidget>()> make;
    std::vector<const char*> combos;
  };
  const std::vector<Row> rows = {
      {[] { return std::make_unique<TFrmMain>(); },
       {"cbDefAction", "cbSaveAttReaction", "cbSetDate", "cbDateFormat"}},
      {[] { return std::make_unique<TDlgCfgBQ>(); }, {"cbTyp"}},
      {[] { return std::make_unique<TDlgCfgFN>(); }, {"cbPosition"}},
  };
  auto items = [&](const Row& row) {
    std::unique_ptr<QWidget> form = row.make();
    std::vector<QStringList> lists;
    for (const char* name : row.combos) {
      auto* combo = form->findChild<QComboBox*>(QString::fromLatin1(name));
      EXPECT_NE(combo, nullptr) << name;
      QStringList list;
      for (int i = 0; combo && i < combo->count(); ++i) list << combo->itemText(i);
      lists.push_back(list);
    }
    return lists;
  };
  std::vector<std::vector<QStringList>> german;
  for (const Row& row : rows) german.push_back(items(row));
  fs::copy_file(fs::path(TIDELARN_SOURCE_DIR) / "data" / "Tidelarn.dat", Path("Tidelarn.dat"));
  DoneTranslation();
  SetLanguage("English");
  for (size_t r = 0; r < rows.size(); ++r) {
    std::vector<QStringList> english = items(rows[r]);
    for (size_t c = 0; c < english.size(); ++c) {
      const QStringList& de = german[r][c];
      const QStringList& en = english[c];
      ASSERT_EQ(en.size(), de.size()) << rows[r].combos[c];
      for (qsizetype i = 0; i < de.size(); ++i)
        EXPECT_NE(en[i].toStdString(), de[i].toStdString()) << rows[r].combos[c] << " item " << i;
    }
  }
}
