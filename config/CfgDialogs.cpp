// ===========================================================================
// NOT YET AVAILABLE: the assistant, the dialogs of the special settings and
// the error and debug dialog are still to be written. Until then each entry
// below says so; replace a body when its dialog exists.
// ===========================================================================
#include "CfgDialogs.h"

#include "FormTexts.h"
#include "ProfileList.h"
#include "SysUtils.h"
#include "uTransla.h"

namespace {

void NotAvailable(std::string_view name) {
  Prompter().MessageBox(TranslateFmt("Dialog.NotAvailable",
                                     "Der Dialog \"%s\" ist in dieser Version nicht verfügbar.",
                                     {std::string(name)}),
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
  std::string where;
  if (display.lineNo > 0) where = display.fileName + ":" + IntToStr(display.lineNo) + "\r\n";
  Prompter().MessageBox(where + (display.errorMsg.empty() ? display.lineText : display.errorMsg),
                        "", mb::Ok | mb::IconStop);
  return ErrorChoice::End;
}
