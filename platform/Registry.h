// The record that tells other programs where Tidelarn lives. On Linux it is an
// INI file in the user's configuration folder; nothing in the system reads it.
#pragma once

#include <string>
#include <string_view>

// ${XDG_CONFIG_HOME:-$HOME/.config}/Wex-Soft/Tidelarn/registry.ini, or empty
// when neither variable gives an absolute folder.
std::string RegistryFileName();

// Writes Version, Path and Config under [HKEY_LOCAL_MACHINE\Software\Wex-Soft\Tidelarn],
// creating the folders as needed. Every failure is ignored.
void WriteRegistryRecord(std::string_view version, std::string_view path, std::string_view config);
