// Where the programs keep their files, and how paths from settings and scripts
// become Linux paths.
#pragma once

#include <string>
#include <string_view>

// Directory of the running program with a trailing "/"; TIDELARN_HOME replaces it
// when set. Computed once.
const std::string& ProgramDir();
// For tests: replaces the program directory for the rest of the process.
void SetProgramDir(std::string dir);

// "\" becomes "/", and the Windows folder "c:\temp" (any case) becomes "/tmp";
// the stored value is not changed by callers, only the path opened.
std::string NativePath(std::string_view path);
// Absolute when it begins with "/" or "\".
bool IsAbsolutePath(std::string_view path);
// Joins a folder and a name with exactly one "/" between them.
std::string JoinPath(std::string_view dir, std::string_view name);
// The folder part with a trailing "/" (empty when there is none) and the name part.
std::string ExtractFilePath(std::string_view path);
std::string ExtractFileName(std::string_view path);
// The extension with its dot ("" when none), as Delphi's ExtractFileExt.
std::string ExtractFileExt(std::string_view path);
std::string ChangeFileExt(std::string_view path, std::string_view ext);

// Finds Name in Dir: the exact spelling first, then case-insensitively. Returns
// the path to use; when nothing exists, the path under the spelling given.
std::string ResolveFileCI(std::string_view dir, std::string_view name);
// The same for a bare name in the program directory; a name with a folder is
// resolved in that folder.
std::string ProgramFile(std::string_view name);

bool FileExists(std::string_view path);       // a regular file (or a link to one)
bool DirectoryExists(std::string_view path);
