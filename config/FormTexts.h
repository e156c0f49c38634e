// The Qt side of the texts: internal-charset bytes to QString and back, and the
// translated captions and hints of a form applied to its widgets by name.
#pragma once

#include <QString>

#include <string>
#include <string_view>
#include <vector>

class QWidget;
struct TFormTexts;

// Internal-charset text for a widget; CR LF and CR become line feeds.
QString QStr(std::string_view internal);
// A widget's text in the internal charset; line feeds stay line feeds.
std::string InternalStr(const QString& text);
// A German text of the source (UTF-8) for a widget.
QString QUtf8(std::string_view utf8);

// Sets a widget's hint. Hints are plain text of several lines; they are shown
// as such even where they hold "<" or "&".
void SetHint(QWidget* widget, const QString& hint);

// Applies the texts to Form and to every descendant whose object name has an
// entry: captions go to labels, buttons, group boxes and pages of tab widgets,
// hints to any widget. Names without a widget are ignored.
void ApplyFormTexts(QWidget* form, const TFormTexts& texts);

// Translates a form from the section of its name in the current language and
// leaves the form's own message lines in FormLines for LookupTranslation.
void TranslateForm(QWidget* form, std::string_view formName, std::vector<std::string>& formLines);

// Remembered texts: an edit shows an internal-charset text, and hands the
// very same bytes back while the user has not changed what it shows, so that
// bytes without a character in the internal charset survive a round trip.
// Works for QLineEdit and QPlainTextEdit.
void ShowInternalText(QWidget* edit, const std::string& internal);
std::string TakeInternalText(const QWidget* edit);
