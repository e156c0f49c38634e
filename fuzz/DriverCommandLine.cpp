// The command line comes from whoever starts the programs: any arguments must
// select exactly one mode, consistently.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "uDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Arguments are separated by NUL bytes, as they reach a program.
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      args.emplace_back();
    else
      args.back() += char(data[i]);
  }
  if (size == 0) args.clear();
  for (bool receives : {false, true}) {
    TCommandLineMode m = ParseCommandLineMode(args, receives);
    switch (m.Mode) {
      case TRunMode::SingleFile:
        if (args.size() != 2 || m.Count != 1 || args[0].size() != 5 + m.ProfileOverride.size())
          std::abort();
        break;
      case TRunMode::ShowError:
      case TRunMode::InputBox:
        if (!receives || args.size() != 2) std::abort();
        break;
      case TRunMode::Profiles:
        if (m.Count != int(args.size())) std::abort();
        break;
      case TRunMode::CopyIf:
        break;
    }
  }
  IsCorrectionCommandLine(args);
  for (const auto& a : args) IsValidProfileName(a);
  return 0;
}
