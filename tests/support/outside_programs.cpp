#include "support/outside_programs.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tessary::testing {
namespace {

std::string packageOf(std::string_view program) {
  std::ifstream list(TESSARY_OUTSIDE_PROGRAMS_LIST);
  for (std::string line; std::getline(list, line);) {
    std::istringstream words(line);
    std::string name, package;
    if (words >> name >> package && name == program) return package;
  }
  return {};
}

}  // namespace

std::string programPath(std::string_view program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + std::string(program);
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

std::string missingPrograms(std::initializer_list<std::string_view> programs) {
  std::string report;
  for (std::string_view program : programs) {
    if (!programPath(program).empty()) continue;
    const std::string package = packageOf(program);
    report += "needs " + std::string(program) +
              (package.empty() ? ", which tools/outside-programs.txt does not list yet\n"
                               : ", from Debian's " + package + " (tools/install-deps.sh installs it)\n");
  }
  return report;
}

}  // namespace tessary::testing
