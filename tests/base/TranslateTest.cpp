#include "Translate.h"

#include <gtest/gtest.h>

#include "SysUtils.h"

namespace {

std::string Bracketed(std::string_view id, std::string_view) { return "[" + std::string(id) + "] %d"; }

}  // namespace

// The layers below the text services translate through the lookup uTransla
// installs before main; without one a text is its German default.
TEST(TranslateEntry, GoesThroughTheInstalledLookupElseGivesTheGermanDefault) {
  const TranslationLookup installed = SetTranslationLookup(nullptr);
  EXPECT_NE(installed, nullptr);
  EXPECT_EQ(Translate("Any", "Zeile^mzwei \xC3\xA4"), "Zeile\r\nzwei \xE4");
  EXPECT_EQ(TranslateFmt("Any", "%s: %d", {std::string("x"), int64_t(3)}), "x: 3");
  EXPECT_EQ(TranslateFmt("Any", "%d", {std::string("x")}), "#FmtE# %d");
  SetTranslationLookup(&Bracketed);
  EXPECT_EQ(Translate("Id", "egal"), "[Id] %d");
  EXPECT_EQ(TranslateFmt("Id", "egal", {int64_t(7)}), "[Id] 7");
  SetTranslationLookup(installed);
}
