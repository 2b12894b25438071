// File names of tables and their companion files, found without regard to case.
//
// Tables come from systems whose file names ignore case, so "SNYLTDYR.DBF",
// "snyltdyr.dbf" and "Snyltdyr.Dbf" name the same table. A directory in drive-letter
// form ("p:\strandum\merder") is where such a share is mounted here: /mnt/p/strandum/merder.
#pragma once

#include <string>

namespace snyltdyr::engine {

// A directory as given by the user in the local form: drive letters mapped under /mnt,
// backslashes turned into slashes; empty stays empty (the working directory).
std::string LocalDirectory(const std::string& directory);

// `name` (which may contain directories, in either slash form) joined to `directory`
// (empty: the working directory) and resolved one component at a time without regard to
// case. `exists` tells whether the whole path was found; when it was not, the result is
// the path with the components found so far in their real spelling. When `clash` is given
// and a component matches two or more entries of its directory (SNYLTDYR.DBT beside
// SNYLTDYR.dbt, as programs on other systems leave them), it receives a message naming
// them; the callers that open files refuse such a name rather than guess.
std::string ResolvePath(const std::string& directory, const std::string& name, bool& exists,
                        std::string* clash = nullptr);

// The companion file of `path` with extension `ext` (".DBT", ".MDX"), in its real spelling
// when one exists in any case; otherwise the path with the extension in upper case, or
// in lower case when the table's own extension is. `clash` as for ResolvePath.
std::string CompanionPath(const std::string& path, const std::string& ext, bool& exists,
                          std::string* clash = nullptr);

// "dir/NAME.DBF" -> "NAME" (the file name without directory and extension).
std::string BaseName(const std::string& path);

}  // namespace snyltdyr::engine
