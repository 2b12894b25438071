#include "storage/engine/case_insensitive_path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <vector>

namespace snyltdyr::engine {
namespace {

bool IsDriveLetterPath(const std::string& s) {
  return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

std::string Slashes(std::string s) {
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// The entry of `dir` spelled like `name` without regard to case: the exact spelling when
// it exists, else the first match in the directory, else nothing.
bool FindEntry(const std::string& dir, const std::string& name, std::string& found) {
  const std::string base = dir.empty() ? "." : dir;
  if (name == "." || name == ".." || Exists(base + "/" + name)) {
    found = name;
    return true;
  }
  DIR* d = ::opendir(base.c_str());
  if (d == nullptr) return false;
  bool ok = false;
  while (dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      ok = true;
      break;
    }
  }
  ::closedir(d);
  return ok;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

}  // namespace

std::string LocalDirectory(const std::string& directory) {
  if (IsDriveLetterPath(directory)) {
    std::string rest = Slashes(directory.substr(2));
    if (!rest.empty() && rest.front() != '/') rest = "/" + rest;
    return std::string("/mnt/") +
           static_cast<char>(std::tolower(static_cast<unsigned char>(directory[0]))) + rest;
  }
  return Slashes(directory);
}

std::string ResolvePath(const std::string& directory, const std::string& name, bool& exists) {
  std::string local = LocalDirectory(name);
  std::string dir;
  if (!local.empty() && local.front() == '/') {
    dir = "/";
  } else {
    dir = LocalDirectory(directory);
  }
  exists = true;
  for (const std::string& part : Components(local)) {
    std::string found;
    if (exists && FindEntry(dir, part, found)) {
      dir = Join(dir, found);
    } else {
      exists = false;
      dir = Join(dir, part);
    }
  }
  return dir;
}

std::string CompanionPath(const std::string& path, const std::string& ext, bool& exists) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                         ? path.substr(0, dot)
                         : path;
  std::string own_ext = path.substr(stem.size());
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string file = stem.substr(slash == std::string::npos ? 0 : slash + 1);
  std::string found;
  exists = FindEntry(dir, file + ext, found);
  if (exists) return Join(dir, found);
  // Not there: lower case when the table's own extension is ("x.dbf" -> "x.dbt").
  bool lower = own_ext.size() > 1;
  for (size_t i = 1; i < own_ext.size(); ++i)
    lower = lower && std::islower(static_cast<unsigned char>(own_ext[i]));
  std::string e = ext;
  if (lower)
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Join(dir, file + e);
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = file.rfind('.');
  return dot == std::string::npos ? file : file.substr(0, dot);
}

}  // namespace snyltdyr::engine
