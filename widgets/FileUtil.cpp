#include "FileUtil.h"

#include <QFile>
#include <QFileDialog>
#include <QString>

#include <sys/stat.h>

#include "ProgramDir.h"
#include "RxStrUtils.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool PathExists(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return false;
  struct stat st;
  return stat(NativePath(path).c_str(), &st) == 0;
}

}  // namespace

bool FolderExists(std::string_view path) { return DirectoryExists(path); }

std::string RemoveBackSlash(std::string_view path) {
  const bool driveRoot = path.size() == 3 && path[1] == ':' && IsSeparator(path[2]);
  if (path.size() > 1 && !driveRoot && IsSeparator(path.back())) path.remove_suffix(1);
  return std::string(path);
}

bool ValidFileName(std::string_view name) { return !name.empty() && !HasAnyChar(name, "<>\"[]|"); }

std::string LongFileName(std::string_view path) {
  return PathExists(path) ? ExtractFileName(RemoveBackSlash(path)) : std::string();
}

std::string ShortFileName(std::string_view path) { return LongFileName(path); }

std::string LongPathName(std::string_view path) { return std::string(path); }

std::string ShortPathName(std::string_view path) { return std::string(path); }

std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString PathString(std::string_view bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

bool BrowseDirectory(QString& dir, const QString& title, int /*helpContext*/, QWidget* parent) {
  const QString chosen =
      QFileDialog::getExistingDirectory(parent, title, PathString(NativePath(PathBytes(dir))));
  if (chosen.isEmpty()) return false;
  dir = PathString(RemoveBackSlash(PathBytes(chosen)));
  return true;
}
