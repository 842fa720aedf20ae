#include "shell/program.h"

int main(int argc, char** argv) { return tessary::runProgram(argc, argv); }
