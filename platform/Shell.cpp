#include "Shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Process.h"
#include "ProgramDir.h"
#include "SysUtils.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// "scheme:..." with a scheme of two or more characters, so that a drive
// letter ("c:\x") is not taken for one.
bool LooksLikeUrl(std::string_view s) {
  size_t colon = s.find(':');
  if (colon == std::string_view::npos || colon < 2 || !IsAsciiLetter(s[0])) return false;
  for (size_t i = 1; i < colon; ++i) {
    char c = s[i];
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.string();
}

int Start(const std::string& program, const std::vector<std::string>& args,
          std::string_view workDir) {
  SpawnOptions options;
  options.workDir = std::string(workDir);
  if (!options.workDir.empty() && !DirectoryExists(options.workDir)) return se::PathNotFound;
  return SpawnDetached(program, args, options) ? se::Started : se::AccessDenied;
}

int StartHelper(std::string_view helper, const std::string& target, std::string_view workDir) {
  std::string program = FindProgram(helper);
  if (program.empty()) return se::NoAssociation;
  int result = Start(program, {target}, workDir);
  return result == se::AccessDenied ? se::NoAssociation : result;
}

// The error for a name that leads nowhere: the folder or the file is missing.
int MissingTarget(const std::string& path) {
  std::string folder = ExtractFilePath(path);
  return folder.empty() || DirectoryExists(folder) ? se::FileNotFound : se::PathNotFound;
}

}  // namespace

int ShellExecute(std::string_view verb, std::string_view file, std::string_view params,
                 std::string_view workDir) {
  std::string path = NativePath(file);
  if (path.empty()) return se::FileNotFound;
  if (SameText(verb, "print")) {
    if (!FileExists(path)) return MissingTarget(path);
    return StartHelper("lp", Absolute(path), workDir);
  }
  if (!SameText(verb, "open")) return se::NoAssociation;

  if (IsExecutableFile(path)) return Start(Absolute(path), SplitCommandLine(params), workDir);
  // Absolute, so that a name beginning with "-" is never read as an option.
  if (FileExists(path) || DirectoryExists(path))
    return StartHelper("xdg-open", Absolute(path), workDir);
  if (path.find('/') == std::string::npos) {
    std::string program = FindProgram(path);
    if (!program.empty()) return Start(program, SplitCommandLine(params), workDir);
  }
  if (LooksLikeUrl(file)) return StartHelper("xdg-open", std::string(file), workDir);
  return MissingTarget(path);
}

bool PlaySoundFile(std::string_view file, bool wait) {
  std::string path = NativePath(file);
  if (!FileExists(path)) return false;
  std::string player;
  for (const char* name : {"pw-play", "paplay", "aplay"}) {
    player = FindProgram(name);
    if (!player.empty()) break;
  }
  if (player.empty()) return false;
  path = Absolute(path);
  if (!wait) return SpawnDetached(player, {path});
  int exitCode = 0;
  return SpawnAndWait(player, {path}, exitCode) && exitCode == 0;
}
