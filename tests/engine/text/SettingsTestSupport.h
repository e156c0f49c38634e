// A fresh program directory per test, with the unit-wide settings reset.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileWalk.h"
#include "IniFile.h"
#include "ProgramDir.h"
#include "TestSupport.h"
#include "uEinstellungen.h"
#include "uTools.h"

class SettingsTest : public ::testing::Test {
protected:
  void SetUp() override {
    LoadCharsetTables();
    SetInternalCharset("windows-1252");
    SetProgramDir(dir.Path());
    Specials = TSpecialSettings{};
    BoxQuotes = {};
    Footnotes = TFootnoteSettings{};
  }
  void TearDown() override { SetInternalCharset("windows-1252"); }
  std::string File(const std::string& name) const { return dir / name; }

  // The "VQ-*.tmp" report files in the program directory.
  std::vector<std::string> Reports() const { return ListFiles(dir.Path(), "VQ-*.tmp"); }

  // Keys of a section in file order, and the whole "Key=Value" lines.
  static std::vector<std::string> Keys(const std::string& file, const std::string& section) {
    return TIniFile(file).ReadSection(section);
  }
  static std::vector<std::pair<std::string, std::string>> Values(const std::string& file,
                                                                 const std::string& section) {
    return TIniFile(file).ReadSectionValues(section);
  }

  TempDir dir;
};
