// The one place where the settings form and the prompter reach the dialogs.
#include "CfgDialogs.h"

#include "DAssiste.h"
#include "DCfgBQ.h"
#include "DCfgFN.h"
#include "DCfgOL_RF.h"
#include "DDefCharsets.h"
#include "DErrorOrDebug.h"
#include "DPGP.h"

void ExecuteAssistent(QWidget* owner, TProfileList& profiles) {
  TDlgAssistent dialog(owner);
  dialog.ProfileList = &profiles;
  dialog.exec();
}

void ExecuteDefCharsets(QWidget* owner) { TDlgDefCharsets::Execute(owner); }
void ExecuteCfgBQ(QWidget* owner) { TDlgCfgBQ::Execute(owner); }
void ExecuteCfgFN(QWidget* owner) { TDlgCfgFN::Execute(owner); }
void ExecuteCfgOL_RF(QWidget* owner) { TDlgCfgOL_RF::Execute(owner); }
void ExecutePGP(QWidget* owner) { TDlgPGP::Execute(owner); }

int ShowErrorOrDebugDialog(TErrorDisplay& display) {
  uint8_t state = ErrorChoice::End;
  ShowErrorOrDebug(display.fileName, display.scriptName, display.lineNo, display.errorMsg,
                   &display.scriptLines, &display.infoLines, &display.fileLines, &display.textLines,
                   display.caretPos, state);
  return state;
}
