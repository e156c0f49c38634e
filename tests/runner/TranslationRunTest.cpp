// The built runner speaking a translation: Tidelarn.dat is windows-1252, while
// Specials.ini may choose another internal charset, read after it.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

bool Contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

TEST(TranslationRun, AWindows1252TranslationReachesAUtf8InternalCharset) {
  TempDir dir, home;
  const std::string exe = InstallOnlyVQ(dir.Path());
  fs::create_directories(dir / "out");
  WriteFile(dir / "Specials.ini",
            "[General]\r\nLanguage=English\r\n[Charsets]\r\nInternal=utf-8\r\n");
  WriteFile(dir / "Tidelarn.dat",
            "[English]\r\n"
            "Runtime/ConfigDoesntExist.Title=Unbek\xFCnnt\r\n"
            "Runtime/HTML2Text.Info=Gepr\xFC" "ft %s\r\n");
  WriteFile(dir / "Tidelarn.ini", "[News]\r\nMessagePath=" + dir.Path() + "/out/\r\nFilePath=" +
                                      dir.Path() + "/\r\nAutoFunctions=1\r\nHTML2Text=1\r\n"
                                      "SaveHTMLAs=" + dir.Path() + "/Original_*.html\r\n");
  WriteFile(dir / "out/a.msg",
            "From: a@example.org\r\nSubject: x\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/html; charset=utf-8\r\n\r\n"
            "<html><body><p>Hallo <b>Welt</b></p></body></html>\r\n");
  auto run = [&](const std::vector<std::string>& args) {
    return RunProcess(exe, args, {"HOME=" + home.Path(), "XDG_CONFIG_HOME=" + home.Path()},
                      dir.Path());
  };

  // The question for an unknown profile goes to stderr as UTF-8.
  ProcessResult asked = run({"Type:Fresh", "Filename:" + (dir / "out/a.msg")});
  EXPECT_TRUE(Contains(asked.err, "Unbek\xC3\xBCnnt")) << asked.err;

  ProcessResult r = run({"News"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string msg = ReadFile(dir / "out/a.msg");
  EXPECT_TRUE(Contains(msg, "Gepr\xC3\xBC" "ft Original:")) << msg;
  EXPECT_TRUE(Contains(msg, "charset=utf-8")) << msg;
}

}  // namespace
