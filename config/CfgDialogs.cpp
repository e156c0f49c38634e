// The one place where the settings form and the prompter reach the dialogs.
#include "CfgDialogs.h"

#include "DErrorOrDebug.h"
#include "FormTexts.h"
#include "ProfileList.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

void NotAvailable(std::string_view name) {
  Prompter().MessageBox(
      TranslateFmt("Dialog.NotAvailable",
                   "Der Dialog \"%s\" ist in dieser Version nicht verfügbar.", {std::string(name)}),
      "", mb::Ok | mb::IconInformation);
}

}  // namespace

void ExecuteAssistent(QWidget* /*owner*/, TProfileList& /*profiles*/) { NotAvailable("Assistent"); }
void ExecuteDefCharsets(QWidget* /*owner*/) { NotAvailable("DefCharsets"); }
void ExecuteCfgBQ(QWidget* /*owner*/) { NotAvailable("Box-Quotes"); }
void ExecuteCfgFN(QWidget* /*owner*/) { NotAvailable("Footnotes"); }
void ExecuteCfgOL_RF(QWidget* /*owner*/) { NotAvailable("One-Liner & Reformat"); }
void ExecutePGP(QWidget* /*owner*/) { NotAvailable("PGP"); }

int ShowErrorOrDebugDialog(TErrorDisplay& display) {
  uint8_t state = ErrorChoice::End;
  ShowErrorOrDebug(display.fileName, display.scriptName, display.lineNo, display.errorMsg,
                   &display.scriptLines, &display.infoLines, &display.fileLines,
                   &display.textLines, display.caretPos, state);
  return state;
}
