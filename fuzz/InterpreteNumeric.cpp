// Numeric expressions come from script lines: any bytes must evaluate or
// raise a script error, never crash, hang or overflow the stack.
#include <cstdint>
#include <string>

#include "EvaluatorHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstallEvaluatorHarness();
  std::string text(reinterpret_cast<const char*>(data), size);
  double value = 0;
  try {
    InterpreteNumeric(text, value);
  } catch (const Exception&) {
  }
  return 0;
}
