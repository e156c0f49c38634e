// Set-up shared by the fuzz targets and the benchmarks: the charset table and
// a program folder of their own for the files a run writes.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ProgramDir.h"
#include "SafeFile.h"
#include "uCharsets.h"

// Loads the charset table once. The build copies charsets.dat into its top
// folder, one above the programs.
inline void LoadCharsetTablesOnce() {
  static const bool loaded = [] {
    if (!FileExists(ShippedFile("charsets.dat"))) SetProgramDir(ProgramDir() + "..");
    GetCSInfos();
    return true;
  }();
  (void)loaded;
}

// Makes a new folder /tmp/NAME-XXXXXX the program folder and returns it (with
// "/"); it is removed at exit. Called once per program.
inline const std::string& UseScratchProgramDir(const std::string& name) {
  static std::string home;
  std::string templ = "/tmp/" + name + "-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) std::abort();
  home = templ + "/";
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
  });
  SetProgramDir(home);
  return home;
}

// From the first call on, the files a run reads and writes live in memory
// (SetMemoryFiles): no disk writes, locks or syncs per input. What the disk
// holds is out of sight then, so the charset table is loaded before.
inline TMemoryFiles& MemoryFilesOnce() {
  static TMemoryFiles files;
  static const bool installed = [] {
    LoadCharsetTablesOnce();
    SetMemoryFiles(&files);
    return true;
  }();
  (void)installed;
  return files;
}
