// File-system helpers of the directory and file-name edits, and the folder
// browser they open. Paths are byte strings as the file system has them;
// stored Windows paths ("\" as separator) are accepted wherever a path is
// looked up.
#pragma once

#include <string>
#include <string_view>

class QString;
class QWidget;

// Path exists and is a folder.
bool FolderExists(std::string_view path);

// Path without its trailing separator ("\" or "/"), except for a root ("C:\",
// "/"), which keeps it.
std::string RemoveBackSlash(std::string_view path);

// Not empty and free of the characters < > " [ ] |.
bool ValidFileName(std::string_view name);

// Linux keeps no second (8.3) name beside a file's name: the long and the
// short form of an existing path's last element are both its name, and both
// are empty when the path does not exist.
std::string LongFileName(std::string_view path);
std::string ShortFileName(std::string_view path);
// Whole paths in their long or short form: the path itself.
std::string LongPathName(std::string_view path);
std::string ShortPathName(std::string_view path);

// A path shown in a widget as the file system's bytes, and back.
std::string PathBytes(const QString& path);
QString PathString(std::string_view bytes);

// Asks the user for a folder, starting at Dir; on success Dir receives the
// chosen folder (without trailing separator). HelpContext is accepted for
// callers' sake; the program has no help topics to show.
bool BrowseDirectory(QString& dir, const QString& title, int helpContext,
                     QWidget* parent = nullptr);
