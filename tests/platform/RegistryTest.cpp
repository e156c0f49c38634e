#include "Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "IniFile.h"
#include "TestSupport.h"

namespace {

// Sets or clears an environment variable for one test.
class EnvGuard {
public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

const char* kKey = "HKEY_LOCAL_MACHINE\\Software\\Wex-Soft\\Tidelarn";

}  // namespace

TEST(Registry, RecordGoesToTheConfigFolder) {
  TempDir home;
  {
    EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
    EnvGuard h("HOME", home.Path().c_str());
    EXPECT_EQ(RegistryFileName(), home.Path() + "/.config/Wex-Soft/Tidelarn/registry.ini");
    WriteRegistryRecord("4.2.1", "/opt/tidelarn", "/opt/tidelarn/tidelarn.ini");
    TIniFile ini(RegistryFileName());
    EXPECT_EQ(ini.ReadString(kKey, "Version", ""), "4.2.1");
    EXPECT_EQ(ini.ReadString(kKey, "Path", ""), "/opt/tidelarn");
    EXPECT_EQ(ini.ReadString(kKey, "Config", ""), "/opt/tidelarn/tidelarn.ini");
  }
  {
    EnvGuard xdg("XDG_CONFIG_HOME", (home.Path() + "/cfg/").c_str());
    EXPECT_EQ(RegistryFileName(), home.Path() + "/cfg/Wex-Soft/Tidelarn/registry.ini");
    WriteRegistryRecord("4.2.8", "/a", "/a/tidelarn.ini");
    WriteRegistryRecord("4.2.9", "/a", "/a/tidelarn.ini");
    EXPECT_EQ(TIniFile(RegistryFileName()).ReadString(kKey, "Version", ""), "4.2.9");
  }
  {
    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    EnvGuard xdg("XDG_CONFIG_HOME", "relative");
    EnvGuard h("HOME", home.Path().c_str());
    EXPECT_EQ(RegistryFileName(), home.Path() + "/.config/Wex-Soft/Tidelarn/registry.ini");
  }
}

TEST(Registry, FailuresAreIgnored) {
  TempDir home;
  WriteFile(home / "file", "x");
  {
    EnvGuard xdg("XDG_CONFIG_HOME", (home / "file").c_str());
    WriteRegistryRecord("4.2.8", "/a", "/a/tidelarn.ini");  // a file in the way: no throw
  }
  {
    EnvGuard xdg("XDG_CONFIG_HOME", nullptr);
    EnvGuard h("HOME", nullptr);
    EXPECT_EQ(RegistryFileName(), "");
    WriteRegistryRecord("4.2.8", "/a", "/a/tidelarn.ini");
  }
}
