// INI files come from users and other programs: any bytes must parse.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "IniFile.h"
#include "SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char path[] = "/tmp/fuzz-ini-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return 0;
  if (write(fd, data, size) != ssize_t(size)) {
    close(fd);
    unlink(path);
    return 0;
  }
  close(fd);
  try {
    TIniFile ini(path);
    for (const auto& s : ini.ReadSections())
      for (const auto& kv : ini.ReadSectionValues(s)) ini.ReadString(s, kv.first, "");
    ini.WriteString("Fuzz", "Key", std::string(reinterpret_cast<const char*>(data), size));
    ini.EraseSection("Other");
    ini.UpdateFile();
  } catch (const Exception&) {
  }
  unlink(path);
  return 0;
}
