#include "storage/engine/files/case_insensitive_path.h"

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
// it exists, else the first match in the directory, else nothing. Every other entry that
// also matches goes to `clash` (when asked for), so that callers can refuse to guess.
bool FindEntry(const std::string& dir, const std::string& name, std::string& found,
               std::vector<std::string>* clash) {
  const std::string base = dir.empty() ? "." : dir;
  if (name == "." || name == "..") {
    found = name;
    return true;
  }
  const bool exact = Exists(base + "/" + name);
  if (exact && clash == nullptr) {
    found = name;
    return true;
  }
  std::vector<std::string> matches;
  if (DIR* d = ::opendir(base.c_str())) {
    while (dirent* e = ::readdir(d))
      if (::strcasecmp(e->d_name, name.c_str()) == 0) matches.push_back(e->d_name);
    ::closedir(d);
  }
  if (exact) {
    found = name;
  } else if (!matches.empty()) {
    found = matches.front();
  } else {
    return false;
  }
  if (clash != nullptr)
    for (const std::string& m : matches)
      if (m != found) clash->push_back(m);
  return true;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// "The folder /d holds both A and B, ...": the message of a name that matches several files.
std::string Clash(const std::string& dir, const std::string& found,
                  const std::vector<std::string>& others) {
  std::string names = found;
  for (size_t i = 0; i < others.size(); ++i)
    names += (i + 1 == others.size() ? " and " : ", ") + others[i];
  return "The folder " + (dir.empty() ? std::string(".") : dir) + " holds both " + names +
         ", whose names differ only in case; which of them belongs to the table cannot be "
         "told. Move the one that does not belong out of the folder.";
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

std::string ResolvePath(const std::string& directory, const std::string& name, bool& exists,
                        std::string* clash) {
  const std::string local = LocalDirectory(name);
  const bool absolute = !local.empty() && local.front() == '/';
  std::string dir = absolute ? std::string(1, '/') : LocalDirectory(directory);
  exists = true;
  for (const std::string& part : Components(local)) {
    std::string found;
    std::vector<std::string> others;
    if (exists && FindEntry(dir, part, found, clash ? &others : nullptr)) {
      if (!others.empty() && clash->empty()) *clash = Clash(dir, found, others);
      dir = Join(dir, found);
    } else {
      exists = false;
      dir = Join(dir, part);
    }
  }
  return dir;
}

std::string CompanionPath(const std::string& path, const std::string& ext, bool& exists,
                          std::string* clash) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash))
                         ? path.substr(0, dot)
                         : path;
  std::string own_ext = path.substr(stem.size());
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
  std::string file = stem.substr(slash == std::string::npos ? 0 : slash + 1);
  std::string found;
  std::vector<std::string> others;
  exists = FindEntry(dir, file + ext, found, clash ? &others : nullptr);
  if (!others.empty()) *clash = Clash(dir, found, others);
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
