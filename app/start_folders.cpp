#include "app/start_folders.h"

#include <QFile>
#include <QSettings>
#include <filesystem>

#include "register/snyltdyr_register.h"
#include "runtime/cp1252.h"
#include "storage/engine/files/case_insensitive_path.h"
#include "runtime/exception.h"

namespace snyltdyr {

namespace {

// The setting in one scope only: an empty line there leaves it to the next.
QString Setting(QSettings::Scope scope) {
  QSettings settings(QSettings::NativeFormat, scope, kSettingsName, kSettingsName);
  settings.setFallbacksEnabled(false);
  return settings.value(kFallbackSetting).toString().trimmed();
}

}  // namespace

std::string FallbackFolderSetting() {
  QString folder = Setting(QSettings::UserScope);
  if (folder.isEmpty()) folder = Setting(QSettings::SystemScope);
  // A file name, in the bytes the file system uses, not a text of the program.
  return folder.isEmpty() ? kFallbackDataDirectory : QFile::encodeName(folder).toStdString();
}

std::string FolderOfArgument(const std::string& argument) {
  if (argument.empty()) return argument;
  std::error_code ec;
  std::filesystem::path path =
      std::filesystem::absolute(engine::LocalDirectory(argument), ec).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();  // "/srv/lab/" -> "/srv/lab"
  if (std::filesystem::is_regular_file(path, ec)) path = path.parent_path();
  return path.string();
}

std::string FoldersTriedText(const std::string& folder, const std::string& fallback) {
  std::error_code ec;
  const std::string first = folder.empty() ? std::filesystem::current_path(ec).string() : folder;
  return "Tabellen ble s\xF8kt etter i \xAB" + Utf8ToCp1252(engine::LocalDirectory(first)) +
         "\xBB og i \xAB" + Utf8ToCp1252(engine::LocalDirectory(fallback)) + "\xBB.";
}

void RefuseMissingFolder(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ec;
  if (std::filesystem::is_directory(engine::LocalDirectory(folder), ec)) return;
  throw Exception("Mappen \xAB" + Utf8ToCp1252(folder) + "\xBB finnes ikke");
}

}  // namespace snyltdyr
