// The folders the window looks for the table in: the folder named on the command line
// (else the working directory), then the fallback folder a lab sets once.
//
// The fallback folder is the setting "fallback" of the program's settings, a line
// "fallback=/srv/lab/merder" in ~/.config/snyltdyr/snyltdyr.conf, or for every user in
// /etc/xdg/snyltdyr/snyltdyr.conf; without it, "p:\strandum\merder".
#pragma once

#include <string>

namespace snyltdyr {

inline constexpr const char* kSettingsName = "snyltdyr";  // the settings' folder and file
inline constexpr const char* kFallbackSetting = "fallback";

// The fallback folder: the user's setting, else the one for every user, else the default
// (a setting that is missing or empty counts as not set).
std::string FallbackFolderSetting();

// The folder a command-line argument names, as an absolute path of this machine (a
// drive-letter form mapped where such shares are mounted): the argument itself, or the
// folder of a file (a desktop may pass the table's file when one is opened with the
// program). Empty stays empty.
std::string FolderOfArgument(const std::string& argument);

// The line the start-up error box ends with: where the table was looked for, the folder
// named (else the working directory) and the fallback folder, as paths of this machine.
std::string FoldersTriedText(const std::string& folder, const std::string& fallback);

// A folder named on the command line that does not exist is refused, naming it, rather
// than quietly showing the table of another folder. Empty (none named) passes.
void RefuseMissingFolder(const std::string& folder);

}  // namespace snyltdyr
