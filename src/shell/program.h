// The program from its command line to its exit code.
#pragma once

namespace tessary {

int runProgram(int argc, char** argv);

}  // namespace tessary
