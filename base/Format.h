// Delphi's Format over typed arguments, for the texts the programs show and write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One argument of a Delphi-style Format: integers, floats and texts.
using FmtArg = std::variant<int64_t, double, std::string>;

// Delphi's Format over typed arguments: %d %u %x %s %f %g %e %n %%, with index,
// "-", width and precision. A placeholder that does not fit its argument raises
// EConvertError; it never reads past the arguments.
std::string Format(std::string_view fmt, const std::vector<FmtArg>& args);
