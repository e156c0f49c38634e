// Shared parts of the configuration program's tests: the offscreen Qt
// application, a prompter that answers from a script, and a program folder.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Prompter.h"
#include "TestSupport.h"

class QWidget;
class QLineEdit;
class TVQEinstellungen;

// Makes the process's Qt application on the offscreen platform (once).
void EnsureTestApplication();

// Answers boxes from queues and records what was asked.
class TScriptedPrompter : public TPrompter {
public:
  std::deque<std::string> inputs;      // InputBox answers; none left: cancelled
  std::deque<int> answers;             // MessageBox answers; none left: default button
  std::vector<std::string> boxes;      // texts of the message boxes shown
  std::vector<std::string> questions;  // prompts of the input boxes shown

  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  bool InputBox(const std::string& title, const std::string& prompt, std::string& value) override;
};

// A program folder with the charset tables, the scripted prompter installed
// and a fresh translation state; undone at the end.
class ConfigTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& name) const { return dir_ / name; }
  std::string IniFile() const { return Path("Tidelarn.ini"); }
  // Writes a profile: Load's defaults, then whatever Fill changes.
  template <class F>
  void WriteProfile(const std::string& name, F&& fill);
  // A fresh object of a stored profile.
  std::unique_ptr<TVQEinstellungen> ReadProfile(const std::string& name) const;

  TempDir dir_;
  TScriptedPrompter prompter_;
};

// Every field set away from its default, differently for each Variant.
void FillAllFields(TVQEinstellungen& p, int variant);

// The text field of a plain or path edit of Form, by control name.
QLineEdit* EditOf(QWidget* form, const char* name);

#include "uEinstellungen.h"

template <class F>
void ConfigTest::WriteProfile(const std::string& name, F&& fill) {
  TVQEinstellungen p;
  p.IniFileName = IniFile();
  p.Section = name;
  p.Load(true);
  fill(p);
  p.WriteSettings();
}
