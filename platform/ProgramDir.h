// Where the programs keep their files, and how paths from settings and scripts
// become Linux paths.
#pragma once

#include <string>
#include <string_view>

// The program folder: where the running executable lies (its real path), with
// a trailing "/". The sibling programs (Tidelarn, Only_VQ, the pgp adapter) are
// looked up here, whatever the settings folder is. Computed once.
const std::string& ProgramDir();
// For tests: the programs and the settings both in Dir (a portable install)
// for the rest of the process.
void SetProgramDir(std::string dir);

// The settings folder: settings, reports, hand-over files and everything the
// programs write. TIDELARN_HOME when set (made absolute); else the program
// folder when it holds Tidelarn.ini, or may be written and is not installed
// (no data folder beside it: a portable install); else
// ${XDG_CONFIG_HOME:-$HOME/.config}/tidelarn, created 0700 on first use.
// With a trailing "/"; computed once. A folder every user may write, or one
// reached through another user's link in a folder others may write, is refused
// with EInOutError naming it (at every call), before anything is made in it.
const std::string& SettingsDir();
// For tests: only the settings folder moves to Dir.
void SetSettingsDir(std::string dir);
// For tests: the next SettingsDir() decides again from the environment and the
// program folder.
void ResetSettingsDir();

// ${XDG_CONFIG_HOME:-$HOME/.config}, HOME taken from the user database when
// unset; empty when the account has no home folder either.
std::string UserConfigDir();

// The installed data folder, share/tidelarn beside the program folder's bin.
std::string DataDir();
// A read-only file the system ships (charsets.dat, lHeader.txt, Tidelarn.dat,
// Tidelarn.htm): from the settings folder, where a user may put an own copy,
// else from the data folder, else from the program folder (a portable install
// with its settings elsewhere). When none holds it, the settings-folder path.
// A copy in the settings folder is refused as CheckTrustedFile says.
std::string ShippedFile(std::string_view name);
// The folders ShippedFile searches, for messages about a missing file.
std::string ShippedFileFolders();
// A sibling program: in the program folder, else in the data folder (the pgp
// adapter is installed there). When neither holds it, the program-folder path.
std::string SiblingProgram(std::string_view name);

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
// A folder that cannot be read (only a missing one holds nothing), or a name
// whose status cannot be read, raises EInOutError naming it: a failed lookup
// never reads as "not there".
std::string ResolveFileCI(std::string_view dir, std::string_view name);
// The same for a bare name in the settings folder; a name with a folder is
// resolved in that folder.
std::string SettingsFile(std::string_view name);
// The same; Missing tells when the folder's listing, read or checked just now,
// holds no such name, so that a reader need not try to open it.
std::string SettingsFile(std::string_view name, bool& missing);

bool FileExists(std::string_view path);       // a regular file (or a link to one)
bool DirectoryExists(std::string_view path);
// The same for lookups that decide which file or folder is used: only a
// missing entry (ENOENT, ENOTDIR) reads as "not there"; a status that cannot
// be read raises EInOutError naming Path with the reason.
bool FileExistsChecked(std::string_view path);
bool DirectoryExistsChecked(std::string_view path);
