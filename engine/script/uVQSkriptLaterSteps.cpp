// ===========================================================================
// Steps of the article correction whose own work is not built yet. The
// correction calls them at their places already; until their files replace
// them here, each does nothing.
// ===========================================================================
#include "uVQSkript.h"

// Attachments.
void TVQSkript::SavePart(const std::string&, const std::string&, uint8_t) {}
