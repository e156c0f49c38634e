// The settings files are edited by hand: any bytes must load without a crash,
// as profile, box quotes, footnotes, special settings and CopyIf settings.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzSupport.h"
#include "ProgramDir.h"
#include "SysUtils.h"
#include "uEinstellungen.h"
#include "uTools.h"

namespace {

const std::string& Folder() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/fuzz-settings-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    std::string d = tmpl;
    SetProgramDir(d);
    std::ofstream(d + "/charsets.dat")
        << "[Define]\r\nwindows-1252=V1#Western#windows-1252\r\n[Sets]\r\nW=windows-1252,utf-8\r\n";
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ProgramDir(), ec);
    });
    // The settings files and what a load writes back in memory.
    MemoryFilesOnce();
    return ProgramDir();
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the internal charset, which changes how characters count.
  bool utf8 = data[0] & 1;
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  Folder();
  auto& files = MemoryFiles()->files;
  files.clear();
  for (const char* name :
       {"BoxQuotes.ini", "Footnote.ini", "Specials.ini", "Tidelarn.ini", "CopyIf.ini"})
    files[SettingsFile(name)] = text;

  try {
    LoadSpecials();
  } catch (const Exception&) {
  }
  SetInternalCharset(utf8 ? "utf-8" : "windows-1252");
  LoadBoxQuotes();
  LoadFootnotes();
  for (const char* section : {"News", "BQ#1"}) {
    TVQEinstellungen profile;
    profile.IniFileName = Folder() + "Tidelarn.ini";
    profile.Section = section;
    try {
      profile.Load(false);
      profile.WriteSettings();
    } catch (const Exception&) {
    }
  }
  try {
    TCIEinstellungen ci;
    ci.Load();
  } catch (const Exception&) {
  }
  std::vector<std::string> lines;
  LoadTextFile(Folder() + "Footnote.ini", lines);
  NormalizeDesignators(text);
  return 0;
}
