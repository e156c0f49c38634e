#include "Registry.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "IniFile.h"
#include "SafeFile.h"

namespace {

// mkdir -p for an absolute folder; false when a part cannot be made.
bool MakeFolders(const std::string& dir) {
  struct stat st;
  // Made at the first start; every later one finds it.
  if (stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  for (size_t p = 1; p <= dir.size(); ++p) {
    if (p < dir.size() && dir[p] != '/') continue;
    std::string part = dir.substr(0, p);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string RegistryFileName() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
    base = std::string(home) + "/.config";
  } else {
    return {};
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Wex-Soft/Tidelarn/registry.ini";
}

void WriteRegistryRecord(std::string_view version, std::string_view path, std::string_view config) {
  // Only a record for others: no failure may stop the program or be told,
  // not even a folder that cannot be synced.
  TQuietFolderSyncs quiet;
  try {
    std::string file = RegistryFileName();
    if (file.empty() || !MakeFolders(file.substr(0, file.rfind('/')))) return;
    TIniFile ini(file);
    const char* key = "HKEY_LOCAL_MACHINE\\Software\\Wex-Soft\\Tidelarn";
    ini.WriteString(key, "Version", version);
    ini.WriteString(key, "Path", path);
    ini.WriteString(key, "Config", config);
    ini.UpdateFile();
  } catch (...) {
  }
}
