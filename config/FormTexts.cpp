#include "FormTexts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVariant>

#include "SysUtils.h"
#include "uTransla.h"

namespace {

constexpr const char* kShownProperty = "tidelarnShown";
constexpr const char* kBytesProperty = "tidelarnBytes";

QString WidgetText(const QWidget* edit) {
  if (auto* line = qobject_cast<const QLineEdit*>(edit)) return line->text();
  if (auto* memo = qobject_cast<const QPlainTextEdit*>(edit)) return memo->toPlainText();
  return {};
}

// A page of a tab widget sits in the tab widget's own stacked widget.
QTabWidget* TabWidgetOfPage(QWidget* page) {
  auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
  return stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
}

void SetCaption(QWidget* widget, const QString& caption) {
  if (auto* label = qobject_cast<QLabel*>(widget))
    label->setText(caption);
  else if (auto* button = qobject_cast<QAbstractButton*>(widget))
    button->setText(caption);
  else if (auto* group = qobject_cast<QGroupBox*>(widget))
    group->setTitle(caption);
  else if (QTabWidget* tabs = TabWidgetOfPage(widget))
    tabs->setTabText(tabs->indexOf(widget), caption);
}

}  // namespace

QString QStr(std::string_view internal) {
  std::string utf8 = ToUtf8(internal);
  QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

std::string InternalStr(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  return FromUtf8(std::string_view(utf8.constData(), size_t(utf8.size())));
}

QString QUtf8(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

void SetHint(QWidget* widget, const QString& hint) {
  if (hint.isEmpty()) {
    widget->setToolTip({});
    return;
  }
  // Rich text that keeps the lines as written: plain tool tips would take a
  // text such as "<mail@adr>" for markup.
  widget->setToolTip(QLatin1String("<p style='white-space:pre'>") + hint.toHtmlEscaped() +
                     QLatin1String("</p>"));
}

void ApplyFormTexts(QWidget* form, const TFormTexts& texts) {
  if (texts.caption) form->setWindowTitle(QStr(*texts.caption));
  for (QWidget* widget : form->findChildren<QWidget*>()) {
    if (widget->objectName().isEmpty()) continue;
    const TComponentTexts* own = texts.Component(widget->objectName().toStdString());
    if (!own) continue;
    if (own->caption) SetCaption(widget, QStr(*own->caption));
    if (own->hint) SetHint(widget, QStr(*own->hint));
  }
}

void TranslateForm(QWidget* form, std::string_view formName, std::vector<std::string>& formLines) {
  ApplyFormTexts(form, CollectFormTexts(formName, formLines));
}

void ShowInternalText(QWidget* edit, const std::string& internal) {
  QString shown = QStr(internal);
  if (auto* line = qobject_cast<QLineEdit*>(edit))
    line->setText(shown);
  else if (auto* memo = qobject_cast<QPlainTextEdit*>(edit))
    memo->setPlainText(shown);
  // What the widget made of it (a line edit drops line breaks, for one).
  edit->setProperty(kShownProperty, WidgetText(edit));
  edit->setProperty(kBytesProperty, QByteArray(internal.data(), qsizetype(internal.size())));
}

std::string TakeInternalText(const QWidget* edit) {
  QString now = WidgetText(edit);
  QVariant shown = edit->property(kShownProperty);
  if (shown.isValid() && shown.toString() == now) {
    QByteArray bytes = edit->property(kBytesProperty).toByteArray();
    return std::string(bytes.constData(), size_t(bytes.size()));
  }
  return InternalStr(now);
}
