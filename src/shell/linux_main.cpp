#include <string_view>
#include <vector>

#include "shell/linux_program.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  tessary::LinuxPlatform platform(argc, argv);
  return tessary::runProgram(args, platform);
}
