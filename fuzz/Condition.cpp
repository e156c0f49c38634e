// Conditions come from users' scripts: any text must evaluate, stop at a word it
// does not know, or end through the error display, without a crash.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "Prompter.h"
#include "SysUtils.h"
#include "uArtikel.h"
#include "uEinstellungen.h"
#include "uTools.h"
#include "uVQSkript.h"
#include "uVarList.h"

namespace {

const char* const kMessage =
    "From: a@example.org\r\n"
    "Subject: Test\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: 8bit\r\n"
    "\r\n"
    "body \xE4 line\r\n"
    "-- \r\n"
    "sig\r\n";

// Nobody answers: boxes take their default, errors end the line silently.
class TQuietPrompter : public TPrompter {
public:
  int MessageBox(const std::string&, const std::string&, unsigned flags) override {
    return DefaultButton(flags);
  }
  bool InputBox(const std::string&, const std::string&, std::string&) override { return false; }
  int ShowErrorOrDebug(TErrorDisplay&) override { return ErrorChoice::End; }
};

struct TFixture {
  TVQEinstellungen settings;
  std::unique_ptr<TArtikel> article;
  std::unique_ptr<TVQSkript> script;
};

TFixture& Fixture() {
  static TFixture* f = [] {
    LoadCharsetTablesOnce();
    // No script file: the display's reload reads nothing and nothing is written.
    static TQuietPrompter prompter;
    SetPrompter(&prompter);
    auto* fx = new TFixture;
    fx->article = std::make_unique<TArtikel>(InternalCharsetName(), "", "");
    fx->article->LoadFromString(kMessage);
    fx->script = std::make_unique<TVQSkript>("fuzz.msg", fx->article.get(), &fx->settings);
    fx->script->Variables->Declare("S", VarType::String)->SetString("abc");
    fx->script->Variables->Declare("I", VarType::Integer)->SetInteger(3);
    fx->script->Variables->Declare("B", VarType::Boolean)->SetBoolean(true);
    return fx;
  }();
  return *f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFixture& f = Fixture();
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string rest = text;
  try {
    f.script->EvalCondition(rest);
    // What is left must be a tail of what was given.
    if (rest.size() > text.size()) std::abort();
  } catch (const EAbort&) {
  } catch (const Exception&) {
    // Failures outside the script's own errors (a range error of arithmetic)
    // leave the run to the driver.
  }
  return 0;
}
