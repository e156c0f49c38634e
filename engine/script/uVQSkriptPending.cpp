// Commands and helpers of the script object that are not available yet. The
// dispatch reaches them already; each reports itself through the script error
// until its own file replaces it here.
#include "SysUtils.h"
#include "uGetStr.h"
#include "uTransla.h"
#include "uVQSkript.h"

void TVQSkript::NotAvailable(std::string_view what) {
  ScriptErrorFmt("Command.NotAvailable", "\"%s\" ist in dieser Version nicht verfügbar",
                 {std::string(what)});
}

