// Temporary and report files of the programs.
#pragma once

#include <string>
#include <string_view>

// Creates a new empty file named Prefix + a unique part + Ext, exclusively, in
// Dir (the program directory when empty); when that folder is not writable, in
// $TMPDIR or /tmp. Returns its path; raises EInOutError when no file can be made.
std::string CreateUniqueFile(std::string_view dir = {}, std::string_view prefix = "VQ-",
                             std::string_view ext = ".tmp");
