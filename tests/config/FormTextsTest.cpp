// Form texts applied to widgets by name, remembered edit texts and the
// display test of the Qt prompter.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include <cstdlib>
#include <optional>

#include "ConfigTestSupport.h"
#include "FormTexts.h"
#include "QtPrompter.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

class FormTextsTest : public ConfigTest {};

template <class W>
W* Add(QWidget* parent, const char* name) {
  auto* w = new W(parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

TEST_F(FormTextsTest, CaptionsAndHintsGoToTheWidgetsOfTheirNames) {
  WriteFile(Path("Tidelarn.dat"),
            "[English]\r\n"
            "DlgTest.caption=Test dialog\r\n"
            "DlgTest.labname.caption=Name:\r\n"
            "DlgTest.butgo.caption=&Go\r\n"
            "DlgTest.butgo.hint=Starts it^mnow <really>\r\n"
            "DlgTest.chkon.caption=On\r\n"
            "DlgTest.grpbox.caption=Group\r\n"
            "DlgTest.tssecond.caption=Second page\r\n"
            "DlgTest.txtvalue.caption=edits have no caption\r\n"
            "DlgTest.txtvalue.hint=A value\r\n"
            "DlgTest.butgo.caption=second line of a key: ignored\r\n"
            "DlgTest.nosuchwidget.caption=ignored\r\n"
            "DlgTest/Message=Own line\r\n");
  SetLanguage("English");
  QWidget form;
  auto* label = Add<QLabel>(&form, "labName");
  auto* button = Add<QPushButton>(&form, "butGo");
  auto* check = Add<QCheckBox>(&form, "chkOn");
  auto* group = Add<QGroupBox>(&form, "grpBox");
  auto* edit = Add<QLineEdit>(group, "txtValue");
  auto* tabs = Add<QTabWidget>(&form, "tabs");
  auto* first = new QWidget;
  first->setObjectName("tsFirst");
  auto* second = new QWidget;
  second->setObjectName("tsSecond");
  tabs->addTab(first, "first");
  tabs->addTab(second, "second");

  std::vector<std::string> lines;
  TranslateForm(&form, "DlgTest", lines);

  EXPECT_EQ(form.windowTitle(), "Test dialog");
  EXPECT_EQ(label->text(), "Name:");
  EXPECT_EQ(button->text(), "&Go");
  EXPECT_EQ(check->text(), "On");
  EXPECT_EQ(group->title(), "Group");
  EXPECT_EQ(tabs->tabText(0), "first");
  EXPECT_EQ(tabs->tabText(1), "Second page");
  EXPECT_EQ(edit->text(), "");
  EXPECT_TRUE(edit->toolTip().contains("A value"));
  // Shown as written: two lines, the angle brackets as text.
  EXPECT_TRUE(button->toolTip().contains("Starts it\nnow &lt;really&gt;"));
  EXPECT_EQ(lines, std::vector<std::string>{"Message=Own line"});
}

TEST_F(FormTextsTest, EditsHandBackTheirBytesWhileUnchanged) {
  QWidget form;
  auto* edit = Add<QLineEdit>(&form, "txt");
  auto* memo = Add<QPlainTextEdit>(&form, "mem");
  const std::string odd =
      "a\x81"
      "b";  // no character in windows-1252
  ShowInternalText(edit, odd);
  ShowInternalText(memo, "X-One\r\nX-\x81");
  EXPECT_EQ(TakeInternalText(edit), odd);
  EXPECT_EQ(TakeInternalText(memo), "X-One\r\nX-\x81");
  EXPECT_EQ(memo->toPlainText().count('\n'), 1);

  edit->setText(QString::fromUtf8("Grüße"));
  EXPECT_EQ(TakeInternalText(edit), FromUtf8("Grüße"));
  ShowInternalText(edit, FromUtf8("ä"));
  EXPECT_EQ(edit->text(), QString::fromUtf8("ä"));
}

TEST(QtPrompterTest, ADisplayIsAnyOfTheDisplaysOrTheOffscreenPlatform) {
  const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
  std::optional<std::string> saved[3];
  for (int i = 0; i < 3; ++i) {
    if (const char* v = std::getenv(names[i])) saved[i] = v;
    unsetenv(names[i]);
  }
  EXPECT_FALSE(DisplayAvailable());
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  EXPECT_FALSE(DisplayAvailable());
  setenv("DISPLAY", "", 1);
  EXPECT_FALSE(DisplayAvailable());
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  EXPECT_TRUE(DisplayAvailable());
  unsetenv("QT_QPA_PLATFORM");
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  EXPECT_TRUE(DisplayAvailable());
  for (int i = 0; i < 3; ++i) {
    if (saved[i])
      setenv(names[i], saved[i]->c_str(), 1);
    else
      unsetenv(names[i]);
  }
}

}  // namespace
