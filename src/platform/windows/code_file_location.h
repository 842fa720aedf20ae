// Where the login code file lives on Windows. Writing beside the system
// ("c:\Windows") needs administrator rights, so a standard user could never
// set a code there: the file goes to the user's application-data folder, and
// the old place is still read while the new file does not exist.
#pragma once

#include <string>

namespace tessary {

// "%APPDATA%\Quon_System.dat" (UTF-8); empty when the folder is unknown.
std::string windowsCodeFilePath();

// The code file of earlier releases, read only.
inline constexpr char kLegacyCodeFilePath[] = "c:\\Windows\\Quon_System.dat";

}  // namespace tessary
